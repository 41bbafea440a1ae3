// The module's user-facing helpers: messages by string number from the
// resource module, the library-result check, shell launches, and the brand
// resource choice. Also the application identity that titles message boxes.
#pragma once

#include <windows.h>

#include "suite/library_error.h"
#include "resource_ids.h"

// Registry key and profile name of the application's registry profile, and
// the name shown as the title of message boxes.
void SetApplicationIdentity(const char* pszRegistryKey, const char* pszProfileName, const char* pszDisplayName);
const char* GetApplicationName();
const char* GetApplicationRegistryKey();
const char* GetApplicationProfileName();

// Loads string uId from the resource module, puts pszInsert1/pszInsert2 (null:
// empty) in place of %1/%2 and shows it. Returns the button pressed.
int ShowFormattedMessage(UINT uId, const char* pszInsert1, UINT uType, const char* pszInsert2 = nullptr);

// 0 gives true; 103006, 103015 and 103019 give false silently; every other
// code shows message 61704 and gives false.
BOOL CheckLibraryResult(LibraryErrorCode dwCode);

BOOL ShellOpenFile(HWND hWnd, const char* pszPath);
BOOL RunProgram(HWND hWnd, const char* pszPath, const char* pszParameters);

UINT GetBrandResourceId();
