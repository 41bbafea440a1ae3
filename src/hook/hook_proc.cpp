#include <windows.h>

#include "hook/hooked_wnd.h"
#include "hook/shared_state.h"
#include "hook/trace.h"
#include "platform/fault_guard.h"
#include "platform/module_pin.h"

UINT g_uTestQueryMsg = 0;
UINT g_uHookRemovedMsg = 0;

void AnnounceHookRemoved() {
    if (g_uHookRemovedMsg != 0) PostMessageA(HWND_BROADCAST, g_uHookRemovedMsg, 0, 0);
}

namespace {

LRESULT PassOn(WNDPROC pfnOldWndProc, bool bUnicode, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return bUnicode ? CallWindowProcW(pfnOldWndProc, hWnd, uMsg, wParam, lParam)
                    : CallWindowProcA(pfnOldWndProc, hWnd, uMsg, wParam, lParam);
}

// A window we could not give its procedure back to (another subclass sat on
// top of ours) still sends its messages through here: they go on to the
// procedure we replaced, and the entry goes with the window.
LRESULT PassOnUnhooked(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    WNDPROC pfnOldWndProc = nullptr;
    bool bUnicode = false;
    // Nothing known of the window: the default procedure at least keeps it
    // working (creation, painting, closing) rather than answering for it.
    if (!FindForwardOnlyWnd(hWnd, &pfnOldWndProc, &bUnicode))
        return IsWindowUnicode(hWnd) ? DefWindowProcW(hWnd, uMsg, wParam, lParam)
                                     : DefWindowProcA(hWnd, uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY) ForgetForwardOnlyWnd(hWnd);
    return PassOn(pfnOldWndProc, bUnicode, hWnd, uMsg, wParam, lParam);
}

LRESULT AnswerTestQuery(HookedWndInfo* pInfo, WPARAM wParam, LPARAM lParam) {
    if (wParam == kTestQueryRecordCount) return kTestQueryAnswer | static_cast<LRESULT>(CountHookedWindows());
    if (wParam == kTestQuerySendItem) {
        ReportSendItem(pInfo, reinterpret_cast<HWND>(lParam));
        return kTestQueryAnswer;
    }
    return kTestQueryAnswer | static_cast<LRESULT>((pInfo->dwFlags & 0xFF) << 16) |
           static_cast<LRESULT>(pInfo->nModule & 0xFFFF);
}

}  // namespace

// The subclass procedure of hooked host windows. For a message it does not
// handle it costs one lookup and one call of the host's procedure.
extern "C" LRESULT CALLBACK HookProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    // A modal loop under this call may outlast every window's hold on the
    // module: it stays loaded until the call is back in its caller.
    platform::ModuleCallScope callUnderWay;
    size_t nPosition = 0;
    // The reference keeps the record alive while this message is handled,
    // even when another thread unhooks the window meanwhile.
    HookedWndInfo* pInfo = FindHookedWndRef(hWnd, &nPosition);
    if (pInfo == nullptr) return PassOnUnhooked(hWnd, uMsg, wParam, lParam);

    // The message goes on with what was in place when it arrived, whatever
    // happens to the record while it is handled.
    const WNDPROC pfnOldWndProc = pInfo->pfnOldWndProc;
    const bool bUnicode = (pInfo->dwFlags & kHookFlagUnicode) != 0;

    if (uMsg == g_uTestQueryMsg && uMsg != 0) {
        const LRESULT lAnswer = AnswerTestQuery(pInfo, wParam, lParam);
        ReleaseHookedWnd(pInfo);
        return lAnswer;
    }

    if (uMsg == g_uPlaceItemMsg && uMsg != 0) {
        LRESULT lPlaced = FALSE;
        auto place = [&] { lPlaced = PlaceItemForMenuWorker(pInfo); };
        if (!platform::RunFaultGuarded(place)) Trace("HookProc CAP_CATCH", hWnd);
        ReleaseHookedWnd(pInfo);
        return lPlaced;
    }

    auto handle = [&] {
        switch (uMsg) {
            case WM_CLOSE:
            case WM_QUIT:
                pInfo->dwFlags |= kHookFlagClosing;
                break;
            case WM_NCDESTROY:
                UnhookThisWnd(pInfo, FALSE, nPosition);
                // Covered by a later subclass, it was remembered for passing
                // on; the window is going, so that ends here too.
                ForgetForwardOnlyWnd(hWnd);
                break;
            default:
                if (uMsg == g_uHookRemovedMsg && uMsg != 0) UnhookThisWnd(pInfo, TRUE, nPosition);
                break;
        }
    };
    if (!platform::RunFaultGuarded(handle)) Trace("HookProc CAP_CATCH", hWnd);
    ReleaseHookedWnd(pInfo);
    if (pfnOldWndProc == nullptr)
        return bUnicode ? DefWindowProcW(hWnd, uMsg, wParam, lParam) : DefWindowProcA(hWnd, uMsg, wParam, lParam);
    return PassOn(pfnOldWndProc, bUnicode, hWnd, uMsg, wParam, lParam);
}

// The refresh timer becomes a posted message, so that the refresh itself runs
// inside HookProc on the window's own thread.
extern "C" void CALLBACK TimerProc32(HWND hWnd, UINT, UINT_PTR, DWORD) {
    PostMessageA(hWnd, g_uRefreshMsg, 0, 0);
}
