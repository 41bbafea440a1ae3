// A browser-like host: a rebar holding three tool bars, a "Shell DocObject
// View" child for the page and a "Worker" child, made while the main window
// is created so that they exist when the window-created notification comes.
// "--no-rebar" leaves the rebar out; "--no-menu" the menu bar.
#include <windows.h>

#include <commctrl.h>

#include "host_common.h"
#include "toolbar_band.h"

namespace {

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_SIZE) {
        // The rebar follows the window's width, as a browser's does, and lays
        // its bands out anew.
        if (HWND hReBar = FindWindowExA(hWnd, nullptr, REBARCLASSNAMEA, nullptr))
            SendMessageA(hReBar, WM_SIZE, wParam, lParam);
    }
    if (uMsg == WM_CREATE) {
        HINSTANCE hInstance = GetModuleHandleA(nullptr);
        if (!host::HasSwitch("--no-rebar")) {
            HWND hReBar = CreateWindowExA(0, REBARCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | RBS_VARHEIGHT | CCS_NODIVIDER,
                                          0, 0, 0, 0, hWnd, nullptr, hInstance, nullptr);
            // The links band is wide, with room after its buttons for the
            // send button. It is made first: the module's search visits it last.
            host::AddToolbarBand(hReBar, {"Links", "News"}, 400, 300);
            host::AddToolbarBand(hReBar, {"Back", "Forward", "Stop"}, 200, 200, true);
            host::AddToolbarBand(hReBar, {"Home", "Go"}, 300, 120);
        }
        CreateWindowExA(0, "Shell DocObject View", "", WS_CHILD | WS_VISIBLE, 0, 60, 400, 200, hWnd, nullptr, hInstance,
                        nullptr);
        CreateWindowExA(0, "Worker", "", WS_CHILD, 0, 0, 0, 0, hWnd, nullptr, hInstance, nullptr);
        return 0;
    }
    LRESULT lResult = 0;
    if (host::HandleCommonMessage(hWnd, uMsg, wParam, lParam, &lResult)) return lResult;
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_COOL_CLASSES};
    InitCommonControlsEx(&controls);
    host::RegisterPlainClass("Shell DocObject View");
    host::RegisterPlainClass("Worker");
    HWND hWnd = host::CreateMainWindow("PfcBrowserHost", MainWndProc, "Start page - Browser host", 520, 360,
                                       host::HasSwitch("--no-menu") ? nullptr : host::CreateHostMenu());
    if (hWnd == nullptr) return 1;
    return host::RunMessageLoop(hWnd);
}
