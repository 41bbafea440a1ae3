#include "menu/send_item.h"

#include <cstring>
#include <string>

#include "config/profile.h"
#include "hook/base/hooked_wnd.h"
#include "hook/base/shared_state.h"
#include "hook/base/target_selection.h"
#include "menu/menu_search.h"
#include "menu/send_popup.h"
#include "platform/seams.h"
#include "platform/unique_handle.h"
#include "send/send_images.h"

namespace {

// A menu bar whose first item has no text, or one starting with a blank, is
// not a real menu bar (an MDI child's system menu, an owner-drawn bar).
bool HasUsableFirstItem(HMENU hMenu) {
    char szFirst[4] = {};
    return GetMenuStringA(hMenu, 0, szFirst, sizeof szFirst, MF_BYPOSITION) > 0 && szFirst[0] != ' ';
}

void AssignCommandIds(HookedWndInfo* pInfo, HMENU hMenu) {
    std::memset(pInfo->aCmdID, 0, sizeof pInfo->aCmdID);
    // In the table's order, each from its base identifier.
    for (const SendCommand& command : kSendCommands)
        AllocMenuCommandID(hMenu, command.uBaseId, &pInfo->aCmdID[command.nPosition], pInfo->aCmdID,
                           kSendCommandCount);
}

// Appends the popup as the brand picture, or as the brand title with a
// mnemonic of its own when pictures are off or the picture cannot be had.
bool AppendSendPopup(HookedWndInfo* pInfo, HMENU hMenu, HMENU hPopup) {
    HBITMAP hBitmap = nullptr;
    if (LoadSendMenuBitmap(&hBitmap, false)) {
        platform::unique_hbitmap bitmap = platform::unique_hbitmap::Adopt(hBitmap);
        if (!InsertMenuA(hMenu, static_cast<UINT>(-1), MF_BYPOSITION | MF_POPUP | MF_BITMAP,
                         reinterpret_cast<UINT_PTR>(hPopup), reinterpret_cast<LPCSTR>(bitmap.get())))
            return false;
        // A picture left from a placement the host's menu no longer shows
        // goes as this one takes its place.
        pInfo->hBitmap = std::move(bitmap);
        return true;
    }
    std::string title;
    MakeSendMenuTitle(hMenu, &title);
    return InsertMenuA(hMenu, static_cast<UINT>(-1), MF_BYPOSITION | MF_POPUP | MF_STRING,
                       reinterpret_cast<UINT_PTR>(hPopup), title.c_str()) != FALSE;
}

int FindSubMenuPosition(HMENU hMenuBar, HMENU hSubMenu) {
    if (hMenuBar == nullptr) return -1;
    for (int nPos = GetMenuItemCount(hMenuBar) - 1; nPos >= 0; --nPos)
        if (GetSubMenu(hMenuBar, nPos) == hSubMenu) return nPos;
    return -1;
}

}  // namespace

UINT LookUpPrintCmd(const char* pszModuleName, const char* pszHostSection, HMENU hMenu) {
    if (std::strcmp(pszModuleName, kFixedPrintHostName) == 0) return kFixedPrintHostCommand;
    return FindPrintCmd(pszHostSection, hMenu);
}

BOOL AddHookedMenuItem(HookedWndInfo* pInfo) {
    HMENU hMenu = GetMenu(pInfo->hWnd);
    if (hMenu == nullptr) return FALSE;
    pInfo->hMenu = hMenu;
    pInfo->nMenuItems = GetMenuItemCount(hMenu);
    if (pInfo->nMenuItems <= 0 || !HasUsableFirstItem(hMenu)) return FALSE;

    // The host fills its first menu when it opens; some hosts only then name
    // their commands the way the Print lookup expects.
    if (HMENU hFirst = GetSubMenu(hMenu, 0)) SendMessageA(pInfo->hWnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(hFirst), 0);

    const char* pszHostSection = GetModuleEntry(pInfo->nModule);
    if (pInfo->uPrintCmd == 0) {
        char szModuleName[kPathSize] = {};
        GetModuleName(szModuleName, pInfo->hWnd);
        pInfo->uPrintCmd = LookUpPrintCmd(szModuleName, pszHostSection, hMenu);
    }

    pInfo->dwFlags |= kHookFlagItemConfirmed;
    std::string browserMenuNames;
    if (ReadNumberedList(nullptr, pszHostSection, kStemBrowserMenu, &browserMenuNames) &&
        FindCommandByNames(hMenu, browserMenuNames) == 0)
        pInfo->dwFlags &= ~kHookFlagItemConfirmed;
    if (pInfo->nModule == kHostDocObject && !(pInfo->dwFlags & kHookFlagItemConfirmed)) return FALSE;

    AssignCommandIds(pInfo, hMenu);
    platform::unique_hmenu popup = BuildSendPopupMenu(pInfo);
    if (!popup || !AppendSendPopup(pInfo, hMenu, popup.get())) return FALSE;

    // The host's menu bar owns the popup from here; RemoveHookedMenuItem takes it back.
    pInfo->hPopupMenu = std::move(popup);
    ++pInfo->nMenuItems;
    platform::InjectFault(platform::FaultPoint::kPlacement);
    DrawMenuBar(pInfo->hWnd);
    return TRUE;
}

void RemoveHookedMenuItem(HookedWndInfo* pInfo, BOOL bRedraw) {
    if (pInfo->hPopupMenu != nullptr) {
        // By its handle, in the bar the window shows and in the one it was
        // placed in: the host may have given an item of its own our marker
        // identifier since, and that item must neither hide ours nor go.
        const HMENU hShown = GetMenu(pInfo->hWnd);
        for (HMENU hBar : {hShown, pInfo->hMenu}) {
            const int nPos = FindSubMenuPosition(hBar, pInfo->hPopupMenu.get());
            if (nPos < 0 || !RemoveMenu(hBar, nPos, MF_BYPOSITION)) continue;
            if (bRedraw && hBar == hShown) DrawMenuBar(pInfo->hWnd);
            break;
        }
        // Taken out, or found in no bar of the window (the host destroyed
        // the bar with it, or removed it itself): ours to close either way.
        pInfo->hPopupMenu.reset();
    }
    InitHookedWndInfo(pInfo);
}

void RefreshHookedMenuItem(HookedWndInfo* pInfo) {
    HMENU hMenu = GetMenu(pInfo->hWnd);
    if (hMenu != pInfo->hMenu) {
        ReinsertSendItem(pInfo);
        return;
    }
    if (hMenu == nullptr || GetMenuItemCount(hMenu) == pInfo->nMenuItems) return;
    ReinsertSendItem(pInfo);
    pInfo->nMenuItems = GetMenuItemCount(pInfo->hMenu);
}

const ItemPlacer kSendPopupPlacer = {AddHookedMenuItem, RemoveHookedMenuItem, RefreshHookedMenuItem};
