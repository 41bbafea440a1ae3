#include "hook/late_show.h"

#include <vector>

#include "hook/quarantine.h"
#include "hook/base/target_selection.h"
#include "hook/base/trace.h"
#include "platform/fault_guard.h"
#include "platform/module_pin.h"
#include "platform/no_destructor.h"
#include "platform/unique_handle.h"

namespace {

struct ShowWatch {
    HWND hWnd;
    DWORD dwThreadId;
    UINT_PTR uTimerId;
    DWORD dwStartTick;
    ShownHandler pfnOnShown;
};

SRWLOCK g_ShowWatchLock = SRWLOCK_INIT;
platform::NoDestructor<std::vector<ShowWatch>> g_ShowWatchStore;
std::vector<ShowWatch>& g_ShowWatches = *g_ShowWatchStore;

void CALLBACK OnShowWatchTick(HWND, UINT, UINT_PTR uTimerId, DWORD dwNow) {
    HWND hShown = nullptr;
    ShownHandler pfnOnShown = nullptr;
    {
        platform::ExclusiveSrwLock lock(g_ShowWatchLock);
        const DWORD dwThreadId = GetCurrentThreadId();
        for (size_t i = 0; i < g_ShowWatches.size(); ++i) {
            const ShowWatch& watch = g_ShowWatches[i];
            if (watch.dwThreadId != dwThreadId || watch.uTimerId != uTimerId) continue;
            const bool bShown = IsWindow(watch.hWnd) && IsWindowVisible(watch.hWnd);
            if (!bShown && IsWindow(watch.hWnd) && dwNow - watch.dwStartTick < kShowWatchLimitMs) return;
            if (bShown) {
                hShown = watch.hWnd;
                pfnOnShown = watch.pfnOnShown;
            }
            KillTimer(nullptr, uTimerId);
            g_ShowWatches.erase(g_ShowWatches.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    // The decision runs as at a window's creation: guarded, and with the
    // rules as they stand now (the window may have made its children since).
    if (hShown == nullptr) return;
    Trace("SHOWN TryToHookThisWnd", hShown);
    auto decide = [hShown, pfnOnShown] { pfnOnShown(hShown); };
    DWORD dwFaultCode = 0;
    if (!platform::RunFaultGuarded(decide, &dwFaultCode)) {
        Trace("ShellProc CAP_CATCH", hShown);
        NoteGuardIncident(dwFaultCode);
    }
}

}  // namespace

bool SystemNotifiesAtCreation() {
    static const bool bAtCreation = [] {
        HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
        return hNtdll != nullptr && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
    }();
    return bAtCreation;
}

bool WatchUntilShown(HWND hWnd, ShownHandler pfnOnShown) {
    if (!SystemNotifiesAtCreation()) return false;
    const DWORD dwThreadId = GetCurrentThreadId();
    if (GetWindowThreadProcessId(hWnd, nullptr) != dwThreadId) return false;
    platform::ExclusiveSrwLock lock(g_ShowWatchLock);
    for (const ShowWatch& watch : g_ShowWatches)
        if (watch.hWnd == hWnd) return false;
    // The timer calls into the module until it is killed.
    if (!platform::KeepModuleForProcess()) return false;
    const UINT_PTR uTimerId = SetTimer(nullptr, 0, kShowWatchIntervalMs, OnShowWatchTick);
    if (uTimerId == 0) return false;
    g_ShowWatches.push_back({hWnd, dwThreadId, uTimerId, GetTickCount(), pfnOnShown});
    Trace("WAIT TryToHookThisWnd", hWnd);
    return true;
}

void StopShowWatches() {
    platform::ExclusiveSrwLock lock(g_ShowWatchLock);
    const DWORD dwThreadId = GetCurrentThreadId();
    for (size_t i = g_ShowWatches.size(); i-- > 0;) {
        if (g_ShowWatches[i].dwThreadId != dwThreadId) continue;
        KillTimer(nullptr, g_ShowWatches[i].uTimerId);
        g_ShowWatches.erase(g_ShowWatches.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

size_t CountShowWatches() {
    platform::ExclusiveSrwLock lock(g_ShowWatchLock);
    return g_ShowWatches.size();
}
