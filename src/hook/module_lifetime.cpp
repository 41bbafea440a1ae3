#include "hook/module_lifetime.h"

#include <atomic>
#include <cstring>
#include <utility>

#include "config/profile.h"
#include "hook/base/hooked_wnd.h"
#include "hook/late_show.h"
#include "hook/base/hook_messages.h"
#include "hook/hooked_wnd_table.h"
#include "hook/menu_wait_thread.h"
#include "hook/base/shared_state.h"
#include "hook/subclassing.h"
#include "hook/base/target_selection.h"
#include "platform/fault_guard.h"
#include "platform/no_destructor.h"
#include "platform/seams.h"
#include "platform/unique_handle.h"
#include "toolbar/send_button.h"
#include "hook/base/trace.h"
#include "oem/oem.h"
#include "suite/library_frame.h"
#include "suite/suite_settings.h"
#include "suite/user_messages.h"
#include "resource_ids.h"

namespace {

constexpr int kResourceLibraryKind = 4;
constexpr char kResourceLibraryName[] = "PavRes32.dll";
constexpr int kExitWaitAttempts = 6;
constexpr DWORD kExitWaitMs = 250;

using PavResGetInstanceProc = HINSTANCE(WINAPI*)(int);

// The mutex handle in the shared section is a handle of the process that
// created it; in any other process the same value names something else. Only
// the mutex this process made is closed here. Owners that are never
// destroyed at process end: exit gives back what start-up took.
platform::NoDestructor<platform::unique_handle> g_OwnHookMutex;

// The suite's resource library as this process's start-up loaded it; given
// back at exit, since the hook loads and unloads this module many times in a
// long-lived process.
platform::NoDestructor<platform::unique_hmodule> g_ResourceLibrary;

// Every process that starts reads the profile again while other processes
// classify their windows against the same shared block. The profile call
// builds its result in place, so reading straight into the shared block would
// let a reader see a half-written list; the text is read privately and the
// block is written only when it changes.
// pszRead is a zero-filled buffer of cb bytes, so equal texts compare equal.
void PublishShared(char* pszShared, const char* pszRead, size_t cb) {
    if (std::memcmp(pszShared, pszRead, cb) != 0) std::memcpy(pszShared, pszRead, cb);
}

// What this process's start-up took, so that exit gives back exactly that.
bool g_bModuleStateInitialized = false;
bool g_bLibraryStartedHere = false;
bool g_bOemSetLoaded = false;

INIT_ONCE g_ServingOnce = INIT_ONCE_STATIC_INIT;
bool g_bServing = false;
// [PFCModules] was empty: the module does nothing in this process, and says
// so once.
bool g_bNoHostListPending = false;
volatile LONG g_nNoHostListShown = 0;

void StartServing() {
    if (StartModuleInProcess()) {
        g_bServing = true;
    } else if (g_hResourceModule != nullptr) {
        g_bNoHostListPending = true;
    }
}

// A fault in the start-up ends the start-up, not the one-time initialisation
// around it: every later call finds it settled, and the module does nothing
// in this process.
BOOL CALLBACK StartServingOnce(PINIT_ONCE, void*, void**) {
    auto start = [] { StartServing(); };
    if (!platform::RunFaultGuarded(start)) {
        g_bServing = false;
        g_bNoHostListPending = false;
        Trace("StartModuleInProcess CAP_CATCH", nullptr);
    }
    return TRUE;
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
    platform::unique_hmodule library(LoadResourceLibrary());
    if (!library) return nullptr;
    auto pfnGetInstance = reinterpret_cast<PavResGetInstanceProc>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), "PavResGetInstance")));
    HINSTANCE hResources = pfnGetInstance != nullptr ? pfnGetInstance(kResourceLibraryKind) : nullptr;
    if (hResources == nullptr) return nullptr;
    *g_ResourceLibrary = std::move(library);
    return hResources;
}

void OnModuleLoad(HINSTANCE hInstance) { g_hModuleInstance = hInstance; }

void InitializeModuleState() {
    if (g_bModuleStateInitialized) return;
    RegisterModuleMessages();
    InitializeLibrary();
    g_bModuleStateInitialized = true;
}

bool EnsureModuleServing() {
    EnsureModuleStarted();
    InitOnceExecuteOnce(&g_ServingOnce, StartServingOnce, nullptr, nullptr);
    // The message goes up outside the one-time lock: other threads of the
    // host go on meanwhile, and the box's own window-created notification
    // finds the start-up settled.
    if (g_bNoHostListPending && InterlockedExchange(&g_nNoHostListShown, 1) == 0)
        ShowFormattedMessage(IDS_NO_HOST_LIST, g_szIniPath, MB_SYSTEMMODAL);
    return g_bServing;
}

