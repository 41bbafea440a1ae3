// The menu worker and the window's own thread: the worker never waits on
// that thread while it holds what the thread may need, so a thread that is
// busy, or waiting in module exit for the worker, never hangs with it.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "hook/base/hooked_wnd.h"
#include "hook/module_lifetime.h"
#include "hook/base/shared_state.h"
#include "hook_test_support.h"
#include "window_tree.h"

using test_support::HookSeamRecorder;

namespace {

// A hooked window of a user-interface thread of its own. Once the window is
// hooked the thread runs whileBusy (answering no message meanwhile), then
// answers messages until the end.
class UiThreadHost {
public:
    explicit UiThreadHost(std::function<void(UiThreadHost&)> whileBusy) : m_whileBusy(std::move(whileBusy)) {
        m_thread = std::thread([this] { Run(); });
        WaitForSingleObject(m_hReady, 10000);
    }
    ~UiThreadHost() {
        SetEvent(m_hGo);
        SetEvent(m_hQuit);
        m_thread.join();
        for (HANDLE h : {m_hReady, m_hGo, m_hQuit}) CloseHandle(h);
    }
    UiThreadHost(const UiThreadHost&) = delete;
    UiThreadHost& operator=(const UiThreadHost&) = delete;

    HookedWndInfo* Record() const { return m_pInfo; }
    DWORD ThreadId() const { return m_dwThreadId; }
    void LetGo() { SetEvent(m_hGo); }
    bool WaitForGo() { return WaitForSingleObject(m_hGo, 10000) == WAIT_OBJECT_0; }

private:
    void Run() {
        m_dwThreadId = GetCurrentThreadId();
        HMENU hMenu = CreateMenu();
        AppendMenuA(hMenu, MF_STRING, 100, "&File");
        HWND hWnd = CreateWindowExA(0, "PfcWorkerHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                    nullptr, hMenu, GetModuleHandleA(nullptr), nullptr);
        TryToHookThisWnd(hWnd, kHostBrowser);
        m_pInfo = FindHookedWnd(hWnd, nullptr);
        SetEvent(m_hReady);
        m_whileBusy(*this);
        while (MsgWaitForMultipleObjects(1, &m_hQuit, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        }
        DestroyWindow(hWnd);
    }

    std::function<void(UiThreadHost&)> m_whileBusy;
    HANDLE m_hReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE m_hGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE m_hQuit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD m_dwThreadId = 0;
    HookedWndInfo* m_pInfo = nullptr;
    std::thread m_thread;
};

// Placing the item sends the window messages, as the real placement does.
volatile DWORD g_dwPlacedOnThread = 0;
BOOL g_bPlaceResult = TRUE;
BOOL PlaceBySendingToTheWindow(HookedWndInfo* pInfo) {
    SendMessageA(pInfo->hWnd, WM_NULL, 0, 0);
    g_dwPlacedOnThread = GetCurrentThreadId();
    return g_bPlaceResult;
}
constexpr ItemPlacer kPlaceBySendingToTheWindow = {PlaceBySendingToTheWindow, [](HookedWndInfo*, BOOL) {},
                                                   [](HookedWndInfo*) {}};

bool WaitUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs) {
    const DWORD dwStart = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - dwStart > dwTimeoutMs) return false;
        Sleep(10);
    }
    return true;
}

class MenuWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.RegisterWithProc("PfcWorkerHost", test_support::RecordingHostProcA);
        g_dwPlacedOnThread = 0;
    }
    void TearDown() override { UnhookAllWindows(); }

    // The worker thread of a record, and its result once it ended.
    static HANDLE StartWorker(HookedWndInfo* pInfo) {
        DWORD dwThreadId = 0;
        if (!StartMenuWaitThread(pInfo, &dwThreadId)) return nullptr;
        return OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, dwThreadId);
    }
    static DWORD ResultOf(HANDLE hThread) {
        DWORD dwExit = STILL_ACTIVE;
        GetExitCodeThread(hThread, &dwExit);
        return dwExit;
    }

    HookSeamRecorder seams;  // before the placer set here, so that it is put back last
    ScopedItemPlacer placer{kPlaceBySendingToTheWindow};
    test_support::WindowTree tree;
};

TEST_F(MenuWorkerTest, BusyWindowThreadCostsTheWorkerAttemptsNeverItsLocks) {
    UiThreadHost host([](UiThreadHost& self) { self.WaitForGo(); });
    ASSERT_NE(nullptr, host.Record());
    g_bPlaceResult = TRUE;
    HANDLE hWorker = StartWorker(host.Record());
    ASSERT_NE(nullptr, hWorker);

    // While the window's thread answers nothing, the worker keeps trying,
    // and whatever it holds is free again within an attempt.
    ASSERT_TRUE(WaitUntil([&] { return seams.nSleeps >= 2; }, 5000)) << "the worker hangs on the busy thread";
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(host.Record()->hLock.get(), 1000));
        ReleaseSemaphore(host.Record()->hLock.get(), 1, nullptr);
        EnterCriticalSection(&g_csMenuThread);
        LeaveCriticalSection(&g_csMenuThread);
    }
    EXPECT_EQ(0u, g_dwPlacedOnThread);
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), ResultOf(hWorker));

    // Once the thread answers again, it places the item itself.
    host.LetGo();
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hWorker, 10000));
    EXPECT_EQ(0u, ResultOf(hWorker));
    EXPECT_EQ(host.ThreadId(), g_dwPlacedOnThread);
    CloseHandle(hWorker);
}

TEST_F(MenuWorkerTest, WindowThreadWaitingInModuleExitNeverHangsWithTheWorker) {
    DWORD dwExitMs = 0;
    UiThreadHost host([&](UiThreadHost& self) {
        self.WaitForGo();
        const DWORD dwStart = GetTickCount();
        ExitModuleInProcess();
        dwExitMs = GetTickCount() - dwStart;
    });
    ASSERT_NE(nullptr, host.Record());
    g_bPlaceResult = FALSE;  // the worker never succeeds: it is still at work when the exit comes
    HANDLE hWorker = StartWorker(host.Record());
    ASSERT_NE(nullptr, hWorker);
    ASSERT_TRUE(WaitUntil([&] { return seams.nSleeps >= 1; }, 5000));

    host.LetGo();
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hWorker, 10000));
    EXPECT_EQ(kMenuWaitUnhooked, ResultOf(hWorker)) << "the exit gave the window back; the worker saw it";
    ASSERT_TRUE(WaitUntil([&] { return dwExitMs != 0; }, 5000));
    EXPECT_LT(dwExitMs, 1400u) << "the exit had to give up waiting for the worker";
    EXPECT_EQ(0, g_nBusyThreads);
    EXPECT_FALSE(g_bMenuThreadLockCreated) << "deleted once no worker could take it";
    CloseHandle(hWorker);
}

}  // namespace
