#include "hook/module_lifetime.h"
#include "hook/shared_state.h"
#include "platform/fault_guard.h"

extern "C" LRESULT CALLBACK ShellProc(int nCode, WPARAM wParam, LPARAM lParam) {
    if (nCode == HSHELL_WINDOWCREATED) {
        auto decide = [&] {
            // Host selection for the new window runs here, inside the guard.
        };
        platform::RunFaultGuarded(decide);
    }
    return CallNextHookEx(g_ShellHook, nCode, wParam, lParam);
}
