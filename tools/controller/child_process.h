// Starting the 64-bit controller from the 32-bit one: it inherits the handles
// it is given and writes into our own output, so its messages reach whoever
// started us.
#pragma once

#include <windows.h>

#include <string>

#include "platform/unique_handle.h"

namespace controller {

struct ChildProcess {
    platform::unique_handle hProcess;
    DWORD dwThreadId = 0;
};

// An inheritable copy of one of our handles.
platform::unique_handle InheritableCopy(HANDLE hSource);

// False with GetLastError set when the program cannot be started.
bool StartWithOurOutput(const std::string& program, const std::string& arguments, ChildProcess* pChild);

}  // namespace controller
