// The send item of a menu host: the send popup at the end of its menu bar,
// placed, taken away and put back at the end when the host changes its bar.
#pragma once

#include <windows.h>

#include "hook/base/item_placer.h"

// The executable that gets a fixed Print command instead of a looked-up one.
constexpr char kFixedPrintHostName[] = "KESTRUNE.EXE";
constexpr UINT kFixedPrintHostCommand = 1106;

// The host's own Print command: fixed for one host, else looked up by the
// names configured for the host's section.
UINT LookUpPrintCmd(const char* pszModuleName, const char* pszHostSection, HMENU hMenu);

// False, with the host's menu as it was, when the item cannot be placed now;
// the refresh tries again later.
BOOL AddHookedMenuItem(HookedWndInfo* pInfo);
void RemoveHookedMenuItem(HookedWndInfo* pInfo, BOOL bRedraw);
// The host replaced its menu bar or added or took items: ours goes back to
// the end.
void RefreshHookedMenuItem(HookedWndInfo* pInfo);

extern const ItemPlacer kSendPopupPlacer;
