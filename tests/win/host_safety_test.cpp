// What the module must never do to a host: recurse through its own
// procedure, lose a message to the default procedure, start a thread per
// request, or keep a lock, flag or reference after a fault of its own.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "hook/base/hooked_wnd.h"
#include "hook/module_lifetime.h"
#include "hook_test_support.h"
#include "pump.h"
#include "platform/fault_guard.h"
#include "platform/seams.h"
#include "platform/unique_handle.h"
#include "shared_lists.h"
#include "window_tree.h"

using test_support::HookSeamRecorder;
using test_support::SharedListsScope;
using test_support::WindowTree;

namespace {

constexpr UINT kProbe = WM_APP + 21;

// Every message of interest the host's own procedure saw, in order.
std::vector<UINT>& Seen() {
    static std::vector<UINT> seen;
    return seen;
}
size_t CountSeen(UINT uMsg) { return static_cast<size_t>(std::count(Seen().begin(), Seen().end(), uMsg)); }

LRESULT CALLBACK HostProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case kProbe:
        case WM_CLOSE:
        case WM_INITMENUPOPUP:
        case WM_MENUSELECT:
            Seen().push_back(uMsg);
            if (uMsg == kProbe) return static_cast<LRESULT>(wParam + 1);
            if (uMsg == WM_CLOSE) return 0;  // a host that asks before it closes
            break;
        default:
            if (uMsg == g_uRefreshMsg) Seen().push_back(uMsg);
            break;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

WNDPROC g_pfnBelowLater = nullptr;
volatile LONG g_nLaterCalls = 0;
LRESULT CALLBACK LaterSubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == kProbe) InterlockedIncrement(&g_nLaterCalls);
    return CallWindowProcA(g_pfnBelowLater, hWnd, uMsg, wParam, lParam);
}

WNDPROC WndProcOf(HWND hWnd) { return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hWnd, GWLP_WNDPROC)); }

size_t CountThreadsOfThisProcess() {
    platform::unique_handle hSnapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    size_t nThreads = 0;
    for (BOOL bMore = Thread32First(hSnapshot.get(), &entry); bMore; bMore = Thread32Next(hSnapshot.get(), &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++nThreads;
    return nThreads;
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}


class HostSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CountHookedWindows(), 0u);
        Seen().clear();
        tree.RegisterWithProc("PfcSafeHost", HostProc);
    }
    void TearDown() override {
        platform::ArmFaultPoint(platform::FaultPoint::kNone);
        UnhookAllWindows();
        EXPECT_EQ(CountHookedWindows(), 0u);
    }
    HWND Host() {
        HMENU hMenu = CreateMenu();
        HMENU hFile = CreatePopupMenu();
        AppendMenuA(hFile, MF_STRING, 101, "&Print...");
        AppendMenuA(hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(hFile), "&File");
        HWND hWnd = CreateWindowExA(0, "PfcSafeHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                    nullptr, hMenu, GetModuleHandleA(nullptr), nullptr);
        tree.Adopt(hWnd);
        return hWnd;
    }

    HookSeamRecorder seams;
    WindowTree tree;
};

// Windows raises the window-created notification again when a hidden
// top-level window is shown; a window we still reach through somebody's
// later subclass must not get HookProc under itself.
TEST_F(HostSafetyTest, SecondCreationNoticeUnderALaterSubclassServesWithoutRecursion) {
    HWND hWnd = Host();
    TryToHookThisWnd(hWnd, kHostGeneric);
    g_pfnBelowLater = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LaterSubclassProc)));
    UnhookAllWindows();
    ASSERT_EQ(LaterSubclassProc, WndProcOf(hWnd));
    TryToHookThisWnd(hWnd, kHostGeneric);
    EXPECT_NE(nullptr, FindHookedWnd(hWnd, nullptr)) << "served again";
    g_nLaterCalls = 0;
    EXPECT_EQ(8, SendMessageA(hWnd, kProbe, 7, 0));
    EXPECT_EQ(1u, CountSeen(kProbe));
    EXPECT_EQ(1, g_nLaterCalls);
    EXPECT_EQ(LaterSubclassProc, WndProcOf(hWnd)) << "nobody's chain was cut";
}

