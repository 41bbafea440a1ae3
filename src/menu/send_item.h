// Placing the send item of a hooked window and taking it away: the send
// popup at the end of a menu host's menu bar, or the button of a button host.
#pragma once

#include <windows.h>

struct HookedWndInfo;

// The executable that gets a fixed Print command instead of a looked-up one.
constexpr char kFixedPrintHostName[] = "KESTRUNE.EXE";
constexpr UINT kFixedPrintHostCommand = 1106;

// The host's own Print command: fixed for one host, else looked up by the
// names configured for the host's section.
UINT LookUpPrintCmd(const char* pszModuleName, const char* pszHostSection, HMENU hMenu);

// False, with the host's menu as it was, when the item cannot be placed now;
// the refresh tries again later.
BOOL AddHookedMenuItem(HookedWndInfo* pInfo);
void RemoveHookedItem(HookedWndInfo* pInfo, BOOL bRedraw);
