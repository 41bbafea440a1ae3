#include "config/config_dialog.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "config/profile.h"
#include "config/quarantine_marks.h"
#include "hook/base/shared_state.h"
#include "suite/safe_mode.h"
#include "suite/suite_settings.h"
#include "suite/user_messages.h"

namespace {

constexpr int kEntryChars = 260;

struct DialogState {
    const char* pszModuleName;
};

// The whole entry, however long: a hand-edited key of 260 characters or more
// read back cut or empty would be written back as another key, or as an empty
// one that ends the key list for every reader.
std::string GetListEntryText(HWND hList, int nIndex) {
    const LRESULT cch = SendMessageA(hList, LB_GETTEXTLEN, nIndex, 0);
    if (cch == LB_ERR || cch <= 0) return std::string();
    std::string text(static_cast<size_t>(cch) + 1, '\0');
    const LRESULT cchRead = SendMessageA(hList, LB_GETTEXT, nIndex, reinterpret_cast<LPARAM>(&text[0]));
    if (cchRead == LB_ERR || cchRead < 0) return std::string();
    text.resize(strnlen(text.c_str(), text.size()));
    return text;
}

// Every non-empty entry of the list, in list order.
std::vector<std::string> GetListEntries(HWND hList) {
    std::vector<std::string> entries;
    const LRESULT nCount = SendMessageA(hList, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < nCount; ++i) {
        std::string text = GetListEntryText(hList, i);
        if (!text.empty()) entries.push_back(std::move(text));
    }
    return entries;
}

void AddKeyList(HWND hList, const char* pszList, size_t cbList) {
    const char* p = pszList;
    const char* const pEnd = pszList + cbList;
    while (p < pEnd && *p != '\0') {
        size_t cch = strnlen(p, static_cast<size_t>(pEnd - p));
        if (p + cch >= pEnd) break;  // an unterminated tail is not an entry
        SendMessageA(hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p));
        p += cch + 1;
    }
}

void SetDialogIcons(HWND hDialog, UINT uIconId) {
    // The dialog owns neither icon: LoadImageA without LR_SHARED would leak
    // one per opening, so both are loaded shared from the resource module.
    HANDLE hSmall = LoadImageA(g_hResourceModule, MAKEINTRESOURCEA(uIconId), IMAGE_ICON, 16, 16, LR_SHARED);
    HANDLE hBig = LoadImageA(g_hResourceModule, MAKEINTRESOURCEA(uIconId), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED);
    SendMessageA(hDialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(hSmall));
    SendMessageA(hDialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(hBig));
}

// Every text of the template that carries "%s" names the brand there: the
// list's heading as well as the picture choice's. The brand is put in
// literally at each "%s" rather than handing the text to a printf-style
// formatter.
void FillBrandLabels(HWND hDialog) {
    char szBrand[kEntryChars] = {};
    LoadStringA(g_hResourceModule, GetBrandResourceId(), szBrand, kEntryChars);
    for (HWND hChild = GetWindow(hDialog, GW_CHILD); hChild != nullptr; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        char szFormat[kEntryChars] = {};
        GetWindowTextA(hChild, szFormat, kEntryChars);
        std::string text = szFormat;
        const size_t nFirst = text.find("%s");
        if (nFirst == std::string::npos) continue;
        for (size_t nAt = nFirst; nAt != std::string::npos; nAt = text.find("%s", nAt + std::strlen(szBrand)))
            text.replace(nAt, 2, szBrand);
        SetWindowTextA(hChild, text.c_str());
    }
}

// Included entries whose program is in quarantine carry the suffix.
void MarkQuarantinedEntries(HWND hInclude) {
    const std::vector<std::string> quarantined = safe_mode::QuarantinedPrograms();
    if (quarantined.empty()) return;
    const std::string suffix = QuarantinedSuffix();
    const LRESULT nCount = SendMessageA(hInclude, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < nCount; ++i) {
        const std::string entry = GetListEntryText(hInclude, i);
        const std::string shown = MarkedEntry(entry, quarantined, suffix);
        if (shown == entry) continue;
        SendMessageA(hInclude, LB_DELETESTRING, i, 0);
        SendMessageA(hInclude, LB_INSERTSTRING, i, reinterpret_cast<LPARAM>(shown.c_str()));
    }
}

