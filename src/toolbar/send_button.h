// The send button of hosts whose commands live in tool bars: a small child
// window of class "TamblinBtn" in the host's tool bar, right of the host's
// own content, showing the brand bitmap (or title) and opening the send
// popup under itself when clicked.
#pragma once

#include <windows.h>

#include "hook/base/hook_names.h"
#include "hook/base/item_placer.h"

constexpr UINT kSendButtonId = 12661;

// The button's place in the tool bar's client coordinates: 30 pixels right of
// the rightmost occupied column of a strip captured from the screen, as wide
// and high as the record's bitmap. False when the tool bar is too narrow,
// holds no content, or has no room right of it. An existing button is
// collapsed first so that the capture does not see it.
bool PlaceSendButton(HookedWndInfo* pInfo, HWND hToolbar, RECT* pRect);

// Creates the button window for the record; none on failure.
HWND CreateSendButton(HookedWndInfo* pInfo, const char* pszTitle, UINT uId, const RECT& rect, HWND hParent);

LRESULT CALLBACK SendButtonWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Places the button of a button host: tool-bar host, bitmap, place, window;
// then the record's Print command and its fixed command identifiers. True
// when the record has a button afterwards (one it already had is kept).
BOOL CreateHookedButton(HookedWndInfo* pInfo);

// Takes the record's button away and clears hButtonWnd. The button forgets
// the record at once, so that nothing it receives later can reach a record
// that is gone; a button of another thread is asked to close on its own
// thread, where alone it can be destroyed.
void DestroySendButton(HookedWndInfo* pInfo);

// The button and the record's send-item part go.
void RemoveHookedButton(HookedWndInfo* pInfo, BOOL bRedraw);
// The button follows the tool bar: moved right of what the bar shows now,
// made anew in a bar that replaced its own, taken away with a bar that went.
void RefreshHookedButton(HookedWndInfo* pInfo);

extern const ItemPlacer kSendButtonPlacer;

// Gives the class back when the module leaves the process: the system keeps
// a module's classes registered after the module is unloaded.
void UnregisterSendButtonClass();
