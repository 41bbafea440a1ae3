// Subclassing a host window and giving it back, and the choice of how its
// send item is placed.
#include "hook/subclassing.h"

#include "hook/host_index.h"
#include "hook/base/hook_messages.h"
#include "hook/hooked_wnd_table.h"
#include "hook/base/item_placer.h"
#include "hook/quarantine.h"
#include "hook/refresh.h"
#include "hook/base/shared_state.h"
#include "hook/base/target_selection.h"
#include "hook/base/trace.h"
#include "menu/send_item.h"
#include "platform/module_pin.h"
#include "platform/seams.h"
#include "platform/unique_handle.h"
#include "toolbar/send_button.h"
#include "toolbar/toolbar.h"

namespace {

// A window of another thread is given back by that thread, which alone may
// kill its timer and destroy its button; this long at most, then here.
constexpr DWORD kUnhookRequestTimeoutMs = 1000;
// The menu worker holds the record's lock for a look at the menu only.
constexpr DWORD kRecordLockTimeoutMs = 2000;

// A test's placer, while its ScopedItemPlacer lives.
const ItemPlacer* g_pPlacerOverride = nullptr;

// Our procedure is read and written with the variant the window was hooked
// with: the other one would hand back a conversion thunk instead of our procedure,
// or turn a Unicode window into an ANSI one.
WNDPROC CurrentWndProc(const HookedWndInfo* pInfo) {
    const LONG_PTR lProc = (pInfo->dwFlags & kHookFlagUnicode) ? GetWindowLongPtrW(pInfo->hWnd, GWLP_WNDPROC)
                                                                : GetWindowLongPtrA(pInfo->hWnd, GWLP_WNDPROC);
    return reinterpret_cast<WNDPROC>(lProc);
}

WNDPROC ReplaceWndProc(HWND hWnd, bool bUnicode, WNDPROC pfnNew) {
    const LONG_PTR lNew = reinterpret_cast<LONG_PTR>(pfnNew);
    return reinterpret_cast<WNDPROC>(bUnicode ? SetWindowLongPtrW(hWnd, GWLP_WNDPROC, lNew)
                                              : SetWindowLongPtrA(hWnd, GWLP_WNDPROC, lNew));
}

// Every Unicode window is subclassed and passed on with the W calls: an ANSI
// subclass would send its text messages (WM_SETTEXT, WM_GETTEXT, WM_CHAR,
// WM_IME_CHAR) through the ANSI code page, and whatever the code page lacks
// would reach the host as "?".
bool IsUnicodeHost(HWND hWnd) { return IsWindowUnicode(hWnd) != FALSE; }

bool IsOwnThreadWindow(HWND hWnd) { return GetWindowThreadProcessId(hWnd, nullptr) == GetCurrentThreadId(); }

// Asks the window's own thread to give the window back, as the hook's
// removal does; true when the record has left the table.
bool AskOwnThreadToUnhook(const HookedWndInfo* pInfo) {
    DWORD_PTR dwResult = 0;
    SendMessageTimeoutA(pInfo->hWnd, g_uHookRemovedMsg, 0, 0, SMTO_ABORTIFHUNG, kUnhookRequestTimeoutMs,
                        &dwResult);
    return pInfo->bUnhooked != FALSE;
}

}  // namespace

const ItemPlacer& HostItemPlacer(int nModule) {
    return IsButtonMenuModule(nModule) ? kSendButtonPlacer : kSendPopupPlacer;
}

ScopedItemPlacer::ScopedItemPlacer(const ItemPlacer& placer) noexcept : m_pSaved(g_pPlacerOverride) {
    g_pPlacerOverride = &placer;
}

ScopedItemPlacer::~ScopedItemPlacer() { g_pPlacerOverride = m_pSaved; }

