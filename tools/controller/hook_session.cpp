#include "hook_session.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "child_process.h"
#include "exit_codes.h"
#include "hook/base/hook_messages.h"
#include "printer_watch.h"
#include "program_paths.h"
#include "safe_mode_watch.h"
#include "send_module.h"

namespace controller {

namespace {

constexpr DWORD kTwinStartWaitMs = 30000;
constexpr DWORD kTwinEndWaitMs = 5000;

int Report(int nCode, const std::string& text) {
    std::fprintf(stderr, "pfcctl (%s-bit): %s\n", OwnBitness(), text.c_str());
    return nCode;
}

LRESULT CALLBACK ControllerWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    static const UINT s_uHookingOffMsg = RegisterWindowMessageA(kHookingOffMessageName);
    if (OnPrinterWatchMessage(hWnd, uMsg, wParam, lParam)) return 0;
    LRESULT lResult = 0;
    if (OnSafeModeMessage(hWnd, uMsg, wParam, lParam, &lResult)) return lResult;
    if (uMsg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    // Switched off in the settings, from a program of either bitness: our
    // hook goes too, and the next --hook finds hooking off until it is on.
    if (uMsg == s_uHookingOffMsg && s_uHookingOffMsg != 0) {
        std::printf("pfcctl (%s-bit): hooking switched off in the settings\n", OwnBitness());
        std::fflush(stdout);
        DestroyWindow(hWnd);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// Not visible: the controller has no user interface of its own, only a
// window that --unhook and the session can close.
HWND CreateControllerWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ControllerWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = ControllerWindowClass(Is64BitProgram());
    if (RegisterClassA(&wc) == 0) return nullptr;
    return CreateWindowA(wc.lpszClassName, "Tellarine send command", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                         wc.hInstance, nullptr);
}

// The module refuses to start in a process when the profile lists no
// programs (and says so itself). The profile is read where this program knows
// it lies; the path in the shared block can be written by any process.
bool ProfileListsNoPrograms() {
    char szModules[4] = {};
    GetPrivateProfileStringA("PFCModules", nullptr, "", szModules, sizeof szModules, ProfilePath().c_str());
    return szModules[0] == '\0';
}

int ReportRefusedStart() {
    return Report(kExitModuleMissing, "the module refused to start: [PFCModules] in " + ProfilePath() +
                                          " lists no programs; no hook installed");
}

// Why the module left the hook out: its answer is 0 either way.
int ExplainMissingHook() {
    const std::string profile = ProfilePath();
    if (ProfileListsNoPrograms()) return ReportRefusedStart();
    char szEnable[4] = {};
    GetPrivateProfileStringA("PFCWatch", "Enable", "", szEnable, sizeof szEnable, profile.c_str());
    if (szEnable[0] == '0') {
        return Report(kExitHookingOff,
                      "hooking is switched off in " + profile + " ([PFCWatch] Enable); no hook installed");
    }
    return Report(kExitHookRefused, "the system did not install the shell hook");
}

// Processes the hook reaches classify their windows against the lists in the
// shared block and read no profile themselves: a hand edit of the profile
// reaches windows created afterwards through this copy, made at most
// kListPublishMs after the edit. A list is written only when it changed.
constexpr DWORD kListPublishMs = 500;

void PublishList(const std::string& profile, const char* pszSection, char* pszShared) {
    char szList[kSharedListSize] = {};
    GetPrivateProfileStringA(pszSection, nullptr, "", szList, kSharedListSize, profile.c_str());
    if (std::memcmp(pszShared, szList, kSharedListSize) != 0) std::memcpy(pszShared, szList, kSharedListSize);
}

void PublishLists(SharedSection* pShared) {
    const std::string profile = ProfilePath();
    PublishList(profile, "PFCModules", pShared->szModuleList);
    PublishList(profile, "PFCInclude", pShared->szIncludeList);
    PublishSafeMode(pShared, profile);
}

// Runs the message loop until the controller is closed or, for a twin, until
// the first controller ends, and keeps the shared lists current meanwhile.
void RunMessageLoop(HANDLE hWatched, SharedSection* pShared) {
    const DWORD nHandles = hWatched != nullptr ? 1 : 0;
    ULONGLONG ullLastPublish = 0;
    for (;;) {
        const ULONGLONG ullNow = GetTickCount64();
        if (ullNow - ullLastPublish >= kListPublishMs) {
            PublishLists(pShared);
            ullLastPublish = ullNow;
        }
        const DWORD dwWait = MsgWaitForMultipleObjects(nHandles, &hWatched, FALSE, kListPublishMs, QS_ALLINPUT);
        if (nHandles == 1 && dwWait == WAIT_OBJECT_0) return;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

// The 64-bit controller that holds the 64-bit hook beside ours.
class Twin {
public:
    // Starts it and waits until its hook is in; false (with the message said)
    // when it could not be started or ended without installing its hook.
    bool Start(int* pnCode) {
        // What the twin waits on to see us end.
        platform::unique_handle hSelf(OpenProcess(SYNCHRONIZE, TRUE, GetCurrentProcessId()));
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        platform::unique_handle hReady(CreateEventA(&inherit, TRUE, FALSE, nullptr));
        if (!hSelf || !hReady) {
            *pnCode = Report(kExitSystemFailure, "cannot prepare the start of the 64-bit controller");
            return false;
        }
        const std::string program = TwinProgramPath();
        const std::string arguments = "--hook --twin " + std::to_string(reinterpret_cast<UINT_PTR>(hSelf.get())) +
                                      " " + std::to_string(reinterpret_cast<UINT_PTR>(hReady.get()));
        ChildProcess child;
        if (!StartWithOurOutput(program, arguments, &child)) {
            *pnCode = Report(kExitModuleMissing, "cannot start the 64-bit controller " + program + " (error " +
                                                     std::to_string(GetLastError()) + ")");
            return false;
        }
        m_hProcess = std::move(child.hProcess);
        m_dwThreadId = child.dwThreadId;

        const HANDLE handles[] = {hReady.get(), m_hProcess.get()};
        const DWORD dwWait = WaitForMultipleObjects(2, handles, FALSE, kTwinStartWaitMs);
        if (dwWait == WAIT_OBJECT_0) return true;
        DWORD dwExit = 0;
        if (dwWait == WAIT_OBJECT_0 + 1 && GetExitCodeProcess(m_hProcess.get(), &dwExit) && dwExit != kExitOk) {
            // It said why itself; its reason is ours (hooking off, module missing, ...).
            *pnCode = static_cast<int>(dwExit);
        } else {
            *pnCode = Report(kExitTwinFailed, "the 64-bit controller did not install its hook");
        }
        Stop();
        return false;
    }

    // Asks it to take its hook out and end; a twin that does not end in time
    // is ended, and the system takes its hook with it.
    void Stop() {
        if (!m_hProcess) return;
        PostThreadMessageA(m_dwThreadId, WM_QUIT, 0, 0);
        if (WaitForSingleObject(m_hProcess.get(), kTwinEndWaitMs) != WAIT_OBJECT_0) {
            TerminateProcess(m_hProcess.get(), kExitNotEnded);
            WaitForSingleObject(m_hProcess.get(), kTwinEndWaitMs);
        }
        m_hProcess.reset();
    }

    ~Twin() { Stop(); }

private:
    platform::unique_handle m_hProcess;
    DWORD m_dwThreadId = 0;
};

}  // namespace

bool ParseTwinLink(const char* pszParent, const char* pszReady, TwinLink* pLink) {
    char* pszEnd = nullptr;
    const unsigned long long ullParent = std::strtoull(pszParent, &pszEnd, 10);
    if (*pszEnd != '\0' || ullParent == 0) return false;
    const unsigned long long ullReady = std::strtoull(pszReady, &pszEnd, 10);
    if (*pszEnd != '\0' || ullReady == 0) return false;
    pLink->hParentProcess = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(ullParent));
    pLink->hReadyEvent = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(ullReady));
    return true;
}

int RunHooked(const TwinLink* pLink) {
    // Taken before anything else: two controllers of one bitness would
    // install the hook twice and the first to end would take it from both.
    platform::unique_handle hInstance(CreateMutexA(nullptr, FALSE, OwnInstanceMutexName()));
    if (!hInstance) return Report(kExitSystemFailure, "cannot create the controller's instance mutex");
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        return Report(kExitAlreadyHooked, "a controller already holds the hook; nothing done");
    }
    // Inherited handles are ours to close, whatever happens below.
    platform::unique_handle hParent(pLink != nullptr ? pLink->hParentProcess : nullptr);
    platform::unique_handle hReady(pLink != nullptr ? pLink->hReadyEvent : nullptr);

