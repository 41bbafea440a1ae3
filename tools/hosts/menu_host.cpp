// The classic host: a main window with a menu bar whose File menu holds the
// Print command. "--no-menu" leaves the menu bar out.
#include <windows.h>

#include "host_common.h"

namespace {

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    LRESULT lResult = 0;
    if (host::HandleCommonMessage(hWnd, uMsg, wParam, lParam, &lResult)) return lResult;
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    HWND hWnd = host::CreateMainWindow("PfcMenuHost", MainWndProc, "Sample document - Menu host", 480, 320,
                                       host::HasSwitch("--no-menu") ? nullptr : host::CreateHostMenu());
    if (hWnd == nullptr) return 1;
    return host::RunMessageLoop(hWnd);
}
