// Window trees built for a test: classes registered by name on first use and
// unregistered at the end (the system matches class names without regard to
// case, so a test that needs "worker" must not find "Worker" left over from
// another), windows destroyed at the end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test_support {

class WindowTree {
public:
    WindowTree() = default;
    ~WindowTree() {
        for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
            if (IsWindow(*it)) DestroyWindow(*it);
        }
        for (const std::string& name : m_classes) UnregisterClassA(name.c_str(), GetModuleHandleA(nullptr));
    }
    WindowTree(const WindowTree&) = delete;
    WindowTree& operator=(const WindowTree&) = delete;

    // A top-level window (visible unless told otherwise), with a menu bar
    // when bMenu is set.
    HWND Top(const char* pszClass, bool bVisible = true, bool bMenu = false, const char* pszTitle = "host") {
        Register(pszClass);
        HMENU hMenu = nullptr;
        if (bMenu) {
            hMenu = CreateMenu();
            AppendMenuA(hMenu, MF_STRING, 100, "&File");
        }
        HWND hWnd = CreateWindowExA(0, pszClass, pszTitle, WS_OVERLAPPEDWINDOW | (bVisible ? WS_VISIBLE : 0), 0, 0,
                                    300, 200, nullptr, hMenu, GetModuleHandleA(nullptr), nullptr);
        m_windows.push_back(hWnd);
        return hWnd;
    }

    HWND Child(HWND hParent, const char* pszClass, const char* pszTitle = "", bool bVisible = true) {
        Register(pszClass);
        HWND hWnd = CreateWindowExA(0, pszClass, pszTitle, WS_CHILD | (bVisible ? WS_VISIBLE : 0), 0, 0, 50, 20,
                                    hParent, nullptr, GetModuleHandleA(nullptr), nullptr);
        return hWnd;
    }

    // A class of its own procedure, for windows whose messages a test records.
    void RegisterWithProc(const char* pszClass, WNDPROC pfnProc, bool bUnicode = false) {
        if (bUnicode) {
            std::wstring wide(pszClass, pszClass + lstrlenA(pszClass));
            WNDCLASSW wc{};
            wc.lpfnWndProc = pfnProc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = wide.c_str();
            RegisterClassW(&wc);
        } else {
            WNDCLASSA wc{};
            wc.lpfnWndProc = pfnProc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = pszClass;
            RegisterClassA(&wc);
        }
        m_classes.push_back(pszClass);
    }

    void Adopt(HWND hWnd) { m_windows.push_back(hWnd); }

private:
    void Register(const char* pszClass) {
        for (const std::string& name : m_classes)
            if (name == pszClass) return;
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = pszClass;
        RegisterClassA(&wc);
        m_classes.push_back(pszClass);
    }

    std::vector<HWND> m_windows;
    std::vector<std::string> m_classes;
};

}  // namespace test_support
