#include "platform/module_pin.h"

namespace platform {
namespace {

volatile LONG g_bKept = FALSE;

}  // namespace

bool KeepModuleForProcess() {
    if (g_bKept) return true;
    const DWORD dwLastError = GetLastError();
    HMODULE hModule = nullptr;
    // A pinned module ignores every later FreeLibrary, the system's own
    // unloading of the hook's module included.
    const bool bPinned =
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCSTR>(reinterpret_cast<void*>(&KeepModuleForProcess)), &hModule) != FALSE;
    if (bPinned) InterlockedExchange(&g_bKept, TRUE);
    SetLastError(dwLastError);
    return bPinned;
}

bool IsModuleKeptForProcess() { return g_bKept != FALSE; }

}  // namespace platform
