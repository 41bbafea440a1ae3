// Keeping the send item in place while a host changes its menu bar or its
// tool bar: bursts of triggering messages start one timer, whose posted
// message runs one refresh on the window's own thread.
#pragma once

#include <windows.h>

#include "hook/base/message_handler.h"

struct HookedWndInfo;

constexpr UINT_PTR kRefreshTimerId = 9999;
constexpr UINT kRefreshTimerPeriodMs = 1250;

extern "C" void CALLBACK TimerProc32(HWND hWnd, UINT uMsg, UINT_PTR uIdEvent, DWORD dwTime);

void StartRefreshTimer(HookedWndInfo* pInfo);
void KillRefreshTimer(HookedWndInfo* pInfo);

// One refresh at a time in the process, by the record's placer.
void RefreshHookedItem(HookedWndInfo* pInfo);

// Handlers of HookProc's table.
bool OnRefreshMessage(const HookMessage& message, LRESULT* plResult);
bool OnSizeChanged(const HookMessage& message, LRESULT* plResult);
// WM_SETTEXT, WM_SETCURSOR, WM_NCHITTEST: a button host still waiting for
// its tool bar is looked at again.
bool OnButtonHostActivity(const HookMessage& message, LRESULT* plResult);
