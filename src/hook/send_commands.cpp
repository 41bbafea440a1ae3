#include "hook/send_commands.h"

#include "hook/configure_hooking.h"
#include "hook/base/hooked_wnd.h"
#include "menu/send_popup.h"
#include "oem/oem.h"
#include "send/print_dispatch.h"
#include "send/send_job.h"
#include "suite/suite_settings.h"
#include "suite/user_messages.h"

namespace {

// The first row, in the table's order, whose identifier matches decides.
const SendCommand* FindSendCommand(const HookedWndInfo* pInfo, UINT uId) {
    for (const SendCommand& command : kSendCommands) {
        if (pInfo->aCmdID[command.nPosition] == uId) return &command;
    }
    return nullptr;
}

// The printer a print row names, the edition deciding for the plain fax
// command: the mail printer when the edition has one, else the fax printer.
UINT PrinterKindOf(const SendCommand& command) {
    if (command.uPrinterKind != kPrinterKindByEdition) return command.uPrinterKind;
    BOOL bMailPrinter = TRUE;
    ReadSuiteFlags(nullptr, &bMailPrinter, nullptr);
    return bMailPrinter ? 1 : 2;
}

void RunSendCommand(HookedWndInfo* pInfo, const SendCommand& command, UINT uPrinterKind) {
    switch (command.action) {
        case SendAction::kPrint: send::PrintToSendPrinter(*pInfo, command.uOutputOption, uPrinterKind); break;
        case SendAction::kOpenPhoneBook: send::OpenPhonebook(pInfo->hWnd, 0); break;
        case SendAction::kOpenPhoneBookEntry: send::OpenPhonebook(pInfo->hWnd, 1); break;
        case SendAction::kSendByMail: send::SendByMail(); break;
        case SendAction::kConfigure: ConfigureHooking(pInfo); break;
        case SendAction::kRunExtra: RunOemCommand(pInfo->hWnd, command.uTemplateItem); break;
    }
}

}  // namespace

BOOL CheckSuiteReady() {
    const LibraryErrorCode dwCode = CheckInstallation(true, nullptr);
    if (dwCode == LIBERR_OK) return TRUE;
    if (dwCode != LIBERR_CANCELLED) ShowFormattedMessage(IDS_LIBRARY_ERROR, nullptr, MB_ICONHAND | MB_SYSTEMMODAL);
    return FALSE;
}

bool OnSendCommand(const HookMessage& message, LRESULT* plResult) {
    // A control's notification carries its window in lParam: the control may
    // use one of our identifiers, but the message is the host's. Our commands
    // come from a menu (the popup, or the button's popup) with lParam 0.
    if (message.lParam != 0) return false;
    const UINT uId = LOWORD(message.wParam);
    if (uId == 0) return false;
    const SendCommand* pCommand = FindSendCommand(message.pInfo, uId);
    if (pCommand == nullptr) return false;

    // Read before the suite check, as the choice of printer always was.
    const UINT uPrinterKind = pCommand->action == SendAction::kPrint ? PrinterKindOf(*pCommand) : 0;
    *plResult = 1;
    if (CheckSuiteReady()) RunSendCommand(message.pInfo, *pCommand, uPrinterKind);
    return true;
}
