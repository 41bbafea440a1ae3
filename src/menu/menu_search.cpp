#include "menu/menu_search.h"

#include <cstring>

#include "config/profile.h"

namespace {

// A host's menu is a tree it builds itself; a submenu that refers back to an
// ancestor would otherwise send the search round for ever.
constexpr int kMaxMenuDepth = 16;

// Names are compared against at most this much of an item's text.
constexpr int kItemTextSize = 30;

bool IsSubMenuItem(HMENU hMenu, int nPos) { return GetMenuItemID(hMenu, nPos) == static_cast<UINT>(-1); }

bool FindMenuCommandAt(HMENU hMenu, UINT uCommandId, int nDepth, int* pnPos) {
    const int nItems = GetMenuItemCount(hMenu);
    for (int i = 0; i < nItems; ++i) {
        bool bFound = false;
        if (IsSubMenuItem(hMenu, i)) {
            HMENU hSubMenu = GetSubMenu(hMenu, i);
            int nInner = 0;
            bFound = hSubMenu != nullptr && nDepth < kMaxMenuDepth &&
                     FindMenuCommandAt(hSubMenu, uCommandId, nDepth + 1, &nInner);
        } else {
            bFound = GetMenuItemID(hMenu, i) == uCommandId;
        }
        if (bFound) {
            *pnPos = i;
            return true;
        }
    }
    return false;
}

// The item text as names are matched against it: up to the first TAB (the
// shortcut after it is not part of the name), letters and blanks only.
std::string CleanItemText(const char* pszText) {
    std::string clean;
    for (const char* p = pszText; *p != '\0' && *p != '\t'; ++p) {
        if (*p == ' ' || IsCharAlphaA(*p)) clean += *p;
    }
    return clean;
}

bool NameListMatches(const std::string& names, const std::string& text) {
    size_t nStart = 0;
    for (;;) {
        const size_t nComma = names.find(',', nStart);
        // A name needs at least one character and its comma; an unended last
        // name is not a name.
        if (nComma == std::string::npos || nComma == nStart) return false;
        const std::string name = names.substr(nStart, nComma - nStart);
        if (CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.c_str(), -1, text.c_str(), -1) == CSTR_EQUAL)
            return true;
        nStart = nComma + 1;
    }
}

UINT FindCommandByNamesAt(HMENU hMenu, const std::string& names, int nDepth) {
    const int nItems = GetMenuItemCount(hMenu);
    for (int i = 0; i < nItems; ++i) {
        if (IsSubMenuItem(hMenu, i)) {
            HMENU hSubMenu = GetSubMenu(hMenu, i);
            if (hSubMenu != nullptr && nDepth < kMaxMenuDepth) {
                const UINT uFound = FindCommandByNamesAt(hSubMenu, names, nDepth + 1);
                if (uFound != 0) return uFound;
            }
            continue;
        }
        char szText[kItemTextSize] = {};
        if (GetMenuStringA(hMenu, i, szText, kItemTextSize, MF_BYPOSITION) <= 0) continue;
        const std::string clean = CleanItemText(szText);
        if (!clean.empty() && NameListMatches(names, clean)) return GetMenuItemID(hMenu, i);
    }
    return 0;
}

}  // namespace

bool FindMenuCommand(HMENU hMenu, UINT uCommandId, HMENU* phFoundMenu, int* pnFoundPos) {
    if (hMenu == nullptr || !IsMenu(hMenu)) return false;
    int nPos = 0;
    if (!FindMenuCommandAt(hMenu, uCommandId, 0, &nPos)) return false;
    if (phFoundMenu != nullptr) *phFoundMenu = hMenu;
    if (pnFoundPos != nullptr) *pnFoundPos = nPos;
    return true;
}

void AllocMenuCommandID(HMENU hMenu, UINT uBaseId, UINT* puSlot, const UINT* aTaken, size_t nTaken) {
    auto isTaken = [&](UINT uId) {
        for (size_t i = 0; i < nTaken; ++i) {
            if (&aTaken[i] != puSlot && aTaken[i] == uId) return true;
        }
        return FindMenuCommand(hMenu, uId);
    };
    UINT uId = uBaseId;
    while (isTaken(uId)) ++uId;
    *puSlot = uId;
}

bool RenameMenuCommand(HMENU hMenu, UINT uOldId, UINT uFlags, UINT uNewId) {
    char szText[260] = {};
    if (GetMenuStringA(hMenu, uOldId, szText, sizeof szText, MF_BYCOMMAND) <= 0) return false;
    return ModifyMenuA(hMenu, uOldId, uFlags | MF_BYCOMMAND | MF_STRING, uNewId, szText) != FALSE;
}

bool ReadNumberedList(const char* pszWatchKey, const char* pszSection, const char* pszStem, std::string* pList) {
    *pList = ReadJoinedNumberedKeys(pszWatchKey != nullptr ? kSectionWatch : nullptr, pszWatchKey, pszSection, pszStem);
    return !pList->empty();
}

UINT FindCommandByNames(HMENU hMenu, const std::string& names) {
    if (hMenu == nullptr || names.empty()) return 0;
    return FindCommandByNamesAt(hMenu, names, 0);
}

UINT FindPrintCmd(const char* pszHostSection, HMENU hMenu) {
    std::string names;
    ReadNumberedList(kKeyPrint, pszHostSection, kStemPrint, &names);
    return FindCommandByNames(hMenu, names);
}