void HookThisWnd(HWND hWnd, int nModule, WNDPROC pfnHookProc) {
    if (!IsWindowVisible(hWnd)) return;
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != GetCurrentProcessId()) return;
    if (GetMenu(hWnd) == nullptr && !IsButtonMenuModule(nModule)) return;
    if (FindHookedWnd(hWnd, nullptr) != nullptr) return;

    Trace("NEW TryToHookThisWnd", hWnd);
    HookedWndInfo* pInfo = NewHookedWndInfo(nModule, g_pPlacerOverride != nullptr ? *g_pPlacerOverride : HostItemPlacer(nModule));
    pInfo->pfnHookProc = pfnHookProc;
    if ((nModule == kHostBrowser || nModule == kHostDocObject) && (HasWorkerChild(hWnd) || HasDocObjectView(hWnd)))
        pInfo->dwFlags |= kHookFlagBrowser;
    if (IsUnicodeHost(hWnd)) pInfo->dwFlags |= kHookFlagUnicode;
    pInfo->hWnd = hWnd;
    // The window will call into the module on its own from here on.
    platform::KeepModuleForProcess();
    {
        // Only the window's own thread gets here, and it handles no message
        // until the record is in the table.
        TableWriteLock lock;
        ForwardOnlyWnd below{};
        if (TakeForwardOnlyWnd(hWnd, &below)) {
            // A later subclass still calls our procedure: subclassing again
            // would put it under itself. The window is served again through
            // the procedure we replaced the first time, as it was sent then.
            pInfo->pfnOldWndProc = below.pfnOldWndProc;
            pInfo->dwFlags = (pInfo->dwFlags & ~kHookFlagUnicode) | (below.bUnicode ? kHookFlagUnicode : 0);
        } else {
            pInfo->pfnOldWndProc = ReplaceWndProc(hWnd, (pInfo->dwFlags & kHookFlagUnicode) != 0, pfnHookProc);
        }
        g_HookedWndList.push_back(pInfo);
        platform::InjectFault(platform::FaultPoint::kHooking);
    }
    // A failed subclass stays in the table so the window is not tried again.
    if (pInfo->pfnOldWndProc == nullptr) return;
    NoteServedProcess();
    if (!IsButtonMenuModule(nModule)) {
        Trace("WM_INITMENUPOPUP AddHookedMenuItem", hWnd);
        PlaceSendItem(pInfo);
    } else {
        // The button comes from the refresh; a host left alone after its
        // creation would otherwise wait for its first resize or mouse move.
        StartRefreshTimer(pInfo);
    }
}

void RestoreWndProc(HookedWndInfo* pInfo, BOOL bRemoveItem) {
    {
        // The menu worker reads the procedure under the record's lock.
        platform::SemaphoreLock lock(pInfo->hLock.get(), kRecordLockTimeoutMs);
        // Somebody who subclassed the window after us keeps their procedure;
        // taking ours out from under them would cut their chain.
        if (pInfo->pfnOldWndProc != nullptr && CurrentWndProc(pInfo) == pInfo->pfnHookProc) {
            ReplaceWndProc(pInfo->hWnd, (pInfo->dwFlags & kHookFlagUnicode) != 0, pInfo->pfnOldWndProc);
            pInfo->pfnOldWndProc = nullptr;
        }
    }
    if (bRemoveItem) RemoveSendItem(pInfo, TRUE);
}

void UnhookThisWnd(HookedWndInfo* pInfo, BOOL bRemoveItem, size_t nPosition) {
    KillRefreshTimer(pInfo);
    RestoreWndProc(pInfo, bRemoveItem);
    // The table's own reference goes with its entry.
    if (DetachFromTable(pInfo, nPosition)) HookedWndRef tableReference(pInfo);
}

void UnhookAllWindows() {
    for (;;) {
        HookedWndRef pInfo;
        {
            TableReadLock lock;
            if (g_HookedWndList.empty()) return;
            // The window's own thread may unhook it (WM_NCDESTROY) the moment
            // the lock is let go; our reference keeps the record until we
            // are done with it.
            pInfo = HookedWndRef::Share(g_HookedWndList.front());
        }
        if (!IsOwnThreadWindow(pInfo->hWnd) && IsWindow(pInfo->hWnd) && AskOwnThreadToUnhook(pInfo.get())) continue;
        // Ours, gone, or its thread does not answer: given back from here.
        // A timer that could not be killed from this thread ends itself.
        KillRefreshTimer(pInfo.get());
        RestoreWndProc(pInfo.get(), TRUE);
        if (DetachFromTable(pInfo.get(), 0)) HookedWndRef tableReference(pInfo.get());
    }
}

void ReleaseIfExcluded(HookedWndInfo* pInfo) {
    char szModuleName[kPathSize] = {};
    GetModuleName(szModuleName, pInfo->hWnd);
    if (GetModuleIndex(pInfo->hWnd, szModuleName) != kHostNotHooked) return;
    size_t nPosition = 0;
    HookedWndRef pFound = FindHookedWndRef(pInfo->hWnd, &nPosition);
    if (pFound) UnhookThisWnd(pFound.get(), TRUE, nPosition);
}
