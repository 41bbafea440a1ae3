// Searches in menus the module does not own.
#pragma once

#include <windows.h>

// True when an item with the command identifier uCommandId is in hMenu or in
// any of its submenus, however deep.
bool FindMenuCommand(HMENU hMenu, UINT uCommandId);
