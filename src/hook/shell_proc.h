// The window-created notification of the shared hook, and what it decides.
#pragma once

#include <windows.h>

// The decision ShellProc makes for a new top-level window, and the hooking;
// also taken for a window that becomes visible only after its creation.
void ChooseAndHookWindow(HWND hWnd);

extern "C" LRESULT CALLBACK ShellProc(int nCode, WPARAM wParam, LPARAM lParam);

// The suite controller's switch of the shared hook; dwParam is kept in the
// shared section for the suite's programs.
extern "C" DWORD WINAPI VXPFCWSetHooking(BOOL bHook, DWORD dwReserved1, DWORD dwReserved2, DWORD dwParam);
