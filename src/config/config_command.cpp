#include "config/config_command.h"

#include "platform/seams.h"
#include "platform/unique_handle.h"

bool RestartWindows() {
    if ((GetVersion() & 0x80000000u) != 0) return platform::GetSeams().pfnExitWindowsEx(EWX_REBOOT, 0) != FALSE;

    platform::unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) return false;
    AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds even when it assigned nothing; only the
    // last error tells.
    if (GetLastError() != ERROR_SUCCESS) return false;
    return platform::GetSeams().pfnExitWindowsEx(EWX_REBOOT, 0) != FALSE;
}
