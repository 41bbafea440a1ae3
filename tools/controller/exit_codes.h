// What pfcctl answers, so that scripts and the installer can tell a refusal
// from a failure. Every non-zero code comes with a line on stderr.
#pragma once

namespace controller {

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,           // unknown or missing switch
    kExitModuleMissing = 2,   // the module (or the 64-bit controller) beside this program cannot be loaded or started
    kExitAlreadyHooked = 3,   // --hook while a controller of the same bitness holds the hook
    kExitNoController = 4,    // --unhook with no controller running
    kExitNotEnded = 5,        // a controller asked to end did not end in time
    kExitHookingOff = 6,      // --hook while the profile switches hooking off
    kExitHookRefused = 7,     // the system did not install the shell hook
    kExitTwinFailed = 8,      // the 64-bit twin did not install its hook in time (a twin that ended says why, with its own code)
    kExitSystemFailure = 9,   // a window, mutex, process or file operation failed
    kExitNotQuarantined = 10, // --release NAME: the program has no incidents recorded
};

}  // namespace controller
