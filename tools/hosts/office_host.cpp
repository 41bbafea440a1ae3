// An Office-like host: no classic menu bar, its menus live in a command bar
// titled "Menu Bar" inside an "MsoCommandBarDock". "--hidden-menubar" keeps
// the command bar hidden; "--no-dock" leaves the dock out and gives the
// window a classic menu bar instead.
#include <windows.h>

#include "host_common.h"

namespace {

// A command bar draws itself as Office's do: the face colour, its menu names
// on the left, the rest of the bar free.
LRESULT CALLBACK CommandBarProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != WM_PAINT) return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    PAINTSTRUCT ps;
    HDC hDC = BeginPaint(hWnd, &ps);
    RECT rect;
    GetClientRect(hWnd, &rect);
    FillRect(hDC, &rect, GetSysColorBrush(COLOR_BTNFACE));
    char szTitle[64] = {};
    GetWindowTextA(hWnd, szTitle, sizeof szTitle);
    const char* pszItems = lstrcmpA(szTitle, "Menu Bar") == 0 ? "File  Edit  View  Insert" : "New  Open  Save";
    SetBkMode(hDC, TRANSPARENT);
    SetTextColor(hDC, GetSysColor(COLOR_MENUTEXT));
    SelectObject(hDC, GetStockObject(DEFAULT_GUI_FONT));
    TextOutA(hDC, 6, 6, pszItems, lstrlenA(pszItems));
    EndPaint(hWnd, &ps);
    return 0;
}

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
    WNDCLASSA wc{};
    wc.lpfnWndProc = CommandBarProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = "MsoCommandBar";
    RegisterClassA(&wc);
    HWND hWnd = host::CreateMainWindow("PfcOfficeHost", MainWndProc, "Document1 - Office host", 520, 360,
                                       host::HasSwitch("--no-dock") ? host::CreateHostMenu() : nullptr);
    if (hWnd == nullptr) return 1;
    return host::RunMessageLoop(hWnd);
}
