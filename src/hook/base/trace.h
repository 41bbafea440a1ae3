// The module's diagnostics. The trace: labels at the notable points of the
// hook code, sent to the debugger output when [PFCWatch] "Trace" is 1. The
// test query (kTestQueryMessageName), answered only when [PFCWatch]
// "Diagnostics" is 1: the sample hosts, the demo and the tests ask it; a
// module that answered it everywhere would let any process make a host's UI
// thread build a popup and wait on the asker. Both settings are read once
// when the module starts in a process; while off each costs one test of a
// flag.
#pragma once

#include <windows.h>

extern bool g_bTraceEnabled;
extern bool g_bDiagnosticsEnabled;

// Set by LoadDiagnosticSettings (config/profile.h) from the profile, so that
// the trace itself reads nothing.

// "PVPFCW32 pid <process id> hwnd <window>: <label>" to OutputDebugStringA.
void WriteTrace(const char* pszLabel, HWND hWnd);

inline void Trace(const char* pszLabel, HWND hWnd) {
    if (g_bTraceEnabled) WriteTrace(pszLabel, hWnd);
}
