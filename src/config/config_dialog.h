// The configuration dialog: which served programs get the send command, and
// whether its menu items carry a picture. Reads its state from the profile
// and the shared include list; only OK writes, and only to the profile.
#pragma once

#include <windows.h>

constexpr UINT kIddConfig = 27020;
constexpr int kIdcIncludeList = 27130;
constexpr int kIdcExcludeList = 27131;
constexpr int kIdcMoveOneIn = 27132;
constexpr int kIdcMoveAllIn = 27133;
constexpr int kIdcMoveOneOut = 27134;
constexpr int kIdcMoveAllOut = 27135;
constexpr int kIdcBitmapMenu = 1056;
constexpr int kIdcTextMenu = 1057;

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
