// A browser-like host: a rebar holding three tool bars, a "Shell DocObject
// View" child for the page and a "Worker" child, made while the main window
// is created so that they exist when the window-created notification comes.
// "--no-rebar" leaves the rebar out; "--no-menu" the menu bar.
#include <windows.h>

#include <commctrl.h>

#include "host_common.h"

namespace {

// The links band is wide, with room after its buttons for the send button.
// It is made first: the module's search visits it last.
void AddToolbarBand(HWND hReBar, int nButtons, int nFirstId, int cx, bool bNewRow) {
    HWND hToolbar = CreateWindowExA(
        0, TOOLBARCLASSNAMEA, "",
        WS_CHILD | WS_VISIBLE | CCS_NORESIZE | CCS_NODIVIDER | CCS_NOPARENTALIGN | TBSTYLE_FLAT | TBSTYLE_LIST, 0, 0,
        cx, 24, hReBar, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(hToolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    for (int i = 0; i < nButtons; ++i) {
        TBBUTTON button{};
        button.iBitmap = I_IMAGENONE;
        button.idCommand = nFirstId + i;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
        button.iString = reinterpret_cast<INT_PTR>("Go");
        SendMessageA(hToolbar, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&button));
    }
    REBARBANDINFOA band{};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE | RBBIM_SIZE;
    band.fStyle = RBBS_CHILDEDGE | (bNewRow ? RBBS_BREAK : 0);
    band.hwndChild = hToolbar;
    band.cxMinChild = 60;
    band.cyMinChild = 24;
    band.cx = cx + 30;
    SendMessageA(hReBar, RB_INSERTBANDA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
}

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_CREATE) {
        HINSTANCE hInstance = GetModuleHandleA(nullptr);
        if (!host::HasSwitch("--no-rebar")) {
            HWND hReBar = CreateWindowExA(0, REBARCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | RBS_VARHEIGHT | CCS_NODIVIDER,
                                          0, 0, 0, 0, hWnd, nullptr, hInstance, nullptr);
            AddToolbarBand(hReBar, 2, 400, 300, false);
            AddToolbarBand(hReBar, 3, 200, 120, true);
            AddToolbarBand(hReBar, 2, 300, 120, false);
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
