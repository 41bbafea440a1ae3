// pfcctl --hook: installs the shell hook of this program's bitness and keeps
// it while the program runs. On a 64-bit system the 32-bit controller also
// starts its 64-bit twin, which holds the 64-bit hook for as long as the
// first controller lives.
#pragma once

#include <windows.h>

namespace controller {

// The twin is told which process to outlive and which event to set once its
// hook is in; both handles are inherited from the first controller.
struct TwinLink {
    HANDLE hParentProcess = nullptr;
    HANDLE hReadyEvent = nullptr;
};

int RunHooked(const TwinLink* pLink);

// Parses "<parent process> <ready event>" handle values of the twin's command line.
bool ParseTwinLink(const char* pszParent, const char* pszReady, TwinLink* pLink);

}  // namespace controller
