// Which programs are hosts: the executable's name against the include list,
// and its host index in the module list.
#pragma once

#include <windows.h>

BOOL GetModuleName(char* pszModuleName, HWND hWnd);
// The upper-case file name of a module path; false for "KERNEL32.DLL".
BOOL ModuleNameFromPath(const char* pszPath, char* pszModuleName);
BOOL IsIncludedModule(const char* pszModuleName);
// The same rule for one include entry (a whole string, not the shared list).
BOOL IncludeEntryMatches(const char* pszEntry, const char* pszModuleName);
// Whether the process has a module of that name loaded; loads nothing.
BOOL IsLoadedModule(const char* pszModuleName);
// The position of the name in the module list, or -1.
int FindModuleListPosition(const char* pszModuleName);
