#include "hook/base/shared_state.h"

#include <cstddef>
#include <cstring>

#include "exports/shared_section.h"

PFC_SHARED_SECTION_BEGIN
PFC_SHARED_VARIABLE SharedSection g_SharedSection = {{0}, {0}, {0}, 0, nullptr, nullptr, "PvPfcW32.ini", 0, 0, {0}};
PFC_SHARED_SECTION_END

char (&g_szModuleList)[kSharedListSize] = g_SharedSection.szModuleList;
char (&g_szIncludeList)[kSharedListSize] = g_SharedSection.szIncludeList;
// The process's own profile path: the one in the shared block can be written
// by any process of any user mapping the module, and is never read.
namespace {
char g_szProcessIniPath[kPathSize] = {};
}
char (&g_szIniPath)[kPathSize] = g_szProcessIniPath;
DWORD& g_dwHookParam = g_SharedSection.dwHookParam;
HHOOK& g_ShellHook = g_SharedSection.hShellHook;
HANDLE& g_hHookMutex = g_SharedSection.hHookMutex;

HINSTANCE g_hModuleInstance = nullptr;
HINSTANCE g_hResourceModule = nullptr;
UINT g_uRefreshMsg = 0;
volatile LONG g_nBusyThreads = 0;
CRITICAL_SECTION g_csMenuThread;
bool g_bMenuThreadLockCreated = false;

// Every process of every version of the module maps this block: its layout
// must stay exactly as declared.
static_assert(offsetof(SharedSection, szIncludeList) == kSharedListSize, "layout of the shared section");
static_assert(offsetof(SharedSection, szIniPath) == 2 * kSharedListSize, "layout of the shared section");
static_assert(offsetof(SharedSection, dwHookParam) == 2 * kSharedListSize + kPathSize, "layout of the shared section");
static_assert(offsetof(SharedSection, szRefreshMsgName) == offsetof(SharedSection, hHookMutex) + sizeof(HANDLE),
              "layout of the shared section");
static_assert(offsetof(SharedSection, dwSafeModeWatch) > offsetof(SharedSection, szRefreshMsgName),
              "safe mode's fields follow the original block");

const char* GetModuleEntry(int nIndex) {
    static const char kEmpty[] = "";
    if (nIndex < 0) return kEmpty;
    const char* pszEntry = g_szModuleList;
    const char* const pszEnd = g_szModuleList + kSharedListSize;
    for (int i = 0; i < nIndex; ++i) {
        if (*pszEntry == '\0') return kEmpty;
        const void* pNul = std::memchr(pszEntry, '\0', static_cast<size_t>(pszEnd - pszEntry));
        if (pNul == nullptr) return kEmpty;
        pszEntry = static_cast<const char*>(pNul) + 1;
        if (pszEntry >= pszEnd) return kEmpty;
    }
    // An entry that runs to the end of the block has no terminator of its own.
    if (std::memchr(pszEntry, '\0', static_cast<size_t>(pszEnd - pszEntry)) == nullptr) return kEmpty;
    return pszEntry;
}
