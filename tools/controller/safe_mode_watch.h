// Safe mode in the controller, which runs for the whole hook session: it
// learns from the module which processes it serves (the module tells it when
// it hooks a process's first window), holds each of those processes and
// reads its exit code when it ends, takes the module's notes of faults its
// guards caught, records the incidents, and publishes the quarantine list
// into the block the module shares with every host.
#pragma once

#include <windows.h>

#include <string>

#include "hook/base/shared_state.h"

namespace controller {

// How often ended processes are looked for.
constexpr UINT kSafeModeWatchPeriodMs = 1000;

// Starts the watch on the controller's window; pShared is the block the
// quarantine list is published into.
bool StartSafeModeWatch(HWND hWnd, SharedSection* pShared);
// The window's messages that belong to the watch; true when handled.
bool OnSafeModeMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* plResult);
// Writes the switch and the quarantine list of the profile and the store into
// the block; the list (and its generation) only when it changed.
void PublishSafeMode(SharedSection* pShared, const std::string& profile);

}  // namespace controller
