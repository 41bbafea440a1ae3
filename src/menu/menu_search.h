// Searches and edits in menus the module does not own: finding a command,
// choosing free command identifiers, renaming template items, and finding a
// host's own commands by their configured names.
#pragma once

#include <windows.h>

#include <string>

// True when an item with the command identifier uCommandId is in hMenu or in
// any of its submenus, however deep. On a match *phFoundMenu is hMenu itself
// and *pnFoundPos the position of the top-level item that holds the command,
// directly or in a submenu.
bool FindMenuCommand(HMENU hMenu, UINT uCommandId, HMENU* phFoundMenu = nullptr, int* pnFoundPos = nullptr);

// *puSlot becomes the first identifier from uBaseId upwards that the host's
// menu does not use and that is none of the identifiers in aTaken (those
// already given to other send commands of the same window), so no two
// commands of a window ever share one.
void AllocMenuCommandID(HMENU hMenu, UINT uBaseId, UINT* puSlot, const UINT* aTaken, size_t nTaken);

// Gives the item uOldId (searched by command) the identifier uNewId, keeping
// its text. An item without text keeps its identifier.
bool RenameMenuCommand(HMENU hMenu, UINT uOldId, UINT uFlags, UINT uNewId);

// The value of [PFCWatch] pszWatchKey (when given) followed by the values of
// the section's keys stem1, stem2, ... up to the first missing or empty one.
bool ReadNumberedList(const char* pszWatchKey, const char* pszSection, const char* pszStem, std::string* pList);

// The identifier of the first item, depth first, whose text (up to a TAB,
// letters and blanks only) equals one of the comma-ended names of the list,
// ignoring case. 0 when none does.
UINT FindCommandByNames(HMENU hMenu, const std::string& names);

// The host's own Print command in hMenu, by the names configured for it.
UINT FindPrintCmd(const char* pszHostSection, HMENU hMenu);
