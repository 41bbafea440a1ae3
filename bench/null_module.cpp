// The floor of the module's start-up: a library built like PVPFCW32.dll that
// does nothing when it is loaded or unloaded.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
