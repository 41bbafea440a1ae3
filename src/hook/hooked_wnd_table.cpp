// The table of hooked windows of this process and the subclassing itself.
#include "hook/hooked_wnd_table.h"

#include <cstring>
#include <vector>

#include "hook/hook_messages.h"
#include "hook/hook_proc.h"
#include "hook/host_index.h"
#include "hook/refresh.h"
#include "hook/hook_seams.h"
#include "hook/quarantine.h"
#include "hook/shared_state.h"
#include "hook/trace.h"
#include "hook/target_selection.h"
#include "menu/popup_events.h"
#include "menu/send_item.h"
#include "platform/module_pin.h"
#include "platform/no_destructor.h"
#include "platform/seams.h"
#include "platform/unique_handle.h"
#include "toolbar/toolbar.h"

namespace {

// Either hold is given back by a fault guard's landing as well.
class TableReadLock : public platform::SharedSrwLock {
public:
    TableReadLock() noexcept : platform::SharedSrwLock(g_HookedWndLock) {}
};

class TableWriteLock : public platform::ExclusiveSrwLock {
public:
    TableWriteLock() noexcept : platform::ExclusiveSrwLock(g_HookedWndLock) {}
};

// A window of another thread is given back by that thread, which alone may
// kill its timer and destroy its button; this long at most, then here.
constexpr DWORD kUnhookRequestTimeoutMs = 1000;
// The menu worker holds the record's lock for a look at the menu only.
constexpr DWORD kRecordLockTimeoutMs = 2000;

void SleepFor(DWORD dwMilliseconds) { Sleep(dwMilliseconds); }

struct ForwardOnlyWnd {
    HWND hWnd;
    WNDPROC pfnOldWndProc;
    bool bUnicode;
};

// Touched only on the rare ways of unhooking under a later subclass and on a
// message that finds no record; kept under g_HookedWndLock.
platform::NoDestructor<std::vector<ForwardOnlyWnd>> g_ForwardOnlyStore;
std::vector<ForwardOnlyWnd>& g_ForwardOnlyList = *g_ForwardOnlyStore;

// Our procedure is read and written with the variant the window was hooked
// with: the other one would hand back a conversion thunk instead of HookProc,
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

// Takes the record out of the table (by identity: the position is only a
// hint, another thread may have changed the table since it was found) and
// marks it unhooked. False when it was no longer there.
bool DetachFromTable(HookedWndInfo* pInfo, size_t nPosition) {
    TableWriteLock lock;
    auto& list = g_HookedWndList;
    if (nPosition >= list.size() || list[nPosition] != pInfo) {
        nPosition = 0;
        while (nPosition < list.size() && list[nPosition] != pInfo) ++nPosition;
        if (nPosition == list.size()) return false;
    }
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(nPosition));
    InterlockedExchange(&pInfo->bUnhooked, TRUE);
    if (pInfo->pfnOldWndProc != nullptr && IsWindow(pInfo->hWnd)) {
        g_ForwardOnlyList.push_back({pInfo->hWnd, pInfo->pfnOldWndProc, (pInfo->dwFlags & kHookFlagUnicode) != 0});
    }
    return true;
}

