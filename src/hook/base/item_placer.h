// How the send item of a hooked window is put in place, taken away and kept
// in place: the send popup at the end of a menu host's menu bar, or the send
// button in a button host's tool bar. A record gets its placer once, when its
// window is hooked; nothing later asks which kind of host it serves.
#pragma once

#include <windows.h>

#include "hook/base/hooked_wnd.h"

struct ItemPlacer {
    // False, with the host as it was, when the item cannot be placed now; the
    // refresh tries again later.
    BOOL (*pfnPlace)(HookedWndInfo* pInfo);
    // Takes the item away and clears the record's send-item part; bRedraw
    // redraws the menu bar the item leaves.
    void (*pfnRemove)(HookedWndInfo* pInfo, BOOL bRedraw);
    // Puts the item right after the host changed its menu bar or tool bar.
    void (*pfnRefresh)(HookedWndInfo* pInfo);
};

inline BOOL PlaceSendItem(HookedWndInfo* pInfo) { return pInfo->pPlacer->pfnPlace(pInfo); }
inline void RemoveSendItem(HookedWndInfo* pInfo, BOOL bRedraw) { pInfo->pPlacer->pfnRemove(pInfo, bRedraw); }

// Taken away and placed anew, at the end of what the host shows now.
inline void ReinsertSendItem(HookedWndInfo* pInfo) {
    RemoveSendItem(pInfo, FALSE);
    PlaceSendItem(pInfo);
}
