// Keeping this module loaded while code outside it can still call into it.
//
// On Windows the system unloads a hook's module from a process once the hook
// is removed, whatever still points into it: a window somebody subclassed
// after us keeps calling our window procedure, a modal loop started under a
// procedure of ours (a popup of the send button, a host's print dialog)
// returns into it, a timer or a button window calls it. A count of calls
// under way cannot make the unload safe: a caller that has counted itself
// out still has its epilogue to run in our code, and the system gives no
// bound on how long a thread may wait for the processor before it runs it.
//
// So once the module has given the process a way to call it on its own (a
// subclassed window, a timer, a window class, a worker thread), it stays
// loaded until the process ends. A process that never shows a host keeps
// only the hook's own reference and lets the module go with the hook.
#pragma once

#include <windows.h>

namespace platform {

// Pins this module for the rest of the process's life; cheap after the
// first call. False when the system refused, which leaves the module as it
// was (still loaded by whoever loaded it).
bool KeepModuleForProcess();
bool IsModuleKeptForProcess();

}  // namespace platform
