// Every name the module shares with other processes through the system:
// registered window messages, named mutexes and window classes. The module,
// the controller, the sample hosts and the tests all take them from here.
// (The refresh message's name travels in the shared section.)
#pragma once

// Told to every top-level window when the hook is removed: windows of other
// processes are unhooked on it. The system would unload the module from those
// processes, whose exit gives their windows back; Wine keeps a hook's module
// loaded after the hook is gone, so we say it ourselves.
constexpr char kHookRemovedMessageName[] = "PvPfcW32.HookRemoved";

// Told to every top-level window when the user switches hooking off in the
// settings: the controllers of both bitnesses take their hooks out and end.
// The module of one bitness cannot remove the other one's hook itself.
constexpr char kHookingOffMessageName[] = "PvPfcW32.HookingOff";

// Answered by HookProc for the sample hosts and the tests: whether and how a
// window is hooked, without a way through the module's exports.
constexpr char kTestQueryMessageName[] = "PvPfcW32.TestQuery";

// The menu worker asks the window's own thread to place the item with it.
constexpr char kPlaceItemMessageName[] = "PvPfcW32.PlaceItem";

// Held while the hook is installed: one installation at a time, and the sign
// for others that the hook is in.
constexpr char kSetHookingMutexName[] = "VXPFCWSetHooking";

// Held while the default printer is switched for a send, by any process.
constexpr char kPrinterSwitchMutexName[] = "PvPfcW32.DefaultPrinterSwitch";

// The send button's window class.
constexpr char kSendButtonClass[] = "TamblinBtn";

// The hidden window of the controller of each bitness; a host's module
// talks to the controller of its own bitness only.
constexpr char kControllerWindowClass32[] = "TellarineSendController";
constexpr char kControllerWindowClass64[] = "TellarineSendController64";
// Held by the running controller of each bitness: one per session.
constexpr char kControllerMutexName32[] = "TellarineSendController.32";
constexpr char kControllerMutexName64[] = "TellarineSendController.64";
constexpr const char* OwnControllerWindowClass() {
    return sizeof(void*) == 8 ? kControllerWindowClass64 : kControllerWindowClass32;
}

// Safe mode's notes from a host's module to its controller. wParam: the
// host's process id. "Served" is sent once per process, when its first
// window is hooked, and answered once the controller holds the process, so
// that even a host dying the moment after is seen to die; "guard incident"
// is posted after a fault guard took a fault, lParam: the fault's code.
constexpr char kServedProcessMessageName[] = "PvPfcW32.ServedProcess";
constexpr char kGuardIncidentMessageName[] = "PvPfcW32.GuardIncident";

// Held while a program's incidents are changed, by a controller of either
// bitness, the settings or pfcctl --release.
constexpr char kSafeModeMutexName[] = "PvPfcW32.SafeMode";
