#include <windows.h>

#include "hook/shared_state.h"

// The subclass procedure of hooked host windows.
extern "C" LRESULT CALLBACK HookProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    // No window is subclassed with this procedure yet.
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// The refresh timer becomes a posted message, so that the refresh itself runs
// inside HookProc on the window's own thread.
extern "C" void CALLBACK TimerProc32(HWND hWnd, UINT, UINT_PTR, DWORD) {
    PostMessageA(hWnd, g_uRefreshMsg, 0, 0);
}
