// What a sample host answers when a test asks it about its main window: whether
// the window's procedure now lies in PVPFCW32.dll, and the host index (or the
// number of hooked windows of the process) the module reports for it.
#pragma once

#include <windows.h>

namespace host_report {

// Sent to the host's main window. wParam: kAskIdentity or kAskRecordCount.
constexpr UINT kReportMessage = WM_APP + 0x50;
constexpr WPARAM kAskIdentity = 0;
constexpr WPARAM kAskRecordCount = 1;
// Asks what send item the host shows: Value() is the number of items of the
// send popup at the end of its menu bar, kSendButton when a send button sits
// in its tool bar, 0 when it shows none.
constexpr WPARAM kAskSendItem = 2;
constexpr int kSendButton = 0x7FFF;
// Makes the host open or close a second top-level window (with a menu bar).
constexpr UINT kOpenSecondWindow = WM_APP + 0x51;
constexpr UINT kCloseSecondWindow = WM_APP + 0x52;
// Posted to a host started with "--crash-on-request": its message loop, its
// own code, makes an access fault that nobody handles, and the process dies
// of it.
constexpr UINT kCrashNow = WM_APP + 0x53;

// Bits of the answer.
constexpr LRESULT kValid = 0x20000000;
constexpr LRESULT kProcInModule = 0x10000000;
constexpr LRESULT kModuleAnswered = 0x08000000;
constexpr LRESULT kModuleInProcess = 0x04000000;  // PVPFCW32.dll is loaded in the host at all

inline bool ProcInModule(LRESULT lAnswer) { return (lAnswer & kProcInModule) != 0; }
inline bool Hooked(LRESULT lAnswer) { return (lAnswer & kModuleAnswered) != 0; }
inline bool ModuleInProcess(LRESULT lAnswer) { return (lAnswer & kModuleInProcess) != 0; }
// Host index, or the record count when that was asked.
inline int Value(LRESULT lAnswer) { return static_cast<short>(lAnswer & 0xFFFF); }
inline DWORD Flags(LRESULT lAnswer) { return static_cast<DWORD>((lAnswer >> 16) & 0xFF); }

}  // namespace host_report
