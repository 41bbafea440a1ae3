// What the configuration command needs of the system once the settings have
// changed.
#pragma once

#include <windows.h>

// Restarts Windows so that every program starts under the new settings.
// False when the privilege to do so could not be had.
bool RestartWindows();
