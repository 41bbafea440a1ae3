// The parts every sample host shares: its command line, the Print command that
// records the default printer, the answer to a test's report request, and the
// message loop.
#pragma once

#include <windows.h>

#include <string>

namespace host {

constexpr UINT kIdPrint = 101;
constexpr UINT kIdExit = 102;
// The text of the document that "--print-page=<title>" prints.
constexpr char kDocumentText[] = "Sample document of the menu host, printed through the send command.";

// True when the command line holds the switch (e.g. "--no-rebar").
bool HasSwitch(const char* pszSwitch);

// A menu bar with a File menu: "&Print...\tCtrl+P" and "E&xit".
HMENU CreateHostMenu();

// Handles what all hosts share; true when the message was handled.
bool HandleCommonMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* plResult);

// Registers a class whose windows only draw themselves (for the named
// children the module looks for).
void RegisterPlainClass(const char* pszClass);

// Registers the host's main window class and creates its visible main window
// (children belong in the procedure's WM_CREATE, where the module's window
// probes find them); with "--show-later" the window is made hidden and shown
// 300 ms later. Null when either fails.
HWND CreateMainWindow(const char* pszClass, WNDPROC pfnWndProc, const char* pszTitle, int cx, int cy, HMENU hMenu);

// Runs the message loop with the Ctrl+P accelerator; returns the exit code.
int RunMessageLoop(HWND hMainWnd);

}  // namespace host