bool StartForSuiteProgram() {
    EnsureModuleServing();
    return !g_bNoHostListPending;
}

bool StartModuleInProcess() {
    InitializeModuleState();
    if (g_hResourceModule == nullptr) g_hResourceModule = LoadSuiteResourceModule();
    if (g_hResourceModule == nullptr) return false;

    char szTitle[64] = {};
    LoadStringA(g_hResourceModule, IDS_APPLICATION_TITLE, szTitle, sizeof szTitle);
    SetApplicationIdentity("VORLAND", szTitle, "Tellarine");

    if (!IsLibraryStarted() && StartLibrary(nullptr, 0) == LIBERR_OK) g_bLibraryStartedHere = true;
    InstallBlankTemplateProvider();

    // The path comes from this process's own view of the suite key, never
    // from the shared block, which any process of any user can write. It is
    // still published there for the controller's report.
    char szIniPath[kPathSize] = {};
    if (GetProfilePath(szIniPath) == LIBERR_OK) {
        lstrcpynA(g_szIniPath, szIniPath, kPathSize);
        PublishShared(g_SharedSection.szIniPath, szIniPath, kPathSize);
    }
    LoadDiagnosticSettings();

    if (!g_bOemSetLoaded) {
        ReadOemId(&OemMenuSet);
        LoadOemMenuSet(&OemMenuSet, kOemMenuSlot);
        PrepareOemMenuItems();
        g_bOemSetLoaded = true;
    }

    char szModuleList[kSharedListSize] = {};
    const DWORD cchModules = ReadProfileKeyList(kSectionModules, szModuleList, kSharedListSize);
    PublishShared(g_szModuleList, szModuleList, kSharedListSize);
    if (cchModules == 0) return false;
    LoadIncludeList();

    g_nBusyThreads = 0;
    if (!g_bMenuThreadLockCreated) {
        InitializeCriticalSection(&g_csMenuThread);
        g_bMenuThreadLockCreated = true;
    }
    return true;
}

int ExitModuleInProcess() {
    if (g_bOemSetLoaded) {
        FreeOemMenuSet();
        g_bOemSetLoaded = false;
    }
    if (g_bLibraryStartedHere) {
        StopLibrary();
        g_bLibraryStartedHere = false;
    }
    // Every window of this process gets its own procedure back before the
    // code of ours it runs through goes away.
    UnhookAllWindows();
    StopShowWatches();
    // The system keeps a module's window classes after it leaves; a later
    // load at another address would find the button class pointing here.
    if (*g_ResourceLibrary) UnregisterSendButtonClass();
    for (int nAttempt = 0; nAttempt < kExitWaitAttempts && g_nBusyThreads >= 1; ++nAttempt)
        platform::GetSeams().pfnExitWait(kExitWaitMs);
    // A worker still running after the wait may still take the lock: it
    // is left to it rather than deleted under it.
    if (g_bMenuThreadLockCreated && g_nBusyThreads < 1) {
        DeleteCriticalSection(&g_csMenuThread);
        g_bMenuThreadLockCreated = false;
    }
    if (*g_ResourceLibrary) {
        g_hResourceModule = nullptr;
        g_ResourceLibrary->reset();
    }
    return 0;
}

bool ModuleStartedInProcess() { return g_bModuleStateInitialized; }

void OnModuleUnload() {
    ReleaseHookedWndTable();
    if (!g_bModuleStateInitialized) return;
    TeardownLibrary();
    g_bModuleStateInitialized = false;
}

bool IsHookingEnabled() { return ReadHookingEnabled(); }

void LoadIncludeList() {
    char szIncludeList[kSharedListSize] = {};
    ReadProfileKeyList(kSectionInclude, szIncludeList, kSharedListSize);
    PublishShared(g_szIncludeList, szIncludeList, kSharedListSize);
}

void InstallShellHook(HOOKPROC pfnShellProc) {
    g_ShellHook = SetWindowsHookExA(WH_SHELL, pfnShellProc, g_hModuleInstance, 0);
    g_hHookMutex = CreateMutexA(nullptr, FALSE, kSetHookingMutexName);
    g_OwnHookMutex->reset(g_hHookMutex);
}

void RemoveShellHook() {
    UnhookAllWindows();
    if (g_ShellHook != nullptr) {
        UnhookWindowsHookEx(g_ShellHook);
        g_ShellHook = nullptr;
        AnnounceHookRemoved();
    }
    g_OwnHookMutex->reset();
    g_hHookMutex = nullptr;
}
