#include "hook/module_lifetime.h"

#include <cstring>

#include "config/profile.h"
#include "hook/hooked_wnd.h"
#include "hook/late_show.h"
#include "hook/hook_messages.h"
#include "hook/hooked_wnd_table.h"
#include "hook/menu_wait_thread.h"
#include "hook/shared_state.h"
#include "toolbar/send_button.h"
#include "hook/trace.h"
#include "oem/oem.h"
#include "suite/library_frame.h"
#include "suite/suite_settings.h"
#include "suite/user_messages.h"

namespace {

constexpr UINT kIdsApplicationTitle = 27010;
constexpr UINT kIdsNoHostList = 61733;
constexpr int kResourceLibraryKind = 4;
constexpr char kResourceLibraryName[] = "PavRes32.dll";
constexpr int kExitWaitAttempts = 6;
constexpr DWORD kExitWaitMs = 250;

using PavResGetInstanceProc = HINSTANCE(WINAPI*)(int);

// The mutex handle in the shared section is a handle of the process that
// created it; in any other process the same value names something else. Only
// the mutex this process made is closed here.
HANDLE g_hOwnHookMutex = nullptr;

// The suite's resource library as this process's start-up loaded it; given
// back at exit, since the hook loads and unloads this module many times in a
// long-lived process.
HMODULE g_hResourceLibrary = nullptr;

// Every process that starts reads the profile again while other processes
// classify their windows against the same shared block. The profile call
// builds its result in place, so reading straight into the shared block would
// let a reader see a half-written list; the text is read privately and the
// block is written only when it changes.
// pszRead is a zero-filled buffer of cb bytes, so equal texts compare equal.
void PublishShared(char* pszShared, const char* pszRead, size_t cb) {
    if (std::memcmp(pszShared, pszRead, cb) != 0) std::memcpy(pszShared, pszRead, cb);
}

HMODULE LoadResourceLibraryFrom(const char* pszFolder, size_t cchFolder) {
    char szPath[MAX_PATH];
    const size_t cchName = sizeof kResourceLibraryName;  // with its terminator
    if (cchFolder == 0 || cchFolder + 1 + cchName > MAX_PATH) return nullptr;
    std::memcpy(szPath, pszFolder, cchFolder);
    if (szPath[cchFolder - 1] != '\\') szPath[cchFolder++] = '\\';
    std::memcpy(szPath + cchFolder, kResourceLibraryName, cchName);
    if (GetFileAttributesA(szPath) == INVALID_FILE_ATTRIBUTES) return nullptr;
    return LoadLibraryExA(szPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadResourceLibrary() {
    // By full path only: a file of that name in the host's folder, its
    // current directory or the search path would otherwise run inside every
    // process the hook reaches.
    char szFolder[MAX_PATH] = {};
    const DWORD cchModule = GetModuleFileNameA(g_hModuleInstance, szFolder, MAX_PATH);
    if (cchModule > 0 && cchModule < MAX_PATH) {
        char* pSlash = std::strrchr(szFolder, '\\');
        if (pSlash != nullptr) {
            if (HMODULE hLibrary = LoadResourceLibraryFrom(szFolder, static_cast<size_t>(pSlash - szFolder)))
                return hLibrary;
        }
    }
    const UINT cchSystem = GetSystemDirectoryA(szFolder, MAX_PATH);
    if (cchSystem == 0 || cchSystem >= MAX_PATH) return nullptr;
    return LoadResourceLibraryFrom(szFolder, cchSystem);
}

}  // namespace

HINSTANCE LoadSuiteResourceModule() {
    // Stays loaded for the life of the process's use of this module: every
    // string, menu and bitmap comes from it.
    HMODULE hLibrary = LoadResourceLibrary();
    if (hLibrary == nullptr) return nullptr;
    auto pfnGetInstance =
        reinterpret_cast<PavResGetInstanceProc>(reinterpret_cast<void*>(GetProcAddress(hLibrary, "PavResGetInstance")));
    HINSTANCE hResources = pfnGetInstance != nullptr ? pfnGetInstance(kResourceLibraryKind) : nullptr;
    if (hResources == nullptr) {
        FreeLibrary(hLibrary);
        return nullptr;
    }
    if (g_hResourceLibrary != nullptr) FreeLibrary(g_hResourceLibrary);
    g_hResourceLibrary = hLibrary;
    return hResources;
}

void OnModuleLoad(HINSTANCE hInstance) {
    g_hModuleInstance = hInstance;
    g_uRefreshMsg = RegisterWindowMessageA(g_SharedSection.szRefreshMsgName);
    g_uTestQueryMsg = RegisterWindowMessageA(kTestQueryMessageName);
    g_uHookRemovedMsg = RegisterWindowMessageA(kHookRemovedMessageName);
    g_uPlaceItemMsg = RegisterWindowMessageA(kPlaceItemMessageName);
    InitializeLibrary();
}

bool StartModuleInProcess() {
    g_hResourceModule = LoadSuiteResourceModule();
    if (g_hResourceModule == nullptr) return false;

    char szTitle[64] = {};
    LoadStringA(g_hResourceModule, kIdsApplicationTitle, szTitle, sizeof szTitle);
    SetApplicationIdentity("VORLAND", szTitle, "Tellarine");

    StartLibrary(nullptr, 0);
    InstallBlankTemplateProvider();

    // The profile first, so that the trace setting holds for the rest of
    // the start-up.
    char szIniPath[kPathSize] = {};
    if (GetProfilePath(szIniPath) == LIBERR_OK) {
        PublishShared(g_szIniPath, szIniPath, kPathSize);
    }
    LoadTraceSetting();

    ReadOemId(&OemMenuSet);
    LoadOemMenuSet(&OemMenuSet, kOemMenuSlot);
    PrepareOemMenuItems();

    char szModuleList[kSharedListSize] = {};
    const DWORD cchModules = ReadProfileKeyList(kSectionModules, szModuleList, kSharedListSize);
    PublishShared(g_szModuleList, szModuleList, kSharedListSize);
    if (cchModules == 0) {
        ShowFormattedMessage(kIdsNoHostList, g_szIniPath, MB_SYSTEMMODAL);
        return false;
    }
    LoadIncludeList();

    g_nBusyThreads = 0;
    if (!g_bMenuThreadLockCreated) {
        InitializeCriticalSection(&g_csMenuThread);
        g_bMenuThreadLockCreated = true;
    }
    return true;
}

int ExitModuleInProcess() {
    FreeOemMenuSet();
    StopLibrary();
    // Every window of this process gets its own procedure back before the
    // code of ours it runs through goes away.
    UnhookAllWindows();
    StopShowWatches();
    // The system keeps a module's window classes after it leaves; a later
    // load at another address would find the button class pointing here.
    UnregisterSendButtonClass();
    for (int nAttempt = 0; nAttempt < kExitWaitAttempts && g_nBusyThreads >= 1; ++nAttempt) Sleep(kExitWaitMs);
    // A worker still running after the wait may still take the lock: it
    // is left to it rather than deleted under it.
    if (g_bMenuThreadLockCreated && g_nBusyThreads < 1) {
        DeleteCriticalSection(&g_csMenuThread);
        g_bMenuThreadLockCreated = false;
    }
    if (g_hResourceLibrary != nullptr) {
        g_hResourceModule = nullptr;
        FreeLibrary(g_hResourceLibrary);
        g_hResourceLibrary = nullptr;
    }
    return 0;
}

void OnModuleUnload() {
    TeardownLibrary();
}

bool IsHookingEnabled() { return ReadHookingEnabled(); }

void LoadIncludeList() {
    char szIncludeList[kSharedListSize] = {};
    ReadProfileKeyList(kSectionInclude, szIncludeList, kSharedListSize);
    PublishShared(g_szIncludeList, szIncludeList, kSharedListSize);
}

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

extern "C" DWORD WINAPI VXPFCWSetHooking(BOOL bHook, DWORD, DWORD, DWORD dwParam) {
    g_dwHookParam = dwParam;
    if (bHook && IsHookingEnabled()) {
        g_ShellHook = SetWindowsHookExA(WH_SHELL, ShellProc, g_hModuleInstance, 0);
        g_hHookMutex = CreateMutexA(nullptr, FALSE, "VXPFCWSetHooking");
        g_hOwnHookMutex = g_hHookMutex;
        return 0;
    }
    UnhookAllWindows();
    if (g_ShellHook != nullptr) {
        UnhookWindowsHookEx(g_ShellHook);
        g_ShellHook = nullptr;
        AnnounceHookRemoved();
    }
    if (g_hOwnHookMutex != nullptr) {
        CloseHandle(g_hOwnHookMutex);
        g_hOwnHookMutex = nullptr;
    }
    g_hHookMutex = nullptr;
    return 0;
}
