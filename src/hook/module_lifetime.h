// Start-up and exit of the module in each process that loads it, and the
// control operations on the shared hook.
#pragma once

#include <windows.h>

#include "hook/base/process_name.h"

// The module's entry point runs under the system's loader lock: it only
// records the instance. Everything else starts on the first call from
// outside, once per process, whichever entry point comes first.
void OnModuleLoad(HINSTANCE hInstance);
// What a served window or a suite program's call needs, once per process:
// resource module, library start, profile path, the distributor's set, the
// lists. False when the module does nothing in this process (no resource
// module, or [PFCModules] empty, which is said once with message 61733).
bool EnsureModuleServing();
// An export called by a suite program: the same start-up; false only when it
// refused for an empty program list, where the call does nothing.
bool StartForSuiteProgram();
// The registered messages and the library's frame; part of the start-up,
// also called by programs that run the module's code linked in.
void InitializeModuleState();
// The start-up itself; false when it refused. Exit gives back what it took.
bool StartModuleInProcess();
int ExitModuleInProcess();
void OnModuleUnload();
// Whether the start-up took anything in this process: a process the hook
// reached but never served has nothing to give back when the module leaves.
bool ModuleStartedInProcess();

bool IsHookingEnabled();
void LoadIncludeList();

// Finds the suite's resource module ("PavRes32.dll", PavResGetInstance(4)).
HINSTANCE LoadSuiteResourceModule();

// The shared hook of this bitness, with the mutex that tells the suite's
// programs it is in place. Removing it gives every window of this process
// back and tells the other processes to do the same.
void InstallShellHook(HOOKPROC pfnShellProc);
void RemoveShellHook();
