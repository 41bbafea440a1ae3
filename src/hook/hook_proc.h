// The subclass procedure of hooked host windows.
#pragma once

#include <windows.h>

// Sent by browser hosts of index 0 when they rebuild their menu.
constexpr UINT kMsgHostMenuRebuilt = WM_USER + 2;

extern "C" LRESULT CALLBACK HookProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Puts HookProc in front of the host window's own procedure (see
// HookThisWnd for which windows qualify).
void TryToHookThisWnd(HWND hWnd, int nModule);
