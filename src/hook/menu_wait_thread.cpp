// The menu worker. Some browser hosts rebuild their menu after they have
// told us (message 0x0402); the worker watches for a while and puts the send
// item back once the host's new menu has replaced ours.
//
// The worker only looks at the menu. Placing the item sends the window
// messages (the menu bar is redrawn, a button is made), which would make the
// worker wait for the window's thread; that thread may be busy, or waiting
// in module exit for the worker to end. So the window's own thread is asked
// to place it, with nothing held that it could need, and for no longer than
// one interval: a busy thread costs the worker one attempt, never a hang.
//
// Lifetime: the worker holds a reference to its record from before the
// thread starts until it ends, so a window destroyed while the worker sleeps
// only unhooks the record (bUnhooked) and the worker finds it still there,
// sees that, and ends with -6. A window has at most one worker: a request
// that comes while it runs makes it watch once more when it is through, so
// that no number of requests can cost the host more than one thread. The
// module is kept for the process before the thread starts.
#include "hook/base/hook_messages.h"
#include "hook/base/hooked_wnd.h"
#include "hook/base/item_placer.h"
#include "hook/menu_wait_thread.h"
#include "hook/base/shared_state.h"
#include "menu/menu_search.h"
#include "platform/module_pin.h"
#include "platform/seams.h"
#include "platform/unique_handle.h"

namespace {

// Taken for each attempt in this order: the process's worker lock, then the
// record's own.
class AttemptLocks {
public:
    explicit AttemptLocks(HookedWndInfo* pInfo) : m_csLock(g_csMenuThread), m_recordLock(pInfo->hLock.get()) {}

private:
    platform::CriticalSectionLock m_csLock;
    platform::SemaphoreLock m_recordLock;
};

DWORD WINAPI MenuWaitThreadStart(LPVOID pParameter) {
    // The reference StartMenuWaitThread handed over.
    const HookedWndRef info(static_cast<HookedWndInfo*>(pParameter));
    HookedWndInfo* pInfo = info.get();
    DWORD dwResult = 0;
    for (;;) {
        while (InterlockedExchange(&pInfo->bMenuWorkerAgain, FALSE) != FALSE) dwResult = MenuWaitThread(pInfo);
        InterlockedExchange(&pInfo->bMenuWorkerRunning, FALSE);
        // A request that came after the last look but before the flag went
        // down found a worker still running and left its work to it.
        if (pInfo->bMenuWorkerAgain == FALSE ||
            InterlockedCompareExchange(&pInfo->bMenuWorkerRunning, TRUE, FALSE) != FALSE)
            break;
    }
    return dwResult;
}

}  // namespace


namespace {

bool IsSendPopupPresent(const HookedWndInfo* pInfo) {
    const UINT uPopupId = pInfo->aCmdID[kCmdFax];
    return uPopupId != 0 && FindMenuCommand(GetMenu(pInfo->hWnd), uPopupId);
}

bool IsGivenBack(const HookedWndInfo* pInfo) { return pInfo->bUnhooked || pInfo->pfnOldWndProc == nullptr; }

bool AskWindowToPlaceItem(const HookedWndInfo* pInfo) {
    DWORD_PTR dwPlaced = FALSE;
    return SendMessageTimeoutA(pInfo->hWnd, g_uPlaceItemMsg, 0, 0, SMTO_ABORTIFHUNG, kMenuWaitIntervalMs,
                               &dwPlaced) != 0 &&
           dwPlaced != FALSE;
}

}  // namespace

BOOL PlaceItemForMenuWorker(HookedWndInfo* pInfo) {
    // A request may arrive late, after the window was given back or after
    // an earlier request already placed the item.
    if (IsGivenBack(pInfo)) return FALSE;
    if (IsSendPopupPresent(pInfo)) return TRUE;
    return PlaceSendItem(pInfo);
}

DWORD MenuWaitThread(HookedWndInfo* pInfo) {
    InterlockedIncrement(&g_nBusyThreads);
    DWORD dwResult = 0;
    if (!IsWindow(pInfo->hWnd) || !IsWindowVisible(pInfo->hWnd)) {
        dwResult = kMenuWaitGone;
    } else if (GetMenu(pInfo->hWnd) == nullptr) {
        dwResult = kMenuWaitNoMenu;
    } else {
        for (int nAttempt = 0; nAttempt < kMenuWaitAttempts; ++nAttempt) {
            if (pInfo->dwFlags & kHookFlagClosing) break;
            bool bMissing = false;
            {
                AttemptLocks locks(pInfo);
                bMissing = !IsSendPopupPresent(pInfo);
                if (bMissing && IsGivenBack(pInfo)) {
                    dwResult = kMenuWaitUnhooked;
                    break;
                }
            }
            if (bMissing && AskWindowToPlaceItem(pInfo)) break;
            platform::GetSeams().pfnWorkerPause(kMenuWaitIntervalMs);
        }
    }
    InterlockedDecrement(&g_nBusyThreads);
    return dwResult;
}

bool StartMenuWaitThread(HookedWndInfo* pInfo, DWORD* pdwThreadId) {
    if (pdwThreadId != nullptr) *pdwThreadId = 0;
    InterlockedExchange(&pInfo->bMenuWorkerAgain, TRUE);
    if (InterlockedCompareExchange(&pInfo->bMenuWorkerRunning, TRUE, FALSE) != FALSE) return true;
    if (!platform::KeepModuleForProcess()) {
        InterlockedExchange(&pInfo->bMenuWorkerRunning, FALSE);
        return false;
    }
    HookedWndRef forThread = HookedWndRef::Share(pInfo);
    platform::unique_handle hThread(CreateThread(nullptr, 0, MenuWaitThreadStart, pInfo, 0, pdwThreadId));
    if (!hThread) {
        InterlockedExchange(&pInfo->bMenuWorkerRunning, FALSE);
        return false;
    }
    forThread.release();  // the thread's now
    return true;
}
