#include "menu/send_popup.h"

#include "hook/base/hooked_wnd.h"
#include "hook/base/shared_state.h"
#include "menu/menu_search.h"
#include "oem/oem.h"
#include "suite/suite_settings.h"

namespace {

constexpr DWORD kInfoFullEdition = 0x2;  // fax, phone book, mail and the distributor's items
constexpr DWORD kInfoMailPrinter = 0x1;  // the mail printer

// The template item of a position takes the record's identifier for it.
void Rename(HMENU hMenu, const HookedWndInfo* pInfo, int nPosition) {
    RenameMenuCommand(hMenu, SendCommandAt(nPosition).uTemplateItem, 0, pInfo->aCmdID[nPosition]);
}

// The template's popup, taken out of the template so that the template can
// go at once and the popup is the caller's alone.
platform::unique_hmenu LoadTemplatePopup() {
    platform::unique_hmenu templateMenu(LoadMenuA(g_hResourceModule, MAKEINTRESOURCEA(IDM_SEND_MENU)));
    if (!templateMenu) return {};
    HMENU hPopup = GetSubMenu(templateMenu.get(), 0);
    if (hPopup == nullptr || !RemoveMenu(templateMenu.get(), 0, MF_BYPOSITION)) return {};
    return platform::unique_hmenu(hPopup);
}

// A submenu that ends up with nothing in it (the distributor's submenu
// without a distributor's set) would open as an empty box: it goes, and so
// does a parent it leaves empty.
void RemoveEmptySubmenus(HMENU hMenu) {
    for (int nPos = GetMenuItemCount(hMenu) - 1; nPos >= 0; --nPos) {
        HMENU hSub = GetSubMenu(hMenu, nPos);
        if (hSub == nullptr) continue;
        RemoveEmptySubmenus(hSub);
        if (GetMenuItemCount(hSub) == 0) DeleteMenu(hMenu, static_cast<UINT>(nPos), MF_BYPOSITION);
    }
}

}  // namespace

void ReadSuiteFlags(BOOL* pbBit1, BOOL* pbBit0, BOOL* pbInstallFlag) {
    BOOL bBit1 = TRUE, bBit0 = TRUE;
    int bInstallFlag = FALSE;
    DWORD dwInfo = 0;
    if (CheckInstallation(false, &bInstallFlag) == 0 && GetParvaneInfo(&dwInfo) == 0) {
        bBit1 = (dwInfo & kInfoFullEdition) != 0;
        bBit0 = (dwInfo & kInfoMailPrinter) != 0;
    }
    if (pbBit1 != nullptr) *pbBit1 = bBit1;
    if (pbBit0 != nullptr) *pbBit0 = bBit0;
    if (pbInstallFlag != nullptr) *pbInstallFlag = bInstallFlag ? TRUE : FALSE;
}

platform::unique_hmenu BuildSendPopupMenu(HookedWndInfo* pInfo) {
    platform::unique_hmenu popup = LoadTemplatePopup();
    if (!popup) return popup;
    HMENU hPopup = popup.get();
    int nItems = GetMenuItemCount(hPopup);
    HMENU hLastSubMenu = nItems > 0 ? GetSubMenu(hPopup, nItems - 1) : nullptr;

    BOOL bFullEdition = TRUE, bMailPrinter = TRUE, bInstallFlag = FALSE;
    ReadSuiteFlags(&bFullEdition, &bMailPrinter, &bInstallFlag);

    if (bInstallFlag) {
        Rename(hPopup, pInfo, kCmdFaxWithOptions);
    } else if (DeleteMenu(hPopup, IDM_PRINT_OPTIONS, MF_BYCOMMAND)) {
        --nItems;
    }

    if (bFullEdition) {
        Rename(hPopup, pInfo, kCmdFaxCoverPage);
        Rename(hPopup, pInfo, kCmdPhoneBook);
        Rename(hPopup, pInfo, kCmdPhoneBookEntry);
        Rename(hPopup, pInfo, kCmdConfigure);
        Rename(hPopup, pInfo, kCmdSendByMail);
        InsertOemMenuItems(&OemMenuSet, hPopup);
        DeleteMenu(hPopup, IDM_OEM_PLACEHOLDER, MF_BYCOMMAND);
        for (int k = 0; k < kSendCommandCount - kCmdFirstExtra; ++k)
            Rename(hPopup, pInfo, kCmdFirstExtra + k);
    } else {
        // The cover page command goes, and with it the messages submenu,
        // second from the end once that command is out.
        if (DeleteMenu(hPopup, IDM_PRINT_COVER, MF_BYCOMMAND)) --nItems;
        if (nItems >= 2 && DeleteMenu(hPopup, static_cast<UINT>(nItems - 2), MF_BYPOSITION)) {
            --nItems;
            if (hLastSubMenu != nullptr && GetSubMenu(hPopup, nItems - 1) != hLastSubMenu) hLastSubMenu = nullptr;
        }
    }

    if (bMailPrinter) {
        Rename(hPopup, pInfo, kCmdQuickSend);
        if (hLastSubMenu != nullptr) Rename(hLastSubMenu, pInfo, kCmdConfigure);
    } else {
        // Quick send (the mail printer) goes, and with it the options
        // submenu, now last.
        DeleteMenu(hPopup, IDM_PRINT_QUICK, MF_BYCOMMAND);
        if (nItems >= 2) DeleteMenu(hPopup, static_cast<UINT>(nItems - 2), MF_BYPOSITION);
    }

    Rename(hPopup, pInfo, kCmdFax);
    RemoveEmptySubmenus(hPopup);
    return popup;
}
