// The machine-fault guard: a fault inside guarded code ends that code and
// nothing else, on any thread, at any nesting depth, and the library facade
// turns it into its fault code. A host's own exception frames inside the
// guarded call come first, and the thread's frame chain stays sound after a
// fault the guard took.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "hook_test_support.h"
#include "host_seh_frame.h"
#include "platform/fault_guard.h"
#include "suite/library_error.h"
#include "window_tree.h"

namespace {

// Volatile so that the compiler cannot prove the faults away.
volatile int* volatile g_pNowhere = nullptr;
volatile int g_nZero = 0;

void WriteToNowhere() { *g_pNowhere = 1; }

using test_support::g_hostFrame;
using test_support::ResetHostFrame;

TEST(FaultGuard, AccessViolationEndsTheGuardedCallOnly) {
    bool bAfterFault = false;
    DWORD dwCode = 0;
    auto guarded = [&] {
        WriteToNowhere();
        bAfterFault = true;
    };
    EXPECT_FALSE(platform::RunFaultGuarded(guarded, &dwCode));
    EXPECT_FALSE(bAfterFault);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), dwCode);
}

TEST(FaultGuard, IntegerDivisionByZeroIsCaught) {
    volatile int nResult = 0;
    auto guarded = [&] { nResult = 10 / g_nZero; };
    DWORD dwCode = 0;
    EXPECT_FALSE(platform::RunFaultGuarded(guarded, &dwCode));
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_INT_DIVIDE_BY_ZERO), dwCode);
}

TEST(FaultGuard, CompletedCallAndCxxExceptionAreTold) {
    int nRuns = 0;
    auto completes = [&] { ++nRuns; };
    EXPECT_TRUE(platform::RunFaultGuarded(completes));
    auto throws = [] { throw 42; };
    EXPECT_FALSE(platform::RunFaultGuarded(throws));
    EXPECT_EQ(1, nRuns);
}

TEST(FaultGuard, InnerFaultReturnsToTheInnerGuardAndOuterGoesOn) {
    bool bInnerRan = false, bOuterFinished = false;
    auto outer = [&] {
        auto inner = [&] { WriteToNowhere(); };
        bInnerRan = !platform::RunFaultGuarded(inner);
        bOuterFinished = true;
    };
    EXPECT_TRUE(platform::RunFaultGuarded(outer));
    EXPECT_TRUE(bInnerRan);
    EXPECT_TRUE(bOuterFinished);
    // After both frames are gone, a later fault still finds a guard.
    auto again = [] { WriteToNowhere(); };
    EXPECT_FALSE(platform::RunFaultGuarded(again));
}

TEST(FaultGuard, EachThreadHasItsOwnGuardChain) {
    bool results[4] = {};
    std::thread threads[4];
    for (int i = 0; i < 4; ++i) {
        threads[i] = std::thread([&results, i] {
            for (int n = 0; n < 200; ++n) {
                auto guarded = [] { WriteToNowhere(); };
                if (platform::RunFaultGuarded(guarded)) return;
            }
            results[i] = true;
        });
    }
    for (auto& thread : threads) thread.join();
    for (bool bResult : results) EXPECT_TRUE(bResult);
}

TEST(FaultGuard, FacadeTurnsAFaultIntoTheMachineFaultCodeAndClearsTheError) {
    EXPECT_EQ(LIBERR_MACHINE_FAULT, RunLibraryFacade([] { WriteToNowhere(); }));
    EXPECT_EQ(LIBERR_OK, GetLibraryErrorCode());
    EXPECT_EQ(LIBERR_NOT_FOUND, RunLibraryFacade([] { ThrowLibraryError(2, "gone"); }));
    EXPECT_EQ(LIBERR_OK, RunLibraryFacade([] {}));
}

volatile LONG* Nowhere() { return reinterpret_cast<volatile LONG*>(g_pNowhere); }

constexpr UINT kProbeHost = WM_APP + 40;
constexpr LRESULT kProbeTaken = 0x5EED;

// A host window whose procedure probes through the pointer in wParam under
// its own frame and answers for itself.
LRESULT CALLBACK ProbingHostProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == kProbeHost) return HostProbeWrite(reinterpret_cast<volatile LONG*>(wParam), 1) != 0 ? 1 : kProbeTaken;
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

class HostFrameTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        tree.RegisterWithProc("PfcProbingHost", ProbingHostProc);
        hWnd = tree.Top("PfcProbingHost");
        ASSERT_NE(nullptr, hWnd);
    }
    // The host's probe, reached directly or through its window procedure.
    LRESULT Probe(volatile LONG* pTarget) {
        if (GetParam()) return SendMessageA(hWnd, kProbeHost, reinterpret_cast<WPARAM>(pTarget), 0);
        return HostProbeWrite(pTarget, 1) != 0 ? 1 : kProbeTaken;
    }

    test_support::WindowTree tree;
    HWND hWnd = nullptr;
};

