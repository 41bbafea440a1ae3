// The executable's name, which every entry point needs first: it decides
// whether this process is a host at all.
#pragma once

#include <windows.h>

// Every entry point: the executable's name, taken once. Loads nothing, reads
// no file or registry value.
void EnsureModuleStarted();
// The upper-case executable name of this process; null for "KERNEL32.DLL".
const char* ProcessModuleName();
