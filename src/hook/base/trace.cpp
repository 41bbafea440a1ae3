#include "hook/base/trace.h"

#include <cstdio>

bool g_bTraceEnabled = false;
bool g_bDiagnosticsEnabled = false;

void WriteTrace(const char* pszLabel, HWND hWnd) {
    char szLine[160];
    std::snprintf(szLine, sizeof szLine, "PVPFCW32 pid %lu hwnd %p: %s\n", GetCurrentProcessId(),
                  static_cast<void*>(hWnd), pszLabel);
    // The caller's last error may still be read after the label.
    const DWORD dwError = GetLastError();
    OutputDebugStringA(szLine);
    SetLastError(dwError);
}
