// Entry point of PVPFCW32.dll: every process that loads the module runs its
// start-up here, and its exit when the module leaves the process.
#include <windows.h>

#include "hook/module_lifetime.h"

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pvReserved) {
    switch (dwReason) {
        case DLL_PROCESS_ATTACH:
            DisableThreadLibraryCalls(hInstance);
            OnModuleLoad(hInstance);
            if (!StartModuleInProcess()) {
                ExitModuleInProcess();
                OnModuleUnload();
                return FALSE;
            }
            return TRUE;
        case DLL_PROCESS_DETACH:
            // At process termination other threads are gone and the heap may
            // be in any state: leave the cleanup to the system.
            if (pvReserved == nullptr) {
                ExitModuleInProcess();
                OnModuleUnload();
            }
            return TRUE;
        default:
            return TRUE;
    }
}
