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

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    host::RegisterPlainClass("MsoCommandBarDock");
    host::RegisterPlainClass("MsoCommandBar");
    WNDCLASSA wc{};
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "PfcOfficeHost";
    RegisterClassA(&wc);
    HMENU hMenu = host::HasSwitch("--no-dock") ? host::CreateHostMenu() : nullptr;
    HWND hWnd = CreateWindowExA(0, "PfcOfficeHost", "Document1 - Office host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                CW_USEDEFAULT, CW_USEDEFAULT, 520, 360, nullptr, hMenu, hInstance, nullptr);
    if (hWnd == nullptr) return 1;
    return host::RunMessageLoop(hWnd);
}