// Under the table's exclusive lock: the forward-only entry of the window,
// taken out of the list. A window we still reach through a later subclass
// calls HookProc already.
bool TakeForwardOnlyWnd(HWND hWnd, ForwardOnlyWnd* pEntry) {
    for (size_t i = 0; i < g_ForwardOnlyList.size(); ++i) {
        if (g_ForwardOnlyList[i].hWnd == hWnd) {
            *pEntry = g_ForwardOnlyList[i];
            g_ForwardOnlyList.erase(g_ForwardOnlyList.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

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

namespace hook_seams {
BOOL (*pfnAddHookedMenuItem)(HookedWndInfo*) = AddHookedMenuItem;
void (*pfnRemoveHookedItem)(HookedWndInfo*, BOOL) = RemoveHookedItem;
void (*pfnSleep)(DWORD) = SleepFor;
void (*pfnExitWait)(DWORD) = SleepFor;
void (*pfnRefreshHookedItem)(HookedWndInfo*) = RefreshHookedItem;
}  // namespace hook_seams

SRWLOCK g_HookedWndLock = SRWLOCK_INIT;
namespace {
platform::NoDestructor<std::vector<HookedWndInfo*>> g_HookedWndStore;
}  // namespace
std::vector<HookedWndInfo*>& g_HookedWndList = *g_HookedWndStore;

void ReleaseHookedWndTable() {
    std::vector<HookedWndInfo*>().swap(g_HookedWndList);
    std::vector<ForwardOnlyWnd>().swap(g_ForwardOnlyList);
    ReleasePrintCmdLock();
}

void TryToHookThisWnd(HWND hWnd, int nModule) {
    if (!IsWindowVisible(hWnd)) return;
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != GetCurrentProcessId()) return;
    if (GetMenu(hWnd) == nullptr && !IsButtonMenuModule(nModule)) return;
    if (FindHookedWnd(hWnd, nullptr) != nullptr) return;

    Trace("NEW TryToHookThisWnd", hWnd);
    HookedWndInfo* pInfo = NewHookedWndInfo();
    if ((nModule == kHostBrowser || nModule == kHostDocObject) && (HasWorkerChild(hWnd) || HasDocObjectView(hWnd)))
        pInfo->dwFlags |= kHookFlagBrowser;
    if (IsUnicodeHost(hWnd)) pInfo->dwFlags |= kHookFlagUnicode;
    pInfo->hWnd = hWnd;
    pInfo->nModule = nModule;
    // The window will call into the module on its own from here on.
    platform::KeepModuleForProcess();
    {
        // Only the window's own thread gets here, and it handles no message
        // until the record is in the table.
        TableWriteLock lock;
        ForwardOnlyWnd below{};
        if (TakeForwardOnlyWnd(hWnd, &below)) {
            // A later subclass still calls HookProc: subclassing again would
            // put HookProc under itself. The window is served again through
            // the procedure we replaced the first time, as it was sent then.
            pInfo->pfnOldWndProc = below.pfnOldWndProc;
            pInfo->dwFlags = (pInfo->dwFlags & ~kHookFlagUnicode) | (below.bUnicode ? kHookFlagUnicode : 0);
        } else {
            pInfo->pfnOldWndProc = ReplaceWndProc(hWnd, (pInfo->dwFlags & kHookFlagUnicode) != 0, HookProc);
        }
        g_HookedWndList.push_back(pInfo);
        platform::InjectFault(platform::FaultPoint::kHooking);
    }
    // A failed subclass stays in the table so the window is not tried again.
    if (pInfo->pfnOldWndProc == nullptr) return;
    NoteServedProcess();
    if (!IsButtonMenuModule(nModule)) {
        Trace("WM_INITMENUPOPUP AddHookedMenuItem", hWnd);
        hook_seams::pfnAddHookedMenuItem(pInfo);
    } else {
        // The button comes from the refresh; a host left alone after its
        // creation would otherwise wait for its first resize or mouse move.
        StartRefreshTimer(pInfo);
    }
}

HookedWndInfo* FindHookedWnd(HWND hWnd, size_t* pPosition) {
    TableReadLock lock;
    const auto& list = g_HookedWndList;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] != nullptr && list[i]->hWnd == hWnd) {
            if (pPosition != nullptr) *pPosition = i;
            return list[i];
        }
    }
    return nullptr;
}

bool FindPassOnTarget(HWND hWnd, WNDPROC* ppfnOldWndProc, bool* pbUnicode) {
    TableReadLock lock;
    for (const HookedWndInfo* pInfo : g_HookedWndList) {
        if (pInfo != nullptr && pInfo->hWnd == hWnd) {
            *ppfnOldWndProc = pInfo->pfnOldWndProc;
            *pbUnicode = (pInfo->dwFlags & kHookFlagUnicode) != 0;
            return true;
        }
    }
    return false;
}

HookedWndRef FindHookedWndRef(HWND hWnd, size_t* pPosition) {
    TableReadLock lock;
    const auto& list = g_HookedWndList;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] != nullptr && list[i]->hWnd == hWnd) {
            if (pPosition != nullptr) *pPosition = i;
            return HookedWndRef::Share(list[i]);
        }
    }
    return HookedWndRef();
}

void RestoreWndProc(HookedWndInfo* pInfo, BOOL bRemoveItem) {
    {
        // The menu worker reads the procedure under the record's lock.
        platform::SemaphoreLock lock(pInfo->hLock.get(), kRecordLockTimeoutMs);
        // Somebody who subclassed the window after us keeps their procedure;
        // taking ours out from under them would cut their chain.
        if (pInfo->pfnOldWndProc != nullptr && CurrentWndProc(pInfo) == HookProc) {
            ReplaceWndProc(pInfo->hWnd, (pInfo->dwFlags & kHookFlagUnicode) != 0, pInfo->pfnOldWndProc);
            pInfo->pfnOldWndProc = nullptr;
        }
    }
    if (bRemoveItem) hook_seams::pfnRemoveHookedItem(pInfo, TRUE);
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

size_t CountHookedWindows() {
    TableReadLock lock;
    return g_HookedWndList.size();
}

bool FindForwardOnlyWnd(HWND hWnd, WNDPROC* ppfnOldWndProc, bool* pbUnicode) {
    TableReadLock lock;
    for (const ForwardOnlyWnd& entry : g_ForwardOnlyList) {
        if (entry.hWnd == hWnd) {
            *ppfnOldWndProc = entry.pfnOldWndProc;
            *pbUnicode = entry.bUnicode;
            return true;
        }
    }
    return false;
}

void ForgetForwardOnlyWnd(HWND hWnd) {
    TableWriteLock lock;
    for (size_t i = 0; i < g_ForwardOnlyList.size(); ++i) {
        if (g_ForwardOnlyList[i].hWnd == hWnd) {
            g_ForwardOnlyList.erase(g_ForwardOnlyList.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

size_t CountForwardOnlyWindows() {
    TableReadLock lock;
    return g_ForwardOnlyList.size();
}

