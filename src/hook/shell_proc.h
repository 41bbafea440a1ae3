// The window-created notification of the shared hook, and what it decides.
#pragma once

#include <windows.h>

// The decision ShellProc makes for a new top-level window, and the hooking;
// also taken for a window that becomes visible only after its creation.
void ChooseAndHookWindow(HWND hWnd);
