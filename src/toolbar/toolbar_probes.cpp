#include <cstring>

#include "hook/base/hooked_wnd.h"
#include "toolbar/toolbar.h"

namespace {

constexpr int kClassNameSize = 260;
constexpr int kWindowTextSize = 260;
constexpr char kMenuBarText[] = "Menu Bar";
constexpr int kMenuBarTextLength = sizeof kMenuBarText - 1;

// Class names are compared exactly: the system's own lookup ignores case, and
// a host's "worker" or "ToolbarWindow32Ex" is not what we look for.
bool HasClassName(HWND hWnd, const char* pszClass) {
    char szClass[kClassNameSize] = {};
    if (GetClassNameA(hWnd, szClass, kClassNameSize) == 0) return false;
    return std::strcmp(szClass, pszClass) == 0;
}

HWND FindDirectChildOfClass(HWND hWnd, const char* pszClass) {
    for (HWND hChild = GetWindow(hWnd, GW_CHILD); hChild != nullptr; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        if (HasClassName(hChild, pszClass)) return hChild;
    }
    return nullptr;
}

struct FirstOfClasses {
    const char* const* ppszClasses;
    int nClasses;
    HWND hFound;
};

BOOL CALLBACK StopAtFirstOfClasses(HWND hWnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<FirstOfClasses*>(lParam);
    char szClass[kClassNameSize] = {};
    if (GetClassNameA(hWnd, szClass, kClassNameSize) == 0) return TRUE;
    for (int i = 0; i < pSearch->nClasses; ++i) {
        if (std::strcmp(szClass, pSearch->ppszClasses[i]) == 0) {
            pSearch->hFound = hWnd;
            return FALSE;
        }
    }
    return TRUE;
}

HWND FindFirstDescendant(HWND hWnd, const char* const* ppszClasses, int nClasses) {
    FirstOfClasses search{ppszClasses, nClasses, nullptr};
    EnumChildWindows(hWnd, StopAtFirstOfClasses, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

BOOL CALLBACK KeepLastToolbar(HWND hWnd, LPARAM lParam) {
    if (HasClassName(hWnd, "ToolbarWindow32")) *reinterpret_cast<HWND*>(lParam) = hWnd;
    return TRUE;
}

BOOL CALLBACK StopAtVisibleMenuBar(HWND hWnd, LPARAM lParam) {
    if (!IsWindowVisible(hWnd)) return TRUE;
    char szText[kWindowTextSize] = {};
    const int nLength = GetWindowTextA(hWnd, szText, kWindowTextSize);
    if (nLength >= kMenuBarTextLength && std::strstr(szText, kMenuBarText) != nullptr) {
        *reinterpret_cast<HWND*>(lParam) = hWnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

bool HasWorkerChild(HWND hWnd) {
    HWND hWorker = FindDirectChildOfClass(hWnd, "Worker");
    return hWorker != nullptr && GetAncestor(hWorker, GA_PARENT) == hWnd;
}

bool HasDocObjectView(HWND hWnd) { return FindDirectChildOfClass(hWnd, "Shell DocObject View") != nullptr; }

HWND FindCommandBarDock(HWND hWnd) {
    static const char* const kDockClasses[] = {"MsoCommandBarDock", "EXCEL2", "MDIClient"};
    return FindFirstDescendant(hWnd, kDockClasses, 3);
}

HWND FindReBar(HWND hWnd) {
    static const char* const kReBarClasses[] = {"ReBarWindow32"};
    return FindFirstDescendant(hWnd, kReBarClasses, 1);
}

HWND FindToolbarHost(const HookedWndInfo* pInfo) {
    if (pInfo == nullptr) return nullptr;
    HWND hResult = nullptr;
    if (pInfo->dwFlags & kHookFlagBrowser) {
        // Without a rebar the search would run over the top-level windows,
        // which never holds the host's tool bar: no host then.
        HWND hReBar = FindReBar(pInfo->hWnd);
        if (hReBar == nullptr) return nullptr;
        hResult = hReBar;
        // The whole tree is walked and the last tool bar visited wins. A
        // rebar takes each band's child as its own, which lays it over its
        // siblings: the last one visited is the first band's, where a
        // browser keeps its menu bar.
        EnumChildWindows(hReBar, KeepLastToolbar, reinterpret_cast<LPARAM>(&hResult));
        return hResult;
    }
    EnumChildWindows(pInfo->hWnd, StopAtVisibleMenuBar, reinterpret_cast<LPARAM>(&hResult));
    return hResult;
}
