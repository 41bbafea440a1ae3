// The send commands of a hooked window, one row each: where the record keeps
// its identifier, the item of the send menu template it replaces, the
// identifier its renumbering starts from, and what picking it does. The rows
// stand in the order the identifiers are given out and matched: the first
// row whose identifier matches a pick decides. Names follow the menu the
// user sees.
#pragma once

#include <windows.h>

#include "resource_ids.h"

// Positions of HookedWndInfo::aCmdID.
enum SendCommandPosition {
    kCmdFaxCoverPage = 0,
    kCmdQuickSend = 1,
    kCmdFax = 2,  // also marks the send popup in the host's menu
    kCmdPhoneBook = 3,
    kCmdPhoneBookEntry = 4,
    kCmdSendByMail = 5,
    kCmdConfigure = 6,
    kCmdFaxWithOptions = 7,
    kCmdFirstExtra = 8,  // the distributor's items, IDM_EXTRA_FIRST on
    kSendCommandCount = 18,
};

enum class SendAction {
    kPrint,               // through a send printer, with an output option
    kOpenPhoneBook,       // the phone book, for browsing
    kOpenPhoneBookEntry,  // the phone book, plainly
    kSendByMail,
    kConfigure,
    kRunExtra,            // the distributor's item of the template item's number
};

// A print row's printer: a send printer kind of the suite key (1 to 5), or
// this one: the mail printer when the edition has one, else the fax printer.
constexpr UINT kPrinterKindByEdition = 0;

struct SendCommand {
    SendCommandPosition nPosition;
    UINT uTemplateItem;  // item of menu template IDM_SEND_MENU
    UINT uBaseId;        // the identifier the renumbering starts from
    SendAction action;
    UINT uOutputOption;  // kPrint: recorded in the suite registry
    UINT uPrinterKind;   // kPrint: see kPrinterKindByEdition
};

constexpr SendCommand Extra(int k) {
    return {static_cast<SendCommandPosition>(kCmdFirstExtra + k), IDM_EXTRA_FIRST + static_cast<UINT>(k),
            12681u + static_cast<UINT>(k), SendAction::kRunExtra, 0, 0};
}

constexpr SendCommand kSendCommands[kSendCommandCount] = {
    {kCmdFaxCoverPage, IDM_PRINT_COVER, 12663, SendAction::kPrint, 3, 2},
    {kCmdQuickSend, IDM_PRINT_QUICK, 12665, SendAction::kPrint, 1, 1},
    {kCmdFax, IDM_PRINT_FAX, 12667, SendAction::kPrint, 2, kPrinterKindByEdition},
    {kCmdPhoneBook, IDM_PHONEBOOK, 12669, SendAction::kOpenPhoneBook, 0, 0},
    {kCmdPhoneBookEntry, IDM_PHONEBOOK_ENTRY, 12671, SendAction::kOpenPhoneBookEntry, 0, 0},
    {kCmdConfigure, IDM_CONFIGURE, 12675, SendAction::kConfigure, 0, 0},
    {kCmdSendByMail, IDM_SEND_MAIL, 12673, SendAction::kSendByMail, 0, 0},
    {kCmdFaxWithOptions, IDM_PRINT_OPTIONS, 12677, SendAction::kPrint, 2, 3},
    Extra(0), Extra(1), Extra(2), Extra(3), Extra(4), Extra(5), Extra(6), Extra(7), Extra(8), Extra(9),
};
static_assert(IDM_EXTRA_FIRST + (kSendCommandCount - kCmdFirstExtra) - 1 == IDM_EXTRA_LAST,
              "one position for each of the distributor's items");

constexpr bool EveryPositionOnce() {
    for (int nPosition = 0; nPosition < kSendCommandCount; ++nPosition) {
        int nRows = 0;
        for (const SendCommand& command : kSendCommands) nRows += command.nPosition == nPosition ? 1 : 0;
        if (nRows != 1) return false;
    }
    return true;
}
static_assert(EveryPositionOnce(), "each position has one row");

// The row of a position.
constexpr const SendCommand& SendCommandAt(int nPosition) {
    for (const SendCommand& command : kSendCommands)
        if (command.nPosition == nPosition) return command;
    return kSendCommands[0];  // not reached: every position has a row
}
