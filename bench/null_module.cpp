// The floors of the hook's figures: a library built like PVPFCW32.dll that
// does nothing when it is loaded or unloaded, and whose shell hook procedure
// only passes each notification on. Built a second time with a shared data
// section of the module's size, to show what that section alone costs a load.
#include <windows.h>

#ifdef PFC_FLOOR_WITH_SHARED_SECTION
#include "exports/shared_section.h"
#include "hook/base/shared_state.h"

PFC_SHARED_VARIABLE SharedSection g_FloorShared = {};
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" __declspec(dllexport) LRESULT CALLBACK FloorShellProc(int nCode, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}
