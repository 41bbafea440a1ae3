#include "hook/refresh.h"

#include "hook/hooked_wnd_table.h"
#include "hook/base/item_placer.h"
#include "hook/base/process_name.h"
#include "hook/base/shared_state.h"
#include "platform/fault_guard.h"
#include "platform/seams.h"

namespace {

// One refresh at a time in a process: placing an item sends the host
// messages, which must not start a second refresh inside the first.
volatile LONG g_bInRefresh = FALSE;

void LeaveRefresh(void*) { InterlockedExchange(&g_bInRefresh, FALSE); }

// A fault in the refresh clears the flag in the guard's landing: left set,
// no window of the process would ever be put right again.
class InRefreshFlag {
public:
    InRefreshFlag() noexcept : m_bEntered(InterlockedCompareExchange(&g_bInRefresh, TRUE, FALSE) == FALSE) {
        if (m_bEntered) m_undo = platform::FaultUndo(&LeaveRefresh, nullptr);
    }
    ~InRefreshFlag() {
        m_undo.Settle();
        if (m_bEntered) LeaveRefresh(nullptr);
    }
    InRefreshFlag(const InRefreshFlag&) = delete;
    InRefreshFlag& operator=(const InRefreshFlag&) = delete;
    bool entered() const noexcept { return m_bEntered; }

private:
    bool m_bEntered;
    platform::FaultUndo m_undo;
};

}  // namespace

extern "C" void CALLBACK TimerProc32(HWND hWnd, UINT, UINT_PTR uTimerId, DWORD) {
    EnsureModuleStarted();
    // A window given back from another thread, which could not kill the
    // timer, ends it here on its own thread.
    if (FindHookedWnd(hWnd, nullptr) == nullptr) {
        KillTimer(hWnd, uTimerId);
        return;
    }
    // The refresh itself runs inside HookProc, on the window's own thread.
    PostMessageA(hWnd, g_uRefreshMsg, 0, 0);
}

void StartRefreshTimer(HookedWndInfo* pInfo) {
    if (pInfo->uTimerID == 0)
        pInfo->uTimerID = SetTimer(pInfo->hWnd, kRefreshTimerId, kRefreshTimerPeriodMs, TimerProc32);
}

void KillRefreshTimer(HookedWndInfo* pInfo) {
    if (pInfo->uTimerID != 0) {
        KillTimer(pInfo->hWnd, pInfo->uTimerID);
        pInfo->uTimerID = 0;
    }
}

void RefreshHookedItem(HookedWndInfo* pInfo) {
    InRefreshFlag flag;
    if (!flag.entered()) return;
    platform::InjectFault(platform::FaultPoint::kRefresh);
    pInfo->pPlacer->pfnRefresh(pInfo);
}

bool OnRefreshMessage(const HookMessage& message, LRESULT* plResult) {
    KillRefreshTimer(message.pInfo);
    RefreshHookedItem(message.pInfo);
    *plResult = 1;
    return true;
}

bool OnSizeChanged(const HookMessage& message, LRESULT*) {
    StartRefreshTimer(message.pInfo);
    return false;
}

bool OnButtonHostActivity(const HookMessage& message, LRESULT*) {
    HookedWndInfo* pInfo = message.pInfo;
    if (IsButtonMenuModule(pInfo->nModule) && pInfo->hButtonWnd == nullptr) StartRefreshTimer(pInfo);
    return false;
}
