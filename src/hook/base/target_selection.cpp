// Which new windows become hosts, and with which host index. Everything here
// runs on every window creation of every process while the hook is in place:
// it works on the lists already in the shared section and on a few
// window-class searches, and never reads past either 4096-byte list, whatever
// another process has left in it.
#include <cctype>
#include <cstring>

#include "hook/base/hooked_wnd.h"
#include "hook/base/target_selection.h"
#include "hook/base/shared_state.h"
#include "hook/base/trace.h"

namespace {

char UpperOf(char ch) { return static_cast<char>(std::toupper(static_cast<unsigned char>(ch))); }

// Offset of the entry after the one starting at nOffset, or kSharedListSize
// when the list's block ends first.
int NextEntry(const char* pszList, int nOffset) {
    while (nOffset < kSharedListSize && pszList[nOffset] != '\0') ++nOffset;
    return nOffset + 1;
}

}  // namespace

BOOL GetModuleName(char* pszModuleName, HWND) {
    char szPath[kPathSize] = {};
    const DWORD cch = GetModuleFileNameA(nullptr, szPath, kPathSize);
    // Older systems leave a cut path without its terminator.
    szPath[cch < kPathSize ? cch : kPathSize - 1] = '\0';
    return ModuleNameFromPath(szPath, pszModuleName);
}

BOOL ModuleNameFromPath(const char* pszPath, char* pszModuleName) {
    const char* pszName = std::strrchr(pszPath, '\\');
    pszName = pszName != nullptr ? pszName + 1 : pszPath;
    lstrcpynA(pszModuleName, pszName, kPathSize);
    CharUpperA(pszModuleName);
    return lstrcmpA(pszModuleName, "KERNEL32.DLL") != 0;
}

BOOL IsLoadedModule(const char* pszModuleName) {
    // Only asked, never loaded: a name cut from a long path can be a folder's
    // or any other file's, and loading it would run whatever carries it.
    HMODULE hModule = nullptr;
    return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, pszModuleName, &hModule);
}

BOOL IsIncludedModule(const char* pszModuleName) {
    const char* const pszList = g_szIncludeList;
    int nEntry = 0;
    while (nEntry < kSharedListSize && pszList[nEntry] != '\0') {
        int i = nEntry;
        while (i < kSharedListSize && pszList[i] != '\0' && pszList[i] != '(') ++i;
        if (i < kSharedListSize && pszList[i] == '(') {
            // The text between the parentheses is a prefix of the module name.
            ++i;
            for (const char* pszName = pszModuleName; i < kSharedListSize; ++i, ++pszName) {
                const char chInclude = pszList[i];
                if (chInclude == ')') return TRUE;
                // An entry's end without ')' matches nothing, also when the
                // module name ends at the same place.
                if (chInclude == '\0' || *pszName == '\0' || UpperOf(chInclude) != UpperOf(*pszName)) break;
            }
        }
        nEntry = NextEntry(pszList, nEntry);
    }
    return FALSE;
}

BOOL IncludeEntryMatches(const char* pszEntry, const char* pszModuleName) {
    const char* p = std::strchr(pszEntry, '(');
    if (p == nullptr) return FALSE;
    for (const char* pszName = pszModuleName;; ++pszName) {
        const char chInclude = *++p;
        if (chInclude == ')') return TRUE;
        if (chInclude == '\0' || *pszName == '\0' || UpperOf(chInclude) != UpperOf(*pszName)) return FALSE;
    }
}

int FindModuleListPosition(const char* pszModuleName) {
    const char* const pszList = g_szModuleList;
    int nPosition = 0;
    for (int nEntry = 0; nEntry < kSharedListSize && pszList[nEntry] != '\0';
         nEntry = NextEntry(pszList, nEntry), ++nPosition) {
        // An entry cut by the end of the block has no terminator: no match.
        if (std::memchr(pszList + nEntry, '\0', static_cast<size_t>(kSharedListSize - nEntry)) == nullptr) break;
        if (lstrcmpA(pszList + nEntry, pszModuleName) == 0) return nPosition;
    }
    return -1;
}
