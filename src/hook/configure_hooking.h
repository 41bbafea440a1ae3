// The configuration command: runs the dialog and applies what it changed to
// the running module, the shared hook included.
#pragma once

#include <windows.h>

struct HookedWndInfo;

// pInfo is the record of the window whose send command asked for the dialog,
// or null when the suite's controller asked for it.
void ConfigureHooking(HookedWndInfo* pInfo);

extern "C" DWORD WINAPI VXPFCWConfig();