TEST_P(HostFrameTest, HostFrameInsideTheGuardHandlesItsOwnFaultAndAnswersForItself) {
    ResetHostFrame(true);
    LRESULT lAnswer = 0;
    auto guarded = [&] { lAnswer = Probe(Nowhere()); };
    EXPECT_TRUE(platform::RunFaultGuarded(guarded)) << "the guard never saw the host's fault";
    EXPECT_EQ(kProbeTaken, lAnswer);
    EXPECT_EQ(1, g_hostFrame.nTaken);
    EXPECT_EQ(0, g_hostFrame.nUnwound);
}

TEST_P(HostFrameTest, FaultTheHostLetsThroughReachesTheGuardAndLeavesTheChainSound) {
    ResetHostFrame(false);
    bool bReturned = false;
    auto guarded = [&] {
        Probe(Nowhere());
        bReturned = true;
    };
    DWORD dwCode = 0;
    EXPECT_FALSE(platform::RunFaultGuarded(guarded, &dwCode));
    EXPECT_FALSE(bReturned);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), dwCode);
    EXPECT_EQ(1, g_hostFrame.nUnwound) << "the host's frame is told it is unwound";

    // The host frame that was live at the fault is off the thread's chain:
    // the next faults on this thread reach the next host frame, inside a
    // guard and outside any.
    ResetHostFrame(true);
    LRESULT lAnswer = 0;
    auto again = [&] { lAnswer = Probe(Nowhere()); };
    EXPECT_TRUE(platform::RunFaultGuarded(again));
    EXPECT_EQ(kProbeTaken, lAnswer);
    EXPECT_EQ(kProbeTaken, Probe(Nowhere()));
    EXPECT_EQ(2, g_hostFrame.nTaken);
    volatile LONG nTarget = 0;
    EXPECT_EQ(1, Probe(&nTarget));
    EXPECT_EQ(1, nTarget);
}

INSTANTIATE_TEST_SUITE_P(DirectAndThroughTheWindowProcedure, HostFrameTest, ::testing::Bool());

// A software exception is the host's business: the guard lets it go on to
// whoever handles it, here the process's last-resort filter, which resumes.
LONG g_nFilterCalls = 0;
LONG WINAPI ResumeSoftwareException(EXCEPTION_POINTERS* pInfo) {
    if (pInfo->ExceptionRecord->ExceptionCode != 0xE0001234u) return EXCEPTION_CONTINUE_SEARCH;
    ++g_nFilterCalls;
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(FaultGuard, ExceptionsOtherThanMachineFaultsGoOnPastTheGuard) {
    g_nFilterCalls = 0;
    LPTOP_LEVEL_EXCEPTION_FILTER pfnOld = SetUnhandledExceptionFilter(ResumeSoftwareException);
    bool bResumed = false;
    auto guarded = [&] {
        RaiseException(0xE0001234u, 0, 0, nullptr);
        bResumed = true;
    };
    EXPECT_TRUE(platform::RunFaultGuarded(guarded));
    SetUnhandledExceptionFilter(pfnOld);
    EXPECT_TRUE(bResumed);
    EXPECT_EQ(1, g_nFilterCalls);
}

TEST(FaultGuard, CallersLastErrorSurvivesAFault) {
    auto faults = [] {
        SetLastError(ERROR_INVALID_HANDLE);
        WriteToNowhere();
    };
    SetLastError(ERROR_FILE_EXISTS);
    EXPECT_FALSE(platform::RunFaultGuarded(faults));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
    auto completes = [] {};
    EXPECT_TRUE(platform::RunFaultGuarded(completes));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
}

// A fault in the hook procedure's own work: the message still reaches the
// host's procedure, and the host goes on.
std::vector<UINT> g_registeredSeen;
LRESULT CALLBACK HostSeeingAllProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg >= 0xC000) g_registeredSeen.push_back(uMsg);
    if (uMsg == test_support::kProbeMessage) return static_cast<LRESULT>(wParam + 1);
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

TEST(FaultGuard, FaultInTheHookProceduresWorkPassesTheMessageOn) {
    test_support::HookSeamRecorder seams;
    test_support::WindowTree tree;
    tree.RegisterWithProc("PfcSeeingHost", HostSeeingAllProc);
    HWND hWnd = tree.Top("PfcSeeingHost", true, true);
    ASSERT_NE(nullptr, hWnd);
    TryToHookThisWnd(hWnd, kHostGeneric);
    ASSERT_EQ(1u, CountHookedWindows());
    // Taking the item away on the hook-removed notice is the work that faults.
    {
        static constexpr ItemPlacer kFaultingRemove = {[](HookedWndInfo*) { return TRUE; },
                                                       [](HookedWndInfo*, BOOL) { WriteToNowhere(); },
                                                       [](HookedWndInfo*) {}};
        test_support::ScopedValue faultingRemove(FindHookedWnd(hWnd, nullptr)->pPlacer, &kFaultingRemove);
        g_registeredSeen.clear();
        SendMessageA(hWnd, g_uHookRemovedMsg, 0, 0);
    }
    ASSERT_EQ(1u, g_registeredSeen.size());
    EXPECT_EQ(g_uHookRemovedMsg, g_registeredSeen[0]);
    EXPECT_EQ(8, SendMessageA(hWnd, test_support::kProbeMessage, 7, 0));
    UnhookAllWindows();
    EXPECT_EQ(0u, CountHookedWindows());
}

}  // namespace
