// The send command's settings dialog as a person uses it in another process:
// found once its set-up has run (it shows itself only then), its buttons
// pressed, and the restart question that switching hooking on brings.
#pragma once

#include <windows.h>

#include <initializer_list>

#include "../../resources/resource_ids.h"
#include "e2e_support.h"

namespace e2e {

constexpr char kSettingsCaption[] = "Send Command Settings";

inline HWND WaitForSettingsDialog(DWORD dwProcessId, DWORD dwTimeoutMs) {
    HWND hDialog = nullptr;
    WaitUntil(
        [&] {
            hDialog = FindWindowOfProcess(dwProcessId, "#32770");
            char szCaption[64] = {};
            if (hDialog != nullptr) GetWindowTextA(hDialog, szCaption, sizeof szCaption);
            return hDialog != nullptr && IsWindowVisible(hDialog) && lstrcmpA(szCaption, kSettingsCaption) == 0;
        },
        dwTimeoutMs);
    return hDialog != nullptr && IsWindowVisible(hDialog) ? hDialog : nullptr;
}

// Presses the buttons in order; the last one (OK or Cancel) closes the dialog,
// and is posted so that what the program does next does not hold us.
inline void PressSettingsButtons(HWND hDialog, std::initializer_list<int> buttons) {
    const int* pLast = buttons.end() - 1;
    for (const int* p = buttons.begin(); p != buttons.end(); ++p) {
        const WPARAM wParam = MAKEWPARAM(*p, BN_CLICKED);
        const LPARAM lParam = reinterpret_cast<LPARAM>(GetDlgItem(hDialog, *p));
        if (p == pLast) {
            PostMessageA(hDialog, WM_COMMAND, wParam, lParam);
        } else {
            DWORD_PTR dwIgnored = 0;
            SendMessageTimeoutA(hDialog, WM_COMMAND, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &dwIgnored);
        }
    }
}

// Answers the restart question with Cancel: no restart here. False when
// the program asked nothing.
inline bool DeclineRestart(DWORD dwProcessId, DWORD dwTimeoutMs) {
    HWND hBox = WaitForDialogWithText(dwProcessId, dwTimeoutMs);
    if (hBox == nullptr) return false;
    PostMessageA(hBox, WM_COMMAND, IDCANCEL, 0);
    return true;
}

}  // namespace e2e
