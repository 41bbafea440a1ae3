#include "hook/send_commands.h"

#include "config/config_command.h"
#include "hook/hooked_wnd.h"
#include "menu/send_popup.h"
#include "oem/oem.h"
#include "send/print_dispatch.h"
#include "send/send_job.h"
#include "suite/suite_settings.h"
#include "suite/user_messages.h"

namespace {

// Positions are compared in this order; the first whose identifier matches
// decides.
constexpr int kMatchOrder[kSendCommandCount] = {0, 1, 2, 3, 4, 6, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};

int FindCommandPosition(const HookedWndInfo* pInfo, UINT uId) {
    for (int nPosition : kMatchOrder) {
        if (pInfo->aCmdID[nPosition] == uId) return nPosition;
    }
    return -1;
}

// nDefaultPrinterKind: the printer the plain print command uses, the mail
// printer when the edition has one.
void RunSendCommand(HookedWndInfo* pInfo, int nPosition, int nDefaultPrinterKind) {
    switch (nPosition) {
        case kCmdPrintFax: send::PrintToSendPrinter(*pInfo, 3, 2); break;
        case kCmdPrintMail: send::PrintToSendPrinter(*pInfo, 1, 1); break;
        case kCmdPrintDefault: send::PrintToSendPrinter(*pInfo, 2, static_cast<UINT>(nDefaultPrinterKind)); break;
        case kCmdPrintOther: send::PrintToSendPrinter(*pInfo, 2, 3); break;
        case kCmdPhonebook: send::OpenPhonebook(pInfo->hWnd, 0); break;
        case kCmdPhonebookSelect: send::OpenPhonebook(pInfo->hWnd, 1); break;
        case kCmdSendByMail: send::SendByMail(); break;
        case kCmdConfigure:
            ConfigureHooking(pInfo);
            break;
        default:
            RunOemCommand(pInfo->hWnd, kOemFirstCommandId + static_cast<UINT>(nPosition - kCmdFirstOem));
            break;
    }
}

}  // namespace

BOOL CheckSuiteReady() {
    const LibraryErrorCode dwCode = CheckInstallation(true, nullptr);
    if (dwCode == LIBERR_OK) return TRUE;
    if (dwCode != LIBERR_CANCELLED) ShowFormattedMessage(kIdsSuiteNotReady, nullptr, MB_ICONHAND | MB_SYSTEMMODAL);
    return FALSE;
}

bool OnSendCommand(const HookMessage& message, LRESULT* plResult) {
    // A control's notification carries its window in lParam: the control may
    // use one of our identifiers, but the message is the host's. Our commands
    // come from a menu (the popup, or the button's popup) with lParam 0.
    if (message.lParam != 0) return false;
    const UINT uId = LOWORD(message.wParam);
    if (uId == 0) return false;
    const int nPosition = FindCommandPosition(message.pInfo, uId);
    if (nPosition < 0) return false;

    BOOL bMailPrinter = TRUE;
    if (nPosition == kCmdPrintDefault) ReadSuiteFlags(nullptr, &bMailPrinter, nullptr);
    *plResult = 1;
    if (CheckSuiteReady()) RunSendCommand(message.pInfo, nPosition, bMailPrinter ? 1 : 2);
    return true;
}
