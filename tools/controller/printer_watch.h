// The user's default printer while hosts print through a send printer: a
// host that dies in its Print command (ended from outside, crashed, the
// session ending) never puts the default back itself. The controller runs
// for the whole hook session and repairs it for them.
#pragma once

#include <windows.h>

namespace controller {

// How often the switches of ended hosts are looked for: the default is back
// within this and the time the record's lock may take.
constexpr UINT kPrinterWatchPeriodMs = 1000;

// Starts the watch on the controller's window.
bool StartPrinterWatch(HWND hWnd);
// The window's messages that belong to the watch; true when handled.
bool OnPrinterWatchMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

}  // namespace controller
