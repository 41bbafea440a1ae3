// The configuration command: runs the dialog and applies what it changed to
// the running module, the shared hook included.
#pragma once

#include <windows.h>

#include "resource_ids.h"

struct HookedWndInfo;

// pInfo is the record of the window whose send command asked for the dialog,
// or null when the suite's controller asked for it.
void ConfigureHooking(HookedWndInfo* pInfo);

// Restarts Windows so that every program starts under the new settings.
// False when the privilege to do so could not be had.
bool RestartWindows();

extern "C" DWORD WINAPI VXPFCWConfig();