void InitConfigDialog(HWND hDialog) {
    RECT rcDialog, rcArea;
    GetWindowRect(hDialog, &rcDialog);
    HWND hOwner = GetWindow(hDialog, GW_OWNER);
    if (hOwner != nullptr)
        GetWindowRect(hOwner, &rcArea);
    else
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcArea, 0);
    const int x = rcArea.left + ((rcArea.right - rcArea.left) - (rcDialog.right - rcDialog.left)) / 2;
    const int y = rcArea.top + ((rcArea.bottom - rcArea.top) - (rcDialog.bottom - rcDialog.top)) / 2;
    SetWindowPos(hDialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(hDialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    SetDialogIcons(hDialog, IDD_CONFIG);

    if (HWND hExclude = GetDlgItem(hDialog, IDC_EXCLUDE_LIST)) {
        char szList[kSharedListSize] = {};
        ReadProfileKeyList(kSectionExclude, szList, sizeof szList);
        AddKeyList(hExclude, szList, sizeof szList);
    }
    if (HWND hInclude = GetDlgItem(hDialog, IDC_INCLUDE_LIST)) {
        AddKeyList(hInclude, g_szIncludeList, kSharedListSize);
        MarkQuarantinedEntries(hInclude);
    }
    if (GetDlgItem(hDialog, IDC_BITMAP_MENU) != nullptr)
        CheckDlgButton(hDialog, ReadBitmapMenuSetting() != 0 ? IDC_BITMAP_MENU : IDC_TEXT_MENU, BST_CHECKED);
    FillBrandLabels(hDialog);

    int bInstallFlag = 0;
    CheckInstallation(false, &bInstallFlag);
    if (bInstallFlag == 0) SetControlState(GetDlgItem(hDialog, IDHELP), kControlEnable | kControlShow);
    UpdateMoveButtons(hDialog);
}

// Help and F1 open the page the package puts beside the profile.
void OpenHelpPage(HWND hDialog) {
    char szPath[MAX_PATH] = {};
    if (CheckLibraryResult(GetHelpPagePath(szPath))) ShellOpenFile(hDialog, szPath);
}

void SaveConfigDialog(HWND hDialog) {
    const std::vector<std::string> excluded = GetListEntries(GetDlgItem(hDialog, IDC_EXCLUDE_LIST));
    std::vector<std::string> included = GetListEntries(GetDlgItem(hDialog, IDC_INCLUDE_LIST));
    // The suffix is only shown; an entry without it names programs the user
    // moved back in, which are released.
    const std::string suffix = QuarantinedSuffix();
    std::vector<std::string> unmarked;
    for (std::string& entry : included)
        if (!UnmarkEntry(&entry, suffix)) unmarked.push_back(entry);
    ReleaseProgramsOfEntries(unmarked);
    RewriteListSection(kSectionExclude, excluded);
    RewriteListSection(kSectionInclude, included);
    WriteHookingEnabled(!included.empty());
    if (GetDlgItem(hDialog, IDC_BITMAP_MENU) != nullptr)
        WriteBitmapMenuSetting(IsDlgButtonChecked(hDialog, IDC_BITMAP_MENU) == BST_CHECKED);
}

INT_PTR CALLBACK ConfigDialogProc(HWND hDialog, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(hDialog, DWLP_USER, lParam);
            InitConfigDialog(hDialog);
            return TRUE;
        case WM_HELP:
            OpenHelpPage(hDialog);
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            switch (LOWORD(wParam)) {
                case IDC_MOVE_ONE_IN: MoveListEntry(hDialog, IDC_EXCLUDE_LIST, IDC_INCLUDE_LIST); break;
                case IDC_MOVE_ALL_IN: MoveAllListEntries(hDialog, IDC_EXCLUDE_LIST, IDC_INCLUDE_LIST); break;
                case IDC_MOVE_ONE_OUT: MoveListEntry(hDialog, IDC_INCLUDE_LIST, IDC_EXCLUDE_LIST); break;
                case IDC_MOVE_ALL_OUT: MoveAllListEntries(hDialog, IDC_INCLUDE_LIST, IDC_EXCLUDE_LIST); break;
                case IDOK:
                    SaveConfigDialog(hDialog);
                    EndDialog(hDialog, IDOK);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(hDialog, IDCANCEL);
                    return TRUE;
                case IDHELP:
                    OpenHelpPage(hDialog);
                    return TRUE;
                default:
                    return FALSE;
            }
            UpdateMoveButtons(hDialog);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void SetControlState(HWND hControl, UINT uFlags) {
    if (hControl == nullptr) return;
    const bool bOn = (uFlags & kControlOn) != 0;
    if (uFlags & kControlEnable) EnableWindow(hControl, bOn);
    if (uFlags & kControlShow) ShowWindow(hControl, bOn ? SW_SHOWNOACTIVATE : SW_HIDE);
    if (uFlags & kControlLabelToo) SetControlState(GetWindow(hControl, GW_HWNDPREV), uFlags & ~kControlLabelToo);
}

void SetControlStates(HWND hDialog, const int* pnIds, UINT uFlags) {
    for (; *pnIds != 0; ++pnIds) SetControlState(GetDlgItem(hDialog, *pnIds), uFlags);
}

void MoveListEntry(HWND hDialog, int nFromId, int nToId) {
    HWND hFrom = GetDlgItem(hDialog, nFromId);
    HWND hTo = GetDlgItem(hDialog, nToId);
    if (hFrom == nullptr || hTo == nullptr) return;
    LRESULT nIndex = SendMessageA(hFrom, LB_GETCURSEL, 0, 0);
    if (nIndex == LB_ERR) nIndex = 0;
    std::string text = GetListEntryText(hFrom, static_cast<int>(nIndex));
    if (text.empty()) return;
    // Moved out or back in, an entry is no longer shown as in quarantine:
    // moved back, it releases its programs at OK.
    UnmarkEntry(&text, QuarantinedSuffix());
    SendMessageA(hFrom, LB_DELETESTRING, nIndex, 0);
    SendMessageA(hTo, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void MoveAllListEntries(HWND hDialog, int nFromId, int nToId) {
    const LRESULT nCount = SendDlgItemMessageA(hDialog, nFromId, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < nCount; ++i) MoveListEntry(hDialog, nFromId, nToId);
}

void UpdateMoveButtons(HWND hDialog) {
    const bool bExcluded = SendDlgItemMessageA(hDialog, IDC_EXCLUDE_LIST, LB_GETCOUNT, 0, 0) > 0;
    const bool bIncluded = SendDlgItemMessageA(hDialog, IDC_INCLUDE_LIST, LB_GETCOUNT, 0, 0) > 0;
    const int kInButtons[] = {IDC_MOVE_ONE_IN, IDC_MOVE_ALL_IN, 0};
    const int kOutButtons[] = {IDC_MOVE_ONE_OUT, IDC_MOVE_ALL_OUT, 0};
    SetControlStates(hDialog, kInButtons, kControlEnable | (bExcluded ? kControlOn : 0));
    SetControlStates(hDialog, kOutButtons, kControlEnable | (bIncluded ? kControlOn : 0));
}

INT_PTR RunConfigDialog(HWND hOwner, const char* pszModuleName) {
    DialogState state = {pszModuleName != nullptr ? pszModuleName : ""};
    return DialogBoxParamA(g_hResourceModule, MAKEINTRESOURCEA(IDD_CONFIG), hOwner, ConfigDialogProc,
                           reinterpret_cast<LPARAM>(&state));
}
