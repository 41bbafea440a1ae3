// What the demo learns of a program's send item from the module inside that
// program (menus of another process cannot be read under Wine), and the
// person's acts on it: a click that opens the popup, Escape that closes it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace demo {

struct HostState {
    bool bHooked = false;
    int nIndex = -1;
    DWORD dwFlags = 0;
};

// The module's answer for the window now.
HostState AskHostState(HWND hWnd);
// Waits a little for the module to take the window (a program that shows its
// window after creating it is looked at when it shows).
HostState WaitForHostState(HWND hWnd, const char* pszName);

struct PopupLine {
    int nDepth;
    UINT uId;  // 0 for a submenu or separator
    bool bSeparator;
    bool bGrayed;
    std::string text;
};

struct SendItemView {
    bool bValid = false;
    bool bButton = false;  // a send button rather than a menu bar item
    RECT rcItem = {};      // on the screen: the menu bar item or the button
    std::vector<PopupLine> lines;
    // The command at a position of the record's table, 0 when none.
    UINT aCmdID[18] = {};
};

SendItemView AskSendItem(HWND hHost);

// Clicks the middle of the rectangle as a person would and waits for a popup
// menu of the host's thread to show; null when none showed.
HWND OpenByClick(HWND hHost, const RECT& rcItem);
// Presses Escape until the host's menus are closed.
void CloseMenus(HWND hHost);

}  // namespace demo
