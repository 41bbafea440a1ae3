// A host window still hidden when the system tells of its creation is looked
// at again once it is shown.
#include <gtest/gtest.h>

#include "hook/late_show.h"
#include "hook/module_lifetime.h"
#include "hook_test_support.h"
#include "pump.h"
#include "shared_lists.h"
#include "window_tree.h"

namespace {

using test_support::PumpUntil;

// A thread timer set after the watch's and due a few of its ticks later: the
// system hands a thread its due timers in the order they fall due, so once
// this one has fired the watch has had its ticks.
bool g_bMarkerFired = false;
void CALLBACK OnMarkerTimer(HWND, UINT, UINT_PTR uTimerId, DWORD) {
    KillTimer(nullptr, uTimerId);
    g_bMarkerFired = true;
}

bool WaitPastShowWatchTicks() {
    g_bMarkerFired = false;
    if (SetTimer(nullptr, 0, 3 * kShowWatchIntervalMs, OnMarkerTimer) == 0) return false;
    return PumpUntil([] { return g_bMarkerFired; }, 3000);
}

// Wine only: Wine tells of every top-level window at its creation, hidden or
// not, so there the module watches a hidden host until it is shown. Windows
// tells of a hidden window again when it is first shown; there no watch is
// set and the hidden window is simply not hooked yet.
TEST(LateShowTest, HiddenHostIsHookedOnceShownAndForgottenWhenDestroyedFirst) {
    const bool bWine = SystemNotifiesAtCreation();
    test_support::SharedListsScope lists;
    lists.Include({"Tests (WIN_UNIT_TESTS)"});
    lists.Modules({"A.EXE", "B.EXE", "C.EXE"});
    test_support::HookSeamRecorder seams;
    test_support::WindowTree tree;
    struct Case {
        const char* pszWhat;
        bool bShown;
    };
    for (const Case& c : {Case{"shown after the watch ticked", true}, Case{"destroyed while hidden", false}}) {
        HWND hWnd = tree.Top("PfcLateHost", false, true);
        ShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hWnd), 0);
        // A second notification arranges no second look.
        ShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hWnd), 0);
        EXPECT_EQ(FindHookedWnd(hWnd, nullptr), nullptr) << c.pszWhat;
        EXPECT_EQ(CountShowWatches(), bWine ? 1u : 0u) << c.pszWhat;
        if (!bWine) {
            DestroyWindow(hWnd);
            continue;
        }
        ASSERT_TRUE(WaitPastShowWatchTicks()) << c.pszWhat;
        EXPECT_EQ(FindHookedWnd(hWnd, nullptr), nullptr) << c.pszWhat << ": hooked while hidden";
        if (c.bShown)
            ShowWindow(hWnd, SW_SHOWNA);
        else
            DestroyWindow(hWnd);
        EXPECT_TRUE(PumpUntil([] { return CountShowWatches() == 0; }, 3000)) << c.pszWhat;
        EXPECT_EQ(FindHookedWnd(hWnd, nullptr) != nullptr, c.bShown) << c.pszWhat;
        EXPECT_EQ(seams.adds.size(), 1u) << c.pszWhat;
    }
    UnhookAllWindows();
}

}  // namespace
