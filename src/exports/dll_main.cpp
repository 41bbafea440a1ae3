// Entry point of PVPFCW32.dll. It runs under the system's loader lock in
// every process the hook reaches: it records the instance and nothing more.
// Loading a library, a window or a box, a file or a registry key here would
// block every other thread of the host on its next thread start or library
// load; the start-up runs on the first call into the module instead
// (module_lifetime.h).
#include <windows.h>

#include "hook/module_lifetime.h"
#include "platform/fault_guard.h"

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pvReserved) {
    switch (dwReason) {
        case DLL_PROCESS_ATTACH:
            DisableThreadLibraryCalls(hInstance);
            OnModuleLoad(hInstance);
            return TRUE;
        case DLL_PROCESS_DETACH:
            // At process termination other threads are gone, possibly holding
            // locks, and the heap may be in any state: nothing is given back
            // and no lock is taken. Most processes the hook reaches never
            // started anything, and pay nothing here either.
            if (pvReserved == nullptr) {
                if (ModuleStartedInProcess()) {
                    ExitModuleInProcess();
                    OnModuleUnload();
                }
                // A slot kept would be lost for good: the hook loads and
                // unloads the module many times in a long-lived process.
                platform::ReleaseFaultGuardSlot();
            }
            return TRUE;
        default:
            return TRUE;
    }
}
