// A host window still hidden when the system tells of its creation is looked
// at again once it is shown.
#include <gtest/gtest.h>

#include "hook/late_show.h"
#include "hook/module_lifetime.h"
#include "hook_test_support.h"
#include "shared_lists.h"
#include "window_tree.h"

namespace {

template <class Pred>
bool PumpUntil(Pred pred, DWORD dwTimeoutMs) {
    const DWORD dwStart = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - dwStart >= dwTimeoutMs) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(10);
    }
    return true;
}

TEST(LateShowTest, HiddenHostIsHookedOnceShownAndForgottenWhenDestroyedFirst) {
    // The tests run under Wine, which notifies at creation.
    ASSERT_TRUE(SystemNotifiesAtCreation());
    test_support::SharedListsScope lists;
    lists.Include({"Tests (WIN_UNIT_TESTS)"});
    lists.Modules({"A.EXE", "B.EXE", "C.EXE"});
    test_support::HookSeamRecorder seams;
    test_support::WindowTree tree;
    struct Case {
        const char* pszWhat;
        bool bShown;
    };
    for (const Case& c : {Case{"shown 300 ms later", true}, Case{"destroyed while hidden", false}}) {
        HWND hWnd = tree.Top("PfcLateHost", false, true);
        ShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hWnd), 0);
        // A second notification arranges no second look.
        ShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hWnd), 0);
        EXPECT_EQ(FindHookedWnd(hWnd, nullptr), nullptr) << c.pszWhat;
        EXPECT_EQ(CountShowWatches(), 1u) << c.pszWhat;
        PumpUntil([] { return false; }, 300);
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
