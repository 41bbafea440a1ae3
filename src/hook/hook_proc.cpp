// The subclass procedure of hooked host windows: a dispatcher. One table
// maps each message it serves to its handler, which lives with the subsystem
// it serves; every other message costs one lookup and one call of the host's
// own procedure.
#include "hook/hook_proc.h"

#include "hook/base/hook_messages.h"
#include "hook/hooked_wnd_table.h"
#include "hook/base/item_placer.h"
#include "hook/menu_wait_thread.h"
#include "hook/base/process_name.h"
#include "hook/quarantine.h"
#include "hook/refresh.h"
#include "hook/send_item_report.h"
#include "hook/send_commands.h"
#include "hook/base/shared_state.h"
#include "hook/subclassing.h"
#include "hook/base/trace.h"
#include "menu/popup_events.h"
#include "platform/fault_guard.h"

namespace {

bool OnClosing(const HookMessage& message, LRESULT*) {
    message.pInfo->dwFlags |= kHookFlagClosing;
    return false;
}

bool OnDestroyed(const HookMessage& message, LRESULT*) {
    // The host's menu goes with its window, the picture in it does not.
    RemoveSendItem(message.pInfo, FALSE);
    UnhookThisWnd(message.pInfo, FALSE, message.nPosition);
    // Covered by a later subclass, it was remembered for passing on; the
    // window is going, so that ends here too.
    ForgetForwardOnlyWnd(message.hWnd);
    return false;
}

bool OnHostMenuRebuilt(const HookMessage& message, LRESULT*) {
    if (message.pInfo->nModule == kHostBrowser) StartMenuWaitThread(message.pInfo);
    return false;
}

bool OnHookRemoved(const HookMessage& message, LRESULT*) {
    UnhookThisWnd(message.pInfo, TRUE, message.nPosition);
    return false;
}

// The menu worker's request, carried out on the window's own thread, where
// alone the host's menu may be sent its messages.
bool OnPlaceItemForWorker(const HookMessage& message, LRESULT* plResult) {
    *plResult = PlaceItemForMenuWorker(message.pInfo);
    return true;
}

bool OnTestQuery(const HookMessage& message, LRESULT* plResult) {
    HookedWndInfo* pInfo = message.pInfo;
    if (message.wParam == kTestQuerySendItem) {
        ReportSendItem(pInfo, reinterpret_cast<HWND>(message.lParam));
        *plResult = kTestQueryAnswer;
        return true;
    }
    *plResult = message.wParam == kTestQueryRecordCount
                    ? kTestQueryAnswer | static_cast<LRESULT>(CountHookedWindows())
                    : kTestQueryAnswer | static_cast<LRESULT>((pInfo->dwFlags & 0xFF) << 16) |
                          static_cast<LRESULT>(pInfo->nModule & 0xFFFF);
    return true;
}

struct DispatchEntry {
    UINT uMsg;
    MessageHandler pfnHandler;
};

constexpr DispatchEntry kDispatchTable[] = {
    {WM_SIZE, OnSizeChanged},
    {WM_SETTEXT, OnButtonHostActivity},
    {WM_SETCURSOR, OnButtonHostActivity},
    {WM_NCHITTEST, OnButtonHostActivity},
    {WM_CLOSE, OnClosing},
    {WM_QUIT, OnClosing},
    {WM_NCDESTROY, OnDestroyed},
    {WM_COMMAND, OnSendCommand},
    {WM_INITMENUPOPUP, OnSendPopupOpening},
    {WM_MENUSELECT, OnMenuSelectLearnPrint},
    {kMsgHostMenuRebuilt, OnHostMenuRebuilt},
};

// Registered messages come from RegisterWindowMessage, above 0xBFFF.
constexpr UINT kFirstRegisteredMessage = 0xC000;

MessageHandler FindHandler(UINT uMsg) {
    if (uMsg >= kFirstRegisteredMessage) {
        if (uMsg == g_uRefreshMsg) return OnRefreshMessage;
        if (uMsg == g_uHookRemovedMsg) return OnHookRemoved;
        if (uMsg == g_uPlaceItemMsg) return OnPlaceItemForWorker;
        if (uMsg == g_uTestQueryMsg) return g_bDiagnosticsEnabled ? OnTestQuery : nullptr;
        return nullptr;
    }
    for (const DispatchEntry& entry : kDispatchTable) {
        if (entry.uMsg == uMsg) return entry.pfnHandler;
    }
    return nullptr;
}

// A message that reached HookProc after the window was given back (another
// thread of the host unhooked it meanwhile) belongs to the procedure the
// window has now, the host's own: the default procedure would, for one, let
// a WM_CLOSE destroy the window without the host's save prompt. Only a
// window whose procedure is still HookProc and that we know nothing of gets
// the default procedure, rather than HookProc again.
LRESULT PassOnToCurrentProcedure(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    const bool bUnicode = IsWindowUnicode(hWnd) != FALSE;
    const auto pfnCurrent = reinterpret_cast<WNDPROC>(bUnicode ? GetWindowLongPtrW(hWnd, GWLP_WNDPROC)
                                                               : GetWindowLongPtrA(hWnd, GWLP_WNDPROC));
    if (pfnCurrent == nullptr || pfnCurrent == HookProc)
        return bUnicode ? DefWindowProcW(hWnd, uMsg, wParam, lParam) : DefWindowProcA(hWnd, uMsg, wParam, lParam);
    return bUnicode ? CallWindowProcW(pfnCurrent, hWnd, uMsg, wParam, lParam)
                    : CallWindowProcA(pfnCurrent, hWnd, uMsg, wParam, lParam);
}

LRESULT PassOn(WNDPROC pfnOldWndProc, bool bUnicode, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (pfnOldWndProc == nullptr) return PassOnToCurrentProcedure(hWnd, uMsg, wParam, lParam);
    return bUnicode ? CallWindowProcW(pfnOldWndProc, hWnd, uMsg, wParam, lParam)
                    : CallWindowProcA(pfnOldWndProc, hWnd, uMsg, wParam, lParam);
}

// A window we could not give its procedure back to (another subclass sat on
// top of ours) still sends its messages through here: they go on to the
// procedure we replaced, and the entry goes with the window.
LRESULT PassOnUnhooked(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    WNDPROC pfnOldWndProc = nullptr;
    bool bUnicode = false;
    if (!FindForwardOnlyWnd(hWnd, &pfnOldWndProc, &bUnicode)) return PassOnToCurrentProcedure(hWnd, uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY) ForgetForwardOnlyWnd(hWnd);
    return PassOn(pfnOldWndProc, bUnicode, hWnd, uMsg, wParam, lParam);
}

}  // namespace

