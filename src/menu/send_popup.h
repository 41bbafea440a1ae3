// The send popup: built from the resource module's menu template, with the
// commands the suite's edition offers and the distributor's items, each
// renumbered to the identifiers of the window it is shown in.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"
#include "resource_ids.h"

struct HookedWndInfo;

// The suite flags that shape the popup; each output may be null. Defaults:
// both "ParvaneInfo" bits set and the install flag clear, when the suite's
// values cannot be read.
void ReadSuiteFlags(BOOL* pbBit1, BOOL* pbBit0, BOOL* pbInstallFlag);

// The popup with the record's command identifiers, or none when the template
// cannot be loaded.
platform::unique_hmenu BuildSendPopupMenu(HookedWndInfo* pInfo);
