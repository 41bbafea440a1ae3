// Safe mode inside a host: the module tells its controller which process it
// serves and which faults its guards took, and stops serving a program the
// controller has put in quarantine. Every call here is cheap where it sits:
// a hooked window's message pays one comparison of a shared number while
// the quarantine list stays as it was.
#pragma once

#include <windows.h>

#include "hook/base/shared_state.h"

extern volatile LONG g_nSeenQuarantineGeneration;
extern volatile bool g_bProcessQuarantined;

// Reads the shared quarantine list again for this process's executable.
bool RecheckQuarantine();

inline bool IsProcessQuarantined() {
    if (g_SharedSection.nQuarantineGeneration != g_nSeenQuarantineGeneration) return RecheckQuarantine();
    return g_bProcessQuarantined;
}

// Once per process, when its first window has been hooked: the controller
// opens the process before this returns, so a host that dies the moment
// after is still seen to die.
void NoteServedProcess();
// After a guard took a fault (never inside the guarded call: the faulting
// code may hold any lock). A posted message, nothing allocated here.
void NoteGuardIncident(DWORD dwFaultCode);