// Switching hooking off in one thread of a host gives back the windows of
// its other threads through those threads; a message that was already on
// its way to HookProc goes to the host's procedure, never to the default
// one (a WM_CLOSE there would close the window without the host's prompt).
TEST_F(HostSafetyTest, WindowsOfOtherThreadsAreGivenBackThroughTheirThreads) {
    HWND hWnd = nullptr;
    platform::unique_handle hReady(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    DWORD dwOtherThread = 0;
    std::thread other([&] {
        dwOtherThread = GetCurrentThreadId();
        hWnd = CreateWindowExA(0, "PfcSafeHost", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                               CreateMenu(), GetModuleHandleA(nullptr), nullptr);
        AppendMenuA(GetMenu(hWnd), MF_STRING, 1, "&File");
        TryToHookThisWnd(hWnd, kHostGeneric);
        SetEvent(hReady.get());
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
        DestroyWindow(hWnd);
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hReady.get(), 5000));
    ASSERT_NE(nullptr, FindHookedWnd(hWnd, nullptr));

    UnhookAllWindows();
    EXPECT_EQ(HostProc, WndProcOf(hWnd));
    EXPECT_EQ(nullptr, FindHookedWnd(hWnd, nullptr));
    EXPECT_FALSE(seams.removes.empty()) << "the item went with the window's record";

    // The message HookProc was already called for.
    EXPECT_EQ(0, HookProc(hWnd, WM_CLOSE, 0, 0));
    EXPECT_EQ(1u, CountSeen(WM_CLOSE));
    EXPECT_TRUE(IsWindow(hWnd));

    PostThreadMessageA(dwOtherThread, WM_QUIT, 0, 0);
    other.join();
}

// Any process may post message 0x0402 to a browser host: however often, the
// window has at most one menu worker.
TEST_F(HostSafetyTest, RebuiltMenuNoticesShareOneWorkerPerWindow) {
    static platform::unique_handle s_hGo;
    s_hGo.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    seams.pfnOnSleep = [](DWORD) { WaitForSingleObject(s_hGo.get(), 10000); };
    HWND hWnd = Host();
    TryToHookThisWnd(hWnd, kHostBrowser);
    ASSERT_NE(nullptr, FindHookedWnd(hWnd, nullptr));
    const size_t nBefore = CountThreadsOfThisProcess();
    for (int i = 0; i < 200; ++i) PostMessageA(hWnd, kMsgHostMenuRebuilt, 0, 0);
    size_t nMost = 0;
    for (int i = 0; i < 40; ++i) {
        Pump();
        nMost = std::max(nMost, CountThreadsOfThisProcess());
        Sleep(5);
    }
    EXPECT_LE(nMost, nBefore + 1);
    SetEvent(s_hGo.get());
    EXPECT_TRUE(test_support::PumpUntil([] { return g_nBusyThreads == 0; }, 20000));
    EXPECT_TRUE(test_support::PumpUntil([&] { return FindHookedWnd(hWnd, nullptr)->bMenuWorkerRunning == FALSE; }, 5000));
}

// --- a fault of the module's own code at the deepest point of each handler ----

struct FaultCase {
    const char* pszWhere;
    platform::FaultPoint point;
    UINT uHostMessage;  // what the host must still get
    // Sends what makes the handler run in the first window.
    std::function<void(HWND hWnd, HookedWndInfo* pInfo)> trigger;
};

TEST_F(HostSafetyTest, FaultAtTheDeepestPointOfEachHandlerCostsTheHostNothing) {
    SharedListsScope lists;
    g_szIniPath[0] = '\0';
    static platform::unique_hmenu s_popup;
    const FaultCase kCases[] = {
        {"refresh", platform::FaultPoint::kRefresh, g_uRefreshMsg,
         [](HWND hWnd, HookedWndInfo*) { SendMessageA(hWnd, g_uRefreshMsg, 0, 0); }},
        {"send popup opening", platform::FaultPoint::kPopupOpening, WM_INITMENUPOPUP,
         [](HWND hWnd, HookedWndInfo* pInfo) {
             s_popup.reset(CreatePopupMenu());
             pInfo->hPopupMenu = std::move(s_popup);
             SendMessageA(hWnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(pInfo->hPopupMenu.get()), 0);
             s_popup = std::move(pInfo->hPopupMenu);
         }},
        {"Print learning", platform::FaultPoint::kPrintLearning, WM_MENUSELECT,
         [](HWND hWnd, HookedWndInfo* pInfo) {
             pInfo->dwFlags |= kHookFlagBrowser;
             SendMessageA(hWnd, WM_MENUSELECT, MAKEWPARAM(0, MF_POPUP), reinterpret_cast<LPARAM>(GetMenu(hWnd)));
         }},
        {"hooking", platform::FaultPoint::kHooking, kProbe,
         [](HWND hWnd, HookedWndInfo* pInfo) {
             size_t nPosition = 0;
             ASSERT_EQ(pInfo, FindHookedWnd(hWnd, &nPosition));
             UnhookThisWnd(pInfo, TRUE, nPosition);
             // The hooking step as the shell hook runs it, under its guard.
             auto hook = [hWnd] { TryToHookThisWnd(hWnd, kHostGeneric); };
             EXPECT_FALSE(platform::RunFaultGuarded(hook));
             SendMessageA(hWnd, kProbe, 1, 0);
         }},
    };
    for (const FaultCase& c : kCases) {
        SCOPED_TRACE(c.pszWhere);
        Seen().clear();
        HWND hFirst = Host();
        HWND hSecond = Host();
        TryToHookThisWnd(hFirst, kHostGeneric);
        TryToHookThisWnd(hSecond, kHostGeneric);
        HookedWndInfo* pFirst = FindHookedWnd(hFirst, nullptr);
        ASSERT_NE(nullptr, pFirst);

        platform::ArmFaultPoint(c.point);
        c.trigger(hFirst, pFirst);
        EXPECT_EQ(platform::FaultPoint::kNone, platform::ArmFaultPoint(platform::FaultPoint::kNone))
            << "the fault point was never reached";
        // The original message; the popup opening also sends the host the
        // opening of its own menu bar first.
        EXPECT_GE(CountSeen(c.uHostMessage), 1u) << "the host got its message";
        EXPECT_NE(nullptr, FindHookedWnd(hFirst, nullptr));

        // Nothing held: the table, the Print-learning lock, the refresh.
        EXPECT_TRUE(TryAcquireSRWLockExclusive(&g_HookedWndLock)) << "table lock left held";
        ReleaseSRWLockExclusive(&g_HookedWndLock);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(PrintCmdLock(), 0)) << "Print-learning lock left held";
        ReleaseSemaphore(PrintCmdLock(), 1, nullptr);
        EXPECT_EQ(static_cast<LONG>(CountHookedWindows()), CountLiveHookedRecords()) << "a reference left counted";
        const size_t nAdds = seams.adds.size();
        SendMessageA(hSecond, g_uRefreshMsg, 0, 0);
        EXPECT_GT(seams.adds.size(), nAdds) << "the second window is still put right";

        UnhookAllWindows();
        DestroyWindow(hFirst);
        DestroyWindow(hSecond);
    }
}

}  // namespace
