#include "config/config_command.h"

#include "config/config_dialog.h"
#include "config/profile.h"
#include "hook/module_lifetime.h"
#include "platform/seams.h"
#include "platform/unique_handle.h"
#include "suite/user_messages.h"

void ConfigureHooking(HookedWndInfo* pInfo) {
    // A window's own send command passes its record; the per-window steps
    // (unhooking an excluded host, re-placing the item in its new form)
    // belong to the window procedure's commands.
    (void)pInfo;
    const char* pszModuleName = "";

    const int nBitmapBefore = ReadBitmapMenuSetting();
    const bool bEnabledBefore = IsHookingEnabled();
    if (RunConfigDialog(nullptr, pszModuleName) != IDOK) return;

    (void)nBitmapBefore;
    const bool bEnabledAfter = IsHookingEnabled();
    LoadIncludeList();

    if (!bEnabledAfter) {
        VXPFCWSetHooking(FALSE, 0, 0, 0);
        return;
    }
    if (!bEnabledBefore &&
        ShowFormattedMessage(kIdsRestartQuestion, nullptr, MB_OKCANCEL | MB_ICONQUESTION | MB_SYSTEMMODAL) == IDOK)
        RestartWindows();
}

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

extern "C" DWORD WINAPI VXPFCWConfig() {
    ConfigureHooking(nullptr);
    return 0;
}
