#include "child_process.h"

#include <cstdio>

namespace controller {

platform::unique_handle InheritableCopy(HANDLE hSource) {
    platform::unique_handle hCopy;
    if (hSource == nullptr || hSource == INVALID_HANDLE_VALUE) return hCopy;
    DuplicateHandle(GetCurrentProcess(), hSource, GetCurrentProcess(), hCopy.put(), 0, TRUE, DUPLICATE_SAME_ACCESS);
    return hCopy;
}

bool StartWithOurOutput(const std::string& program, const std::string& arguments, ChildProcess* pChild) {
    // Our standard handles need not be inheritable themselves.
    platform::unique_handle hOut = InheritableCopy(GetStdHandle(STD_OUTPUT_HANDLE));
    platform::unique_handle hErr = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = hOut.get();
    startup.hStdError = hErr.get();
    std::string commandLine = "\"" + program + "\" " + arguments;
    // What we said so far comes before what the child says.
    std::fflush(stdout);
    std::fflush(stderr);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return false;
    }
    pChild->hProcess.reset(info.hProcess);
    platform::unique_handle hThread(info.hThread);
    pChild->dwThreadId = info.dwThreadId;
    return true;
}

}  // namespace controller
