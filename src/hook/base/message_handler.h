// What a handler of HookProc's dispatch table is given, and what it answers.
#pragma once

#include <windows.h>

#include <cstddef>

struct HookedWndInfo;

struct HookMessage {
    HookedWndInfo* pInfo;  // referenced for the duration of the message
    size_t nPosition;      // the record's place in the table when looked up
    HWND hWnd;
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
};

// True when the message is answered here (with *plResult) and goes no
// further; false to pass it on to the host.
using MessageHandler = bool (*)(const HookMessage& message, LRESULT* plResult);
