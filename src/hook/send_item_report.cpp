// The answer to the send-item question of the test query (hook_messages.h).
#include "hook/send_item_report.h"

#include <cstdio>
#include <string>

#include "hook/base/hook_messages.h"
#include "hook/base/hooked_wnd.h"
#include "menu/send_popup.h"

namespace {

constexpr DWORD kReplyTimeoutMs = 2000;
constexpr int kDeepestSubmenu = 4;

void AppendPopup(HMENU hMenu, int nDepth, std::string* pText) {
    const int nItems = GetMenuItemCount(hMenu);
    for (int i = 0; i < nItems; ++i) {
        char szText[256] = {};
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = szText;
        item.cch = sizeof szText;
        if (!GetMenuItemInfoA(hMenu, static_cast<UINT>(i), TRUE, &item)) continue;
        unsigned uFlags = 0;
        if (item.fType & MFT_SEPARATOR) uFlags |= kSendItemLineSeparator;
        if (item.fState & MFS_GRAYED) uFlags |= kSendItemLineGrayed;
        char szLine[320];
        std::snprintf(szLine, sizeof szLine, "line %d %u %x %s\n", nDepth, item.hSubMenu != nullptr ? 0u : item.wID,
                      uFlags, szText);
        *pText += szLine;
        if (item.hSubMenu != nullptr && nDepth < kDeepestSubmenu) AppendPopup(item.hSubMenu, nDepth + 1, pText);
    }
}

bool SendItemRect(const HookedWndInfo* pInfo, RECT* pRect) {
    if (pInfo->hButtonWnd != nullptr) return GetWindowRect(pInfo->hButtonWnd, pRect) != FALSE;
    HMENU hBar = GetMenu(pInfo->hWnd);
    if (hBar == nullptr || pInfo->hPopupMenu == nullptr) return false;
    for (int i = GetMenuItemCount(hBar) - 1; i >= 0; --i)
        if (GetSubMenu(hBar, i) == pInfo->hPopupMenu) return GetMenuItemRect(pInfo->hWnd, hBar, static_cast<UINT>(i), pRect) != FALSE;
    return false;
}

}  // namespace

void ReportSendItem(HookedWndInfo* pInfo, HWND hAsker) {
    if (hAsker == nullptr || !IsWindow(hAsker)) return;
    std::string text;
    RECT rect = {};
    if (SendItemRect(pInfo, &rect)) {
        char szLine[96];
        std::snprintf(szLine, sizeof szLine, "%s %ld %ld %ld %ld\n", pInfo->hButtonWnd != nullptr ? "button" : "item",
                      rect.left, rect.top, rect.right, rect.bottom);
        text += szLine;
    }
    for (int nPosition = 0; nPosition < kSendCommandCount; ++nPosition) {
        if (pInfo->aCmdID[nPosition] == 0) continue;
        char szLine[48];
        std::snprintf(szLine, sizeof szLine, "cmd %d %u\n", nPosition, pInfo->aCmdID[nPosition]);
        text += szLine;
    }
    if (pInfo->hPopupMenu != nullptr) {
        AppendPopup(pInfo->hPopupMenu.get(), 0, &text);
    } else if (pInfo->hButtonWnd != nullptr) {
        // A button keeps no popup: each click builds its own.
        if (platform::unique_hmenu popup = BuildSendPopupMenu(pInfo)) AppendPopup(popup.get(), 0, &text);
    }
    COPYDATASTRUCT data = {};
    data.dwData = kTestQuerySendItem;
    data.cbData = static_cast<DWORD>(text.size());
    data.lpData = const_cast<char*>(text.data());
    DWORD_PTR dwIgnored = 0;
    SendMessageTimeoutA(hAsker, WM_COPYDATA, reinterpret_cast<WPARAM>(pInfo->hWnd), reinterpret_cast<LPARAM>(&data),
                        SMTO_ABORTIFHUNG, kReplyTimeoutMs, &dwIgnored);
}
