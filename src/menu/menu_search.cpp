#include "menu/menu_search.h"

namespace {

// A host's menu is a tree it builds itself; a submenu that refers back to an
// ancestor would otherwise send the search round for ever.
constexpr int kMaxMenuDepth = 16;

bool FindMenuCommandAt(HMENU hMenu, UINT uCommandId, int nDepth) {
    const int nItems = GetMenuItemCount(hMenu);
    for (int i = 0; i < nItems; ++i) {
        HMENU hSubMenu = GetSubMenu(hMenu, i);
        if (hSubMenu != nullptr) {
            if (nDepth < kMaxMenuDepth && FindMenuCommandAt(hSubMenu, uCommandId, nDepth + 1)) return true;
        } else if (GetMenuItemID(hMenu, i) == uCommandId) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool FindMenuCommand(HMENU hMenu, UINT uCommandId) {
    if (hMenu == nullptr || !IsMenu(hMenu)) return false;
    return FindMenuCommandAt(hMenu, uCommandId, 0);
}
