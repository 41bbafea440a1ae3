// Start-up and exit of the module in each process that loads it, and the
// control operations on the shared hook.
#pragma once

#include <windows.h>

// Called from the module's entry point. Start-up returning false makes the
// entry point run the exit at once and refuse the load.
void OnModuleLoad(HINSTANCE hInstance);
bool StartModuleInProcess();
int ExitModuleInProcess();
void OnModuleUnload();

bool IsHookingEnabled();
void LoadIncludeList();
// Entry nIndex (from 0) of the module list; empty past its end.
const char* GetModuleEntry(int nIndex);

// Finds the suite's resource module ("PavRes32.dll", PavResGetInstance(4)).
HINSTANCE LoadSuiteResourceModule();

extern "C" DWORD WINAPI VXPFCWSetHooking(BOOL bHook, DWORD dwReserved1, DWORD dwReserved2, DWORD dwParam);
extern "C" LRESULT CALLBACK ShellProc(int nCode, WPARAM wParam, LPARAM lParam);
