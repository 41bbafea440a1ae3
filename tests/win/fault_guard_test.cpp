// The machine-fault guard: a fault inside guarded code ends that code and
// nothing else, on any thread, at any nesting depth, and the library facade
// turns it into its fault code.
#include <gtest/gtest.h>

#include <thread>

#include "platform/fault_guard.h"
#include "suite/library_error.h"

namespace {

// Volatile so that the compiler cannot prove the faults away.
volatile int* volatile g_pNowhere = nullptr;
volatile int g_nZero = 0;

void WriteToNowhere() { *g_pNowhere = 1; }

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

}  // namespace
