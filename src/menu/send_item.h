// Placing and removing the send item of a hooked window.
//
// Nothing is placed yet: AddHookedMenuItem reports that no item was placed,
// and RemoveHookedItem has nothing to take away. The hook core already calls
// both where the item comes and goes, so that placing it later changes
// nothing around them.
#pragma once

#include <windows.h>

struct HookedWndInfo;

BOOL AddHookedMenuItem(HookedWndInfo* pInfo);
void RemoveHookedItem(HookedWndInfo* pInfo, BOOL bRedraw);
