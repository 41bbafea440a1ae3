// An Office-like host: no classic menu bar, its menus live in a command bar
// titled "Menu Bar" inside an "MsoCommandBarDock". "--hidden-menubar" keeps
// the command bar hidden; "--no-dock" leaves the dock out and gives the
// window a classic menu bar instead.
#include <windows.h>

#include "host_common.h"

namespace {

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_CREATE) {
        if (!host::HasSwitch("--no-dock")) {
            HINSTANCE hInstance = GetModuleHandleA(nullptr);
            HWND hDock = CreateWindowExA(0, "MsoCommandBarDock", "MsoDockTop", WS_CHILD | WS_VISIBLE, 0, 0, 480, 28,
                                         hWnd, nullptr, hInstance, nullptr);
            const DWORD dwBarStyle = WS_CHILD | (host::HasSwitch("--hidden-menubar") ? 0 : WS_VISIBLE);
            CreateWindowExA(0, "MsoCommandBar", "Menu Bar", dwBarStyle, 0, 0, 300, 26, hDock, nullptr, hInstance,
                            nullptr);
            CreateWindowExA(0, "MsoCommandBar", "Standard", WS_CHILD | WS_VISIBLE, 300, 0, 180, 26, hDock, nullptr,
                            hInstance, nullptr);
        }
        return 0;
    }
    LRESULT lResult = 0;
    if (host::HandleCommonMessage(hWnd, uMsg, wParam, lParam, &lResult)) return lResult;
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    host::RegisterPlainClass("MsoCommandBarDock");
    host::RegisterPlainClass("MsoCommandBar");
    HWND hWnd = host::CreateMainWindow("PfcOfficeHost", MainWndProc, "Document1 - Office host", 520, 360,
                                       host::HasSwitch("--no-dock") ? host::CreateHostMenu() : nullptr);
    if (hWnd == nullptr) return 1;
    return host::RunMessageLoop(hWnd);
}
