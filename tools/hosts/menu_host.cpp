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

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "PfcMenuHost";
    RegisterClassA(&wc);
    HMENU hMenu = host::HasSwitch("--no-menu") ? nullptr : host::CreateHostMenu();
    HWND hWnd = CreateWindowExA(0, "PfcMenuHost", "Sample document - Menu host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                CW_USEDEFAULT, CW_USEDEFAULT, 480, 320, nullptr, hMenu, hInstance, nullptr);
    if (hWnd == nullptr) return 1;
    return host::RunMessageLoop(hWnd);
}
