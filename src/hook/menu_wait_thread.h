// The menu worker: puts the send item back after a host rebuilt its menu.
#pragma once

#include <windows.h>

struct HookedWndInfo;

// Results: 0, or one of these.
constexpr DWORD kMenuWaitGone = static_cast<DWORD>(-3);
constexpr DWORD kMenuWaitNoMenu = static_cast<DWORD>(-4);
constexpr DWORD kMenuWaitUnhooked = static_cast<DWORD>(-6);
constexpr int kMenuWaitAttempts = 20;
constexpr DWORD kMenuWaitIntervalMs = 250;
DWORD MenuWaitThread(HookedWndInfo* pInfo);
// The worker asks the window's own thread to place the item, with
// g_uPlaceItemMsg; what it answers is whether the item was placed.
BOOL PlaceItemForMenuWorker(HookedWndInfo* pInfo);
// Starts the worker on its own thread with references to the record and to
// this module, so neither can go away under it. False when no thread runs.
bool StartMenuWaitThread(HookedWndInfo* pInfo, DWORD* pdwThreadId = nullptr);
