#include "menu/send_item.h"

BOOL AddHookedMenuItem(HookedWndInfo*) {
    // No send popup or button is built yet.
    return FALSE;
}

void RemoveHookedItem(HookedWndInfo*, BOOL) {
    // No item is ever placed yet, so there is none to remove.
}
