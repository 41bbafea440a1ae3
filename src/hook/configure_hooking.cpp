// The configuration command applied to the running module: the dialog is
// the settings' own; what it changed reaches the lists, the hook and the
// windows already served from here.
#include "hook/configure_hooking.h"

#include "config/config_command.h"
#include "config/config_dialog.h"
#include "config/profile.h"
#include "hook/base/hook_names.h"
#include "hook/base/item_placer.h"
#include "hook/module_lifetime.h"
#include "hook/subclassing.h"
#include "hook/base/target_selection.h"
#include "suite/user_messages.h"
#include "resource_ids.h"

namespace {

// The calling program's name as the dialog shows it: NOTEPAD.EXE becomes
// Notepad.exe.
void GetDisplayModuleName(HookedWndInfo* pInfo, char (&szName)[MAX_PATH]) {
    szName[0] = '\0';
    if (pInfo == nullptr) return;
    if (!GetModuleName(szName, pInfo->hWnd)) {
        szName[0] = '\0';
        return;
    }
    if (szName[0] == '\0') return;
    CharLowerA(szName + 1);
}

}  // namespace

void ConfigureHooking(HookedWndInfo* pInfo) {
    char szModuleName[MAX_PATH];
    GetDisplayModuleName(pInfo, szModuleName);

    const int nBitmapMenuBefore = ReadBitmapMenuSetting();
    const bool bEnabledBefore = IsHookingEnabled();
    if (RunConfigDialog(nullptr, szModuleName) != IDOK) return;

    const int nBitmapMenuAfter = ReadBitmapMenuSetting();
    const bool bEnabledAfter = IsHookingEnabled();
    LoadIncludeList();

    // The record may go here when its host is no longer included.
    if (pInfo != nullptr) ReleaseIfExcluded(pInfo);

    if (!bEnabledAfter) {
        RemoveShellHook();
        // Each bitness has its own hook, held by its own controller: both
        // are told, so that hooking is off for every program.
        PostMessageA(HWND_BROADCAST, RegisterWindowMessageA(kHookingOffMessageName), 0, 0);
        return;
    }
    // The calling window shows its item in the new form at once; others
    // when their item is next placed. The record is still ours to use (the
    // caller holds a reference) but its window may have been let go above.
    if (pInfo != nullptr && !pInfo->bUnhooked && nBitmapMenuAfter != nBitmapMenuBefore) ReinsertSendItem(pInfo);
    if (!bEnabledBefore &&
        ShowFormattedMessage(IDS_RESTART_QUESTION, nullptr, MB_OKCANCEL | MB_ICONQUESTION | MB_SYSTEMMODAL) == IDOK)
        RestartWindows();
}

extern "C" DWORD WINAPI VXPFCWConfig() {
    // A suite program's call: the whole start-up first, outside the loader
    // lock; the dialog needs the resource module and the profile.
    if (!StartForSuiteProgram()) return 0;
    ConfigureHooking(nullptr);
    return 0;
}
