// The module's trace: labels at the notable points of the hook code, sent to
// the debugger output when [PFCWatch] "Trace" is 1. The setting is read once
// when the module starts in a process; while it is off a label costs one test
// of a flag.
#pragma once

#include <windows.h>

extern bool g_bTraceEnabled;

// Reads [PFCWatch] "Trace" (default 0) into g_bTraceEnabled.
void LoadTraceSetting();

// "PVPFCW32 pid <process id> hwnd <window>: <label>" to OutputDebugStringA.
void WriteTrace(const char* pszLabel, HWND hWnd);

inline void Trace(const char* pszLabel, HWND hWnd) {
    if (g_bTraceEnabled) WriteTrace(pszLabel, hWnd);
}
