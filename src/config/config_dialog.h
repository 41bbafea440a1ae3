// The configuration dialog: which served programs get the send command, and
// whether its menu items carry a picture. Reads its state from the profile
// and the shared include list; only OK writes, and only to the profile.
#pragma once

#include <windows.h>

#include "resource_ids.h"

// Flags of SetControlState.
constexpr UINT kControlEnable = 0x10;   // enabled state := bit 0x1
constexpr UINT kControlShow = 0x20;     // shown := bit 0x1
constexpr UINT kControlLabelToo = 0x1000;  // the same for the window before it
constexpr UINT kControlOn = 0x1;

void SetControlState(HWND hControl, UINT uFlags);
void SetControlStates(HWND hDialog, const int* pnIds /*zero-terminated*/, UINT uFlags);

void MoveListEntry(HWND hDialog, int nFromId, int nToId);
void MoveAllListEntries(HWND hDialog, int nFromId, int nToId);
void UpdateMoveButtons(HWND hDialog);

// Runs dialog 27020 of the resource module modally; IDOK when the settings
// were written. pszModuleName is the calling program's name (may be empty).
INT_PTR RunConfigDialog(HWND hOwner, const char* pszModuleName);
