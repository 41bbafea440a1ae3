// The window-tree probes that recognise hosts whose commands live in tool
// bars (browser-like and Office-like programs) and find the window that is to
// own the send button. They look only at class names, window texts and
// visibility.
#pragma once

#include <windows.h>

#include "hook/base/hooked_wnd.h"

// A direct child of class "Worker" whose parent is the window itself.
bool HasWorkerChild(HWND hWnd);
// A direct child of class "Shell DocObject View".
bool HasDocObjectView(HWND hWnd);
// The first descendant of class "MsoCommandBarDock", "EXCEL2" or "MDIClient".
HWND FindCommandBarDock(HWND hWnd);
// The first descendant of class "ReBarWindow32".
HWND FindReBar(HWND hWnd);
// The window that is to own the send button: for a browser-type host the last
// "ToolbarWindow32" below its rebar (the rebar itself when it holds none, no
// host without a rebar); otherwise the first visible descendant whose text
// contains "Menu Bar".
HWND FindToolbarHost(const HookedWndInfo* pInfo);
