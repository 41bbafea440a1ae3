#include "hook/hooked_wnd.h"
#include "hook/late_show.h"
#include "hook/hooked_wnd_table.h"
#include "hook/target_selection.h"
#include "hook/module_lifetime.h"
#include "hook/shared_state.h"
#include "hook/trace.h"
#include "platform/fault_guard.h"

void ChooseAndHookWindow(HWND hWnd) {
    char szModuleName[kPathSize] = {};
    if (!GetModuleName(szModuleName, hWnd)) return;
    // On the NT family a module that the process does not have loaded
    // under its own name is not one we can serve.
    if (GetVersion() < 0x80000000u && !IsLoadedModule(szModuleName)) return;
    const int nModule = GetModuleIndex(hWnd, szModuleName);
    if (nModule == kHostNotHooked) return;
    if (!IsWindowVisible(hWnd) && WatchUntilShown(hWnd)) return;
    TryToHookThisWnd(hWnd, nModule);
}

// Runs in every process that creates a top-level window while the hook is in
// place: whatever happens while a window is classified, the notification
// goes on to the next hook.
extern "C" LRESULT CALLBACK ShellProc(int nCode, WPARAM wParam, LPARAM lParam) {
    if (nCode == HSHELL_WINDOWCREATED) {
        HWND hWnd = reinterpret_cast<HWND>(wParam);
        auto decide = [hWnd] { ChooseAndHookWindow(hWnd); };
        if (!platform::RunFaultGuarded(decide)) Trace("ShellProc CAP_CATCH", hWnd);
    }
    return CallNextHookEx(g_ShellHook, nCode, wParam, lParam);
}
