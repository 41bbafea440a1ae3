// The window-tree probes on trees built here.
#include <gtest/gtest.h>

#include "hook/base/hooked_wnd.h"
#include "toolbar/toolbar.h"
#include "window_tree.h"

using test_support::WindowTree;

namespace {

TEST(ButtonModuleTest, ButtonHostsAreZeroAndThreeToSeven) {
    const struct {
        int nModule;
        bool bButton;
    } kCases[] = {{-1, false}, {0, true}, {1, false}, {2, false}, {3, true},
                  {5, true},   {7, true}, {8, false}, {100, false}};
    for (const auto& c : kCases) EXPECT_EQ(IsButtonMenuModule(c.nModule), c.bButton) << "index " << c.nModule;
}

TEST(ProbesTest, DirectChildrenOnlyForWorkerAndDocObjectView) {
    WindowTree tree;
    HWND hTop = tree.Top("PfcProbeTop");
    EXPECT_FALSE(HasWorkerChild(hTop));
    EXPECT_FALSE(HasDocObjectView(hTop));

    // One level too deep: not a direct child.
    HWND hPane = tree.Child(hTop, "PfcProbePane");
    tree.Child(hPane, "Worker");
    tree.Child(hPane, "Shell DocObject View");
    EXPECT_FALSE(HasWorkerChild(hTop));
    EXPECT_FALSE(HasDocObjectView(hTop));

    // Hidden direct children count: these tests look at classes only.
    tree.Child(hTop, "Worker", "any title", false);
    tree.Child(hTop, "Shell DocObject View", "", false);
    EXPECT_TRUE(HasWorkerChild(hTop));
    EXPECT_TRUE(HasDocObjectView(hTop));
    EXPECT_TRUE(HasWorkerChild(hPane));
}

TEST(ProbesTest, ClassNamesMatchWholeAndInTheirOwnCase) {
    WindowTree tree;
    HWND hTop = tree.Top("PfcProbeCase");
    tree.Child(hTop, "worker");
    tree.Child(hTop, "ToolbarWindow32Ex");
    tree.Child(hTop, "ReBarWindow32Ex");
    tree.Child(hTop, "msocommandbardock");
    tree.Child(hTop, "Shell DocObject ViewX");
    EXPECT_FALSE(HasWorkerChild(hTop));
    EXPECT_FALSE(HasDocObjectView(hTop));
    EXPECT_EQ(FindReBar(hTop), nullptr);
    EXPECT_EQ(FindCommandBarDock(hTop), nullptr);
}

TEST(ProbesTest, CommandBarDockIsFirstOfItsThreeClassesAnywhereBelow) {
    for (const char* pszDock : {"MsoCommandBarDock", "EXCEL2", "MDIClient"}) {
        WindowTree tree;
        HWND hTop = tree.Top("PfcProbeDock");
        HWND hPane = tree.Child(hTop, "PfcProbePane");
        HWND hDeep = tree.Child(hPane, "PfcProbeInner");
        // Hidden docks are found too: the dock only tells the host's kind.
        HWND hDock = tree.Child(hDeep, pszDock, "", false);
        tree.Child(hTop, pszDock);  // later in the walk
        EXPECT_EQ(FindCommandBarDock(hTop), hDock) << pszDock;
        EXPECT_EQ(FindReBar(hTop), nullptr) << pszDock;
    }
}

TEST(ProbesTest, ReBarIsFoundAnywhereBelow) {
    WindowTree tree;
    HWND hTop = tree.Top("PfcProbeRebar");
    HWND hPane = tree.Child(hTop, "PfcProbePane");
    HWND hReBar = tree.Child(hPane, "ReBarWindow32");
    EXPECT_EQ(FindReBar(hTop), hReBar);
    EXPECT_EQ(FindReBar(hPane), hReBar);
    EXPECT_EQ(FindReBar(hReBar), nullptr);
}

HookedWndInfo RecordFor(HWND hWnd, int nModule, DWORD dwFlags) {
    HookedWndInfo info{};
    info.hWnd = hWnd;
    info.nModule = nModule;
    info.dwFlags = dwFlags;
    return info;
}

TEST(ToolbarHostTest, BrowserHostGetsTheLastToolbarUnderTheRebar) {
    WindowTree tree;
    HWND hTop = tree.Top("PfcBrowserTop");
    tree.Child(hTop, "ToolbarWindow32");  // outside the rebar: never the host
    HWND hReBar = tree.Child(hTop, "ReBarWindow32");
    HWND hFirst = tree.Child(hReBar, "ToolbarWindow32");
    HWND hBand = tree.Child(hReBar, "PfcBand");
    HWND hSecond = tree.Child(hBand, "ToolbarWindow32");
    HWND hThird = tree.Child(hReBar, "ToolbarWindow32", "", false);
    tree.Child(hReBar, "ToolbarWindow32Ex");
    const HookedWndInfo info = RecordFor(hTop, 0, kHookFlagBrowser);
    EXPECT_EQ(FindToolbarHost(&info), hThird);
    EXPECT_NE(hThird, hFirst);
    EXPECT_NE(hThird, hSecond);
}

TEST(ToolbarHostTest, RebarWithoutToolbarsIsItselfTheHostAndNoRebarGivesNone) {
    WindowTree tree;
    HWND hTop = tree.Top("PfcBrowserBare");
    const HookedWndInfo info = RecordFor(hTop, 0, kHookFlagBrowser);
    EXPECT_EQ(FindToolbarHost(&info), nullptr);
    HWND hReBar = tree.Child(hTop, "ReBarWindow32");
    EXPECT_EQ(FindToolbarHost(&info), hReBar);
    EXPECT_EQ(FindToolbarHost(nullptr), nullptr);
}

TEST(ToolbarHostTest, OfficeHostGetsTheFirstVisibleMenuBarText) {
    struct Case {
        const char* pszTitle;
        bool bVisible;
        bool bFound;
    };
    const Case kCases[] = {
        {"Menu Bar", true, true},
        {"Standard Menu Bar Extra", true, true},  // inside a longer title
        {"menu bar", true, false},                // other case
        {"Menu Ba", true, false},                 // too short
        {"Menu Bar", false, false},               // hidden command bar
        {"MenuBar", true, false},
    };
    for (const Case& c : kCases) {
        WindowTree tree;
        HWND hTop = tree.Top("PfcOfficeTop");
        HWND hDock = tree.Child(hTop, "MsoCommandBarDock");
        HWND hBar = tree.Child(hDock, "MsoCommandBar", c.pszTitle, c.bVisible);
        const HookedWndInfo info = RecordFor(hTop, 3, 0);
        EXPECT_EQ(FindToolbarHost(&info), c.bFound ? hBar : nullptr) << c.pszTitle << " visible " << c.bVisible;
    }
}

TEST(ToolbarHostTest, OfficeHostStopsAtTheFirstOfTwoMenuBars) {
    WindowTree tree;
    HWND hTop = tree.Top("PfcOfficeTwo");
    HWND hDock = tree.Child(hTop, "MsoCommandBarDock");
    tree.Child(hDock, "MsoCommandBar", "Menu Bar", false);
    HWND hVisible = tree.Child(hDock, "MsoCommandBar", "Menu Bar");
    tree.Child(hDock, "MsoCommandBar", "Menu Bar 2");
    const HookedWndInfo info = RecordFor(hTop, 4, 0);
    EXPECT_EQ(FindToolbarHost(&info), hVisible);
}

}  // namespace
