// The window messages the module registers, besides the refresh message of
// the shared section.
#pragma once

#include <windows.h>

#include "hook/base/hook_names.h"

// Registers every message below, and the refresh message named in the shared
// section; once per process, at start-up.
void RegisterModuleMessages();

// kHookRemovedMessageName
extern UINT g_uHookRemovedMsg;
void AnnounceHookRemoved();

// kTestQueryMessageName: what it asks.
enum TestQuery : WPARAM {
    kTestQueryIdentity = 0,     // kTestQueryAnswer | flags << 16 | host index
    kTestQueryRecordCount = 1,  // kTestQueryAnswer | records in the table
    kTestQuerySendItem = 2,     // lParam: a window, sent the description below
};
constexpr LRESULT kTestQueryAnswer = 0x40000000;

// The send item of a hooked window described to the asking window with
// WM_COPYDATA, one line each: "item <left> <top> <right> <bottom>" for the
// menu bar item or "button <left> <top> <right> <bottom>" (on the screen),
// "cmd <position> <identifier>", and "line <depth> <identifier> <flags>
// <text>" for each item of the send popup in order (for a button, the popup
// its next click opens). Menus of one process cannot be read from another under Wine, so
// the module tells it from inside the host.
constexpr unsigned kSendItemLineSeparator = 0x1;
constexpr unsigned kSendItemLineGrayed = 0x2;
extern UINT g_uTestQueryMsg;

// kPlaceItemMessageName: the menu worker asks the window's own thread to place
// the item.
extern UINT g_uPlaceItemMsg;