    SendModule module(SendModule::Mode::kRun);
    if (!module.Loaded() || module.Shared() == nullptr) {
        return Report(kExitModuleMissing, "cannot load " + module.Path() + " (error " +
                                              std::to_string(GetLastError()) + ")");
    }
    // The module starts on its first call. Asked to remove a hook it never
    // installed, it runs its start-up, which says itself when it refuses;
    // the twin is then not started to say it a second time.
    if (!module.SetHooking(false)) return Report(kExitModuleMissing, module.Path() + " lacks VXPFCWSetHooking");
    if (ProfileListsNoPrograms()) return ReportRefusedStart();
    Twin twin;
    if (pLink == nullptr && !Is64BitProgram() && IsOn64BitSystem()) {
        int nCode = kExitOk;
        if (!twin.Start(&nCode)) return nCode;
    }
    if (!module.SetHooking(true)) return Report(kExitModuleMissing, module.Path() + " lacks VXPFCWSetHooking");
    if (module.Shared()->hShellHook == nullptr) return ExplainMissingHook();
    // The window is what --unhook finds: it appears once every hook of this
    // controller is in.
    const HWND hWindow = CreateControllerWindow();
    if (hWindow == nullptr) {
        twin.Stop();
        module.SetHooking(false);
        return Report(kExitSystemFailure, "cannot create the controller window");
    }
    // Without its timer the watch misses only the hosts that die while
    // printing; the hook itself is in.
    if (!StartPrinterWatch(hWindow))
        std::fprintf(stderr, "pfcctl (%s-bit): cannot start the printer watch\n", OwnBitness());
    // Without it, programs that keep crashing go on being served; the hook
    // itself is in.
    if (!StartSafeModeWatch(hWindow, module.SharedForWrite()))
        std::fprintf(stderr, "pfcctl (%s-bit): cannot start the safe mode watch\n", OwnBitness());
    if (hReady) SetEvent(hReady.get());
    std::printf("pfcctl (%s-bit): hook installed\n", OwnBitness());
    std::fflush(stdout);

    RunMessageLoop(hParent.get(), module.SharedForWrite());

    twin.Stop();
    module.SetHooking(false);
    std::printf("pfcctl (%s-bit): hook removed\n", OwnBitness());
    return kExitOk;
}

}  // namespace controller
