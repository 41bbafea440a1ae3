// The floors of the hook's figures: a library built like PVPFCW32.dll that
// does nothing when it is loaded or unloaded, and whose shell hook procedure
// only passes each notification on.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" __declspec(dllexport) LRESULT CALLBACK FloorShellProc(int nCode, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}
