// The host index of a window: its program's place in the module list, checked
// against the window-class probes of the tool-bar hosts.
#pragma once

#include <windows.h>

int GetModuleIndex(HWND hWnd, const char* pszModuleName);
