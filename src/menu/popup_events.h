// What the send popup does when a host's menus open and are browsed.
#pragma once

#include <windows.h>

#include "hook/base/message_handler.h"

// Serialises the learning of hosts' Print commands across the process's
// windows; null when it cannot be made (the learning is then skipped).
HANDLE PrintCmdLock();
// At the module's exit, once every window is given back.
void ReleasePrintCmdLock();

// WM_INITMENUPOPUP: the opening of the send popup (or of one of its
// submenus) is answered here and never reaches the host; the host is asked
// to prepare its menu bar instead, and its Print command is looked up.
bool OnSendPopupOpening(const HookMessage& message, LRESULT* plResult);

// WM_MENUSELECT: a browser-type host's Print command is learned from the
// first menu the user browses, and kept in its profile section.
bool OnMenuSelectLearnPrint(const HookMessage& message, LRESULT* plResult);
