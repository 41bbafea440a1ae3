// Programs that create their main window hidden and show it afterwards.
// Windows tells a shell hook about a new top-level window when it is first
// shown; Wine tells it when CreateWindowEx ends, before such a program shows
// anything, so the window would fail the visibility test and never be served.
// Under Wine a host window still hidden at its notification is therefore
// looked at again once it is shown, for a few seconds at most, on the
// window's own thread (a one-shot thread timer per window, ticking until the
// window shows, goes, or the time is up). On Windows nothing is watched.
#pragma once

#include <windows.h>

#include <cstddef>

constexpr DWORD kShowWatchIntervalMs = 100;
constexpr DWORD kShowWatchLimitMs = 5000;

// The second look: the decision made at a window's creation, taken again.
using ShownHandler = void (*)(HWND hWnd);

// Arranges the second look for a hidden window of the calling thread, run
// guarded once it shows; false when none was arranged (a system that
// notifies at the first show, another thread's window, or one already
// watched).
bool WatchUntilShown(HWND hWnd, ShownHandler pfnOnShown);

// Ends the watches of the calling thread; run when the module leaves the
// process. A watch of another thread cannot be ended from here: its timer
// belongs to that thread. The module only leaves a process after the hook is
// removed, and Wine, the one system that watches, keeps it loaded then.
void StopShowWatches();

size_t CountShowWatches();

// True on systems that notify at window creation rather than at first show.
bool SystemNotifiesAtCreation();
