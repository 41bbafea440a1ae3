// The send commands of a hooked window: the identifier the user picked in
// the send popup or from the button, mapped to its position and action.
#pragma once

#include <windows.h>

#include "hook/base/message_handler.h"
#include "resource_ids.h"

// The gate in front of every send command: the suite is installed and
// current. An out-of-date suite starts the installer's update and says
// nothing more; any other failure is shown.
BOOL CheckSuiteReady();

// WM_COMMAND: a command of the window's send item (a menu pick, lParam 0) is
// carried out here and never reaches the host, whether or not the suite was
// ready for it. A control's notification (lParam its window) is the host's.
bool OnSendCommand(const HookMessage& message, LRESULT* plResult);
