#include "hook/shell_proc.h"

#include "hook/hook_proc.h"
#include "hook/base/hooked_wnd.h"
#include "hook/late_show.h"
#include "hook/host_index.h"
#include "hook/base/target_selection.h"
#include "hook/module_lifetime.h"
#include "hook/quarantine.h"
#include "hook/base/shared_state.h"
#include "hook/base/trace.h"
#include "platform/fault_guard.h"

namespace {

// The host index of a new window, from the lists already in the shared
// section and the executable's name taken once: no file, no registry value,
// nothing loaded.
int ClassifyWindow(HWND hWnd) {
    const char* pszModuleName = ProcessModuleName();
    if (pszModuleName == nullptr) return kHostNotHooked;
    const int nModule = GetModuleIndex(hWnd, pszModuleName);
    if (nModule == kHostNotHooked) return kHostNotHooked;
    // Asked of hosts only: the no-match path stays as it was.
    if (IsProcessQuarantined()) return kHostNotHooked;
    // On the NT family a module that the process does not have loaded
    // under its own name is not one we can serve.
    if (GetVersion() < 0x80000000u && !IsLoadedModule(pszModuleName)) return kHostNotHooked;
    return nModule;
}

void HookChosenWindow(HWND hWnd, int nModule) {
    if (!IsWindowVisible(hWnd) && WatchUntilShown(hWnd, ChooseAndHookWindow)) return;
    TryToHookThisWnd(hWnd, nModule);
}

}  // namespace

void ChooseAndHookWindow(HWND hWnd) {
    const int nModule = ClassifyWindow(hWnd);
    if (nModule == kHostNotHooked || !EnsureModuleServing()) return;
    HookChosenWindow(hWnd, nModule);
}

// Runs in every process that creates a top-level window while the hook is in
// place: whatever happens while a window is classified, the notification
// goes on to the next hook. The start-up for a served window runs between
// the two guarded steps, so that a fault never leaves its one-time lock
// behind.
extern "C" LRESULT CALLBACK ShellProc(int nCode, WPARAM wParam, LPARAM lParam) {
    if (nCode == HSHELL_WINDOWCREATED) {
        HWND hWnd = reinterpret_cast<HWND>(wParam);
        int nModule = kHostNotHooked;
        auto classify = [hWnd, &nModule] { nModule = ClassifyWindow(hWnd); };
        DWORD dwFaultCode = 0;
        if (!platform::RunFaultGuarded(classify, &dwFaultCode)) {
            Trace("ShellProc CAP_CATCH", hWnd);
            NoteGuardIncident(dwFaultCode);
        } else if (nModule != kHostNotHooked && EnsureModuleServing()) {
            auto hook = [hWnd, nModule] { HookChosenWindow(hWnd, nModule); };
            if (!platform::RunFaultGuarded(hook, &dwFaultCode)) {
                Trace("ShellProc CAP_CATCH", hWnd);
                NoteGuardIncident(dwFaultCode);
            }
        }
    }
    return CallNextHookEx(g_ShellHook, nCode, wParam, lParam);
}

extern "C" DWORD WINAPI VXPFCWSetHooking(BOOL bHook, DWORD, DWORD, DWORD dwParam) {
    g_dwHookParam = dwParam;
    // A suite program's call: the whole start-up, outside the loader lock.
    // Where it refused for an empty program list, nothing is installed, as
    // when the module refused to load.
    const bool bRefused = !StartForSuiteProgram();
    if (bHook && !bRefused && IsHookingEnabled())
        InstallShellHook(ShellProc);
    else
        RemoveShellHook();
    return 0;
}