void TryToHookThisWnd(HWND hWnd, int nModule) { HookThisWnd(hWnd, nModule, HookProc); }

extern "C" LRESULT CALLBACK HookProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    EnsureModuleStarted();

    // A program put in quarantine loses the send item at each window's next
    // message, the way the hook's removal gives a window back; a window that
    // is going anyway goes its usual way.
    const MessageHandler pfnHandler =
        IsProcessQuarantined() && uMsg != WM_NCDESTROY ? OnHookRemoved : FindHandler(uMsg);
    if (pfnHandler == nullptr) {
        WNDPROC pfnOldWndProc = nullptr;
        bool bUnicode = false;
        if (!FindPassOnTarget(hWnd, &pfnOldWndProc, &bUnicode)) return PassOnUnhooked(hWnd, uMsg, wParam, lParam);
        return PassOn(pfnOldWndProc, bUnicode, hWnd, uMsg, wParam, lParam);
    }

    size_t nPosition = 0;
    // The reference keeps the record alive while this message is handled,
    // even when another thread unhooks the window meanwhile.
    HookedWndRef info = FindHookedWndRef(hWnd, &nPosition);
    if (!info) return PassOnUnhooked(hWnd, uMsg, wParam, lParam);

    // The message goes on with what was in place when it arrived, whatever
    // happens to the record while it is handled.
    const WNDPROC pfnOldWndProc = info->pfnOldWndProc;
    const bool bUnicode = (info->dwFlags & kHookFlagUnicode) != 0;

    const HookMessage message{info.get(), nPosition, hWnd, uMsg, wParam, lParam};
    LRESULT lResult = 0;
    bool bAnswered = false;
    auto handle = [&] { bAnswered = pfnHandler(message, &lResult); };
    DWORD dwFaultCode = 0;
    // Whatever went wrong, the host gets its message.
    if (!platform::RunFaultGuarded(handle, &dwFaultCode)) {
        Trace("HookProc CAP_CATCH", hWnd);
        NoteGuardIncident(dwFaultCode);
    } else if (bAnswered) {
        return lResult;
    }
    return PassOn(pfnOldWndProc, bUnicode, hWnd, uMsg, wParam, lParam);
}
