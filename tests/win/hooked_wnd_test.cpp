// Choosing, subclassing and releasing host windows of this process.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "hook/base/hooked_wnd.h"
#include "hook/module_lifetime.h"
#include "hook/base/shared_state.h"
#include "hook/base/trace.h"
#include "hook_test_support.h"
#include "screen_wait.h"
#include "shared_lists.h"
#include "window_tree.h"

using test_support::HookSeamRecorder;
using test_support::HostLog;
using test_support::kProbeMessage;
using test_support::RecordingHostProcA;
using test_support::RecordingHostProcW;
using test_support::SharedListsScope;
using test_support::WindowTree;

namespace {

WNDPROC WndProcOf(HWND hWnd) { return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hWnd, GWLP_WNDPROC)); }

class HookTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CountHookedWindows(), 0u);
        HostLog().clear();
        tree.RegisterWithProc("PfcRecHost", RecordingHostProcA);
    }
    void TearDown() override {
        UnhookAllWindows();
        EXPECT_EQ(CountHookedWindows(), 0u);
    }

    HWND Host(bool bMenu = true, bool bVisible = true) {
        HWND hWnd = CreateWindowExA(0, "PfcRecHost", "host", WS_OVERLAPPEDWINDOW | (bVisible ? WS_VISIBLE : 0), 0, 0,
                                    200, 100, nullptr, bMenu ? MenuBar() : nullptr, GetModuleHandleA(nullptr), nullptr);
        tree.Adopt(hWnd);
        return hWnd;
    }
    static HMENU MenuBar() {
        HMENU hMenu = CreateMenu();
        HMENU hFile = CreatePopupMenu();
        AppendMenuA(hFile, MF_STRING, 101, "&Print...\tCtrl+P");
        AppendMenuA(hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(hFile), "&File");
        return hMenu;
    }

    HookSeamRecorder seams;
    WindowTree tree;
};

// --- which windows are hooked ----------------------------------------------

TEST_F(HookTableTest, OnlyVisibleWindowsOfThisProcessWithAMenuOrAsButtonHosts) {
    struct Case {
        const char* pszWhat;
        bool bVisible;
        bool bMenu;
        int nModule;
        bool bHooked;
    };
    const Case kCases[] = {
        {"menu host with a menu", true, true, 2, true},
        {"listed menu host", true, true, 8, true},
        {"invisible", false, true, 2, false},
        {"menu host without a menu", true, false, 2, false},
        {"doc-object host without a menu", true, false, 1, false},
        {"button host without a menu", true, false, 0, true},
        {"office button host without a menu", true, false, 3, true},
    };
    for (const Case& c : kCases) {
        HWND hWnd = Host(c.bMenu, c.bVisible);
        const WNDPROC pfnOwn = WndProcOf(hWnd);
        TryToHookThisWnd(hWnd, c.nModule);
        HookedWndInfo* pInfo = FindHookedWnd(hWnd, nullptr);
        EXPECT_EQ(pInfo != nullptr, c.bHooked) << c.pszWhat;
        EXPECT_EQ(WndProcOf(hWnd) == HookProc, c.bHooked) << c.pszWhat;
        if (pInfo != nullptr) {
            EXPECT_EQ(pInfo->pfnOldWndProc, pfnOwn) << c.pszWhat;
            EXPECT_EQ(pInfo->nModule, c.nModule) << c.pszWhat;
            // A button host waits for its button from the refresh timer.
            EXPECT_EQ(pInfo->uTimerID != 0, c.nModule == 0 || c.nModule == 3) << c.pszWhat;
            EXPECT_EQ(pInfo->aCmdID[kCmdFax], 0u);
        }
        UnhookAllWindows();
    }
    // A menu host is offered its item at once, a button host never here.
    ASSERT_EQ(seams.adds.size(), 2u);
}

TEST_F(HookTableTest, WindowOfAnotherProcessIsNeverTouched) {
    HWND hDesktop = GetDesktopWindow();
    DWORD dwProcess = 0;
    GetWindowThreadProcessId(hDesktop, &dwProcess);
    ASSERT_NE(dwProcess, GetCurrentProcessId());
    const LONG_PTR lBefore = GetWindowLongPtrA(hDesktop, GWLP_WNDPROC);
    TryToHookThisWnd(hDesktop, 0);
    EXPECT_EQ(FindHookedWnd(hDesktop, nullptr), nullptr);
    EXPECT_EQ(GetWindowLongPtrA(hDesktop, GWLP_WNDPROC), lBefore);
}

TEST_F(HookTableTest, BrowserTypeBitForIndicesZeroAndOneWithWorkerOrDocObjectView) {
    struct Case {
        int nModule;
        const char* pszChild;
        bool bDirect;
        bool bBrowser;
    };
    const Case kCases[] = {
        {0, "Worker", true, true},
        {1, "Worker", true, true},
        {0, "Shell DocObject View", true, true},
        {1, "Shell DocObject View", true, true},
        {2, "Worker", true, false},
        {3, "Shell DocObject View", true, false},
        {0, "Worker", false, false},
        {0, "PfcOther", true, false},
    };
    for (const Case& c : kCases) {
        HWND hWnd = Host();
        HWND hParent = c.bDirect ? hWnd : tree.Child(hWnd, "PfcPane");
        tree.Child(hParent, c.pszChild);
        TryToHookThisWnd(hWnd, c.nModule);
        HookedWndInfo* pInfo = FindHookedWnd(hWnd, nullptr);
        ASSERT_NE(pInfo, nullptr);
        EXPECT_EQ((pInfo->dwFlags & kHookFlagBrowser) != 0, c.bBrowser)
            << c.nModule << " " << c.pszChild << " direct " << c.bDirect;
        UnhookAllWindows();
    }
}

// --- the Unicode decision ----------------------------------------------------

// A window's own kind decides, whatever its title or host type: the Unicode
// test of the title read as ANSI almost never said yes.
TEST_F(HookTableTest, UnicodeWindowsAreHookedAsUnicodeAndAnsiWindowsAsAnsi) {
    tree.RegisterWithProc("PfcWideHost", RecordingHostProcW, true);
    const std::string bomTitle = std::string("\xff\xfe") + std::string(61, 'a');
    struct Case {
        const char* pszWhat;
        bool bUnicodeWindow;
        bool bBrowser;
        std::string title;
    };
    const Case kCases[] = {
        {"ANSI window, title that looks like Unicode", false, false, bomTitle},
        {"ANSI browser window", false, true, "plain"},
        {"Unicode browser window", true, true, "plain"},
        {"Unicode window, plain title", true, false, "plain"},
        {"Unicode window, no title", true, false, ""},
    };
    for (const Case& c : kCases) {
        HWND hWnd = c.bUnicodeWindow
                        ? CreateWindowExW(0, L"PfcWideHost", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                          nullptr, MenuBar(), GetModuleHandleA(nullptr), nullptr)
                        : Host();
        tree.Adopt(hWnd);
        SetWindowTextA(hWnd, c.title.c_str());
        if (c.bBrowser) tree.Child(hWnd, "Worker");
        TryToHookThisWnd(hWnd, c.bBrowser ? 0 : 2);
        HookedWndInfo* pInfo = FindHookedWnd(hWnd, nullptr);
        ASSERT_NE(pInfo, nullptr) << c.pszWhat;
        EXPECT_EQ((pInfo->dwFlags & kHookFlagUnicode) != 0, c.bUnicodeWindow) << c.pszWhat;
        EXPECT_EQ(IsWindowUnicode(hWnd) != FALSE, c.bUnicodeWindow) << c.pszWhat << ": kind kept while hooked";
        UnhookAllWindows();
        EXPECT_EQ(IsWindowUnicode(hWnd) != FALSE, c.bUnicodeWindow) << c.pszWhat << ": kind given back";
    }
}

// Text reaches a Unicode host intact, also characters no ANSI code page
// holds together: Greek, Chinese and Cyrillic in one title, a Greek key.
TEST_F(HookTableTest, UnicodeHostsGetTheirTextUnchanged) {
    tree.RegisterWithProc("PfcWideText", RecordingHostProcW, true);
    const std::wstring text = L"\u03a9\u6587\u0416 \u0393\u03c1\u03ac\u03bc\u03bc\u03b1";
    for (bool bBrowser : {true, false}) {
        HWND hWnd = CreateWindowExW(0, L"PfcWideText", L"wide", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 120,
                                    nullptr, MenuBar(), GetModuleHandleA(nullptr), nullptr);
        tree.Adopt(hWnd);
        if (bBrowser) tree.Child(hWnd, "Shell DocObject View");
        TryToHookThisWnd(hWnd, bBrowser ? 1 : 2);
        ASSERT_NE(FindHookedWnd(hWnd, nullptr), nullptr);
        // Read with the W call: the A call hands a Unicode window's procedure
        // back as a conversion thunk.
        ASSERT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hWnd, GWLP_WNDPROC)), HookProc);

        test_support::LastWideText().clear();
        HostLog().clear();
        ASSERT_TRUE(SetWindowTextW(hWnd, text.c_str()));
        EXPECT_EQ(test_support::LastWideText(), text) << "browser " << bBrowser;
        wchar_t szBack[64] = {};
        GetWindowTextW(hWnd, szBack, 64);
        EXPECT_EQ(std::wstring(szBack), text) << "browser " << bBrowser;
        SendMessageW(hWnd, WM_CHAR, 0x03A9, 1);
        ASSERT_EQ(HostLog().size(), 1u) << "browser " << bBrowser;
        EXPECT_EQ(HostLog()[0].uMsg, static_cast<UINT>(WM_CHAR));
        EXPECT_EQ(HostLog()[0].wParam, 0x03A9u) << "browser " << bBrowser;

        if (!bBrowser) {
            // For the picture, a title the prefix's caption font can draw
            // whole: Cyrillic, also outside the ANSI code page.
            const std::wstring shown = L"\u041f\u0440\u0438\u043c\u0435\u0440 \u0416 - Unicode host";
            ASSERT_TRUE(SetWindowTextW(hWnd, shown.c_str()));
            GetWindowTextW(hWnd, szBack, 64);
            EXPECT_EQ(std::wstring(szBack), shown);
            RedrawWindow(hWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
            test_support::PumpUntil([] { return false; }, 300);
            EXPECT_TRUE(test_support::SaveScreenshot(hWnd, "unicode_host_title"));
        }
        UnhookAllWindows();
        EXPECT_TRUE(IsWindowUnicode(hWnd));
    }
}

// --- the shell notification ------------------------------------------------

TEST_F(HookTableTest, WindowCreatedNotificationHooksOnceWithTheListedIndex) {
    SharedListsScope lists;
    lists.Include({"Tests (win_unit)"});
    lists.Modules({"A.EXE", "B.EXE", "C.EXE", "D.EXE", "E.EXE", "F.EXE", "G.EXE", "H.EXE", "WIN_UNIT_TESTS.EXE"});
    HWND hWnd = Host();
    ShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hWnd), 0);
    HookedWndInfo* pInfo = FindHookedWnd(hWnd, nullptr);
    ASSERT_NE(pInfo, nullptr);
    EXPECT_EQ(pInfo->nModule, 8);
    const WNDPROC pfnOld = pInfo->pfnOldWndProc;

    // A second notification for a known window does nothing.
    ShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hWnd), 0);
    EXPECT_EQ(CountHookedWindows(), 1u);
    EXPECT_EQ(FindHookedWnd(hWnd, nullptr), pInfo);
    EXPECT_EQ(pInfo->pfnOldWndProc, pfnOld);
    EXPECT_EQ(WndProcOf(hWnd), HookProc);
    EXPECT_EQ(seams.adds.size(), 1u);

    // Other notifications are only passed on.
    HWND hOther = Host();
    ShellProc(HSHELL_WINDOWACTIVATED, reinterpret_cast<WPARAM>(hOther), 0);
    ShellProc(HSHELL_REDRAW, reinterpret_cast<WPARAM>(hOther), 0);
    EXPECT_EQ(FindHookedWnd(hOther, nullptr), nullptr);

    // A module the include list does not name is left alone.
    lists.Include({"Others (NOTEPAD)"});
    ShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hOther), 0);
    EXPECT_EQ(FindHookedWnd(hOther, nullptr), nullptr);
}

TEST_F(HookTableTest, NotificationForAWindowThatIsNoWindowIsPassedOnQuietly) {
    SharedListsScope lists;
    lists.Include({"All ()"});
    lists.Modules({"WIN_UNIT_TESTS.EXE"});
    ShellProc(HSHELL_WINDOWCREATED, 0x1234, 0);
    ShellProc(HSHELL_WINDOWCREATED, 0, 0);
    EXPECT_EQ(CountHookedWindows(), 0u);
}

// --- messages and unhooking --------------------------------------------------

TEST_F(HookTableTest, MessagesPassThroughAndNcDestroyUnhooks) {
    HWND hWnd = Host();
    TryToHookThisWnd(hWnd, 2);
    ASSERT_EQ(WndProcOf(hWnd), HookProc);
    EXPECT_EQ(SendMessageA(hWnd, kProbeMessage, 41, 7), 42);
    EXPECT_EQ(CountLiveHookedRecords(), 1);

    SendMessageA(hWnd, WM_CLOSE, 0, 0);  // the recording host does not destroy itself on it
    EXPECT_TRUE(FindHookedWnd(hWnd, nullptr)->dwFlags & kHookFlagClosing);
    DestroyWindow(hWnd);
    EXPECT_EQ(CountHookedWindows(), 0u);
    EXPECT_EQ(CountLiveHookedRecords(), 0);
    ASSERT_EQ(HostLog().size(), 3u);
    EXPECT_EQ(HostLog()[0].uMsg, kProbeMessage);
    EXPECT_EQ(HostLog()[0].wParam, 41u);
    EXPECT_EQ(HostLog()[0].lParam, 7);
    EXPECT_EQ(HostLog()[1].uMsg, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(HostLog()[2].uMsg, static_cast<UINT>(WM_NCDESTROY));
    // The host's menu goes with its window, the picture of the item does not:
    // the item is taken back, without drawing the dying menu bar.
    ASSERT_EQ(seams.removes.size(), 1u);
    EXPECT_EQ(seams.removes[0].second, FALSE);
}

// Nothing is known of the window's own procedure: the default procedure
// answers, so the window keeps working, and the host's procedure (which we
// cannot know is the right one) is not called.
TEST_F(HookTableTest, MessageForAWindowWithoutRecordGoesToTheDefaultProcedure) {
    HWND hWnd = Host();
    SetWindowTextA(hWnd, "Twelve chars");
    HostLog().clear();
    EXPECT_EQ(HookProc(hWnd, WM_GETTEXTLENGTH, 0, 0), 12);
    EXPECT_TRUE(HostLog().empty());
}

// The test query is a diagnostic: with [PFCWatch] "Diagnostics" off (the
// default) it reaches the host as any message it does not know, and the
// module builds and waits for nothing.
TEST_F(HookTableTest, TestQueryAnswersIndexFlagsAndRecordCountOnlyWithDiagnosticsOn) {
    ASSERT_NE(g_uTestQueryMsg, 0u);
    HWND hPlain = Host();
    HWND hWnd = Host(false);
    tree.Child(hWnd, "Worker");
    TryToHookThisWnd(hWnd, 0);
    TryToHookThisWnd(hPlain, 9);
    HWND hUnhooked = Host();
    struct Case {
        bool bDiagnostics;
        LRESULT lBrowser, lPlain, lCount;
    };
    for (const Case& c :
         {Case{false, 0, 0, 0}, Case{true, kTestQueryAnswer | (static_cast<LRESULT>(kHookFlagBrowser) << 16) | 0,
                                     kTestQueryAnswer | 9, kTestQueryAnswer | 2}}) {
        test_support::ScopedValue diagnostics(g_bDiagnosticsEnabled, c.bDiagnostics);
        SCOPED_TRACE(c.bDiagnostics ? "diagnostics on" : "diagnostics off");
        EXPECT_EQ(SendMessageA(hWnd, g_uTestQueryMsg, kTestQueryIdentity, 0), c.lBrowser);
        EXPECT_EQ(SendMessageA(hPlain, g_uTestQueryMsg, kTestQueryIdentity, 0), c.lPlain);
        EXPECT_EQ(SendMessageA(hPlain, g_uTestQueryMsg, kTestQueryRecordCount, 0), c.lCount);
        EXPECT_EQ(SendMessageA(hUnhooked, g_uTestQueryMsg, kTestQueryIdentity, 0), 0) << "not hooked: the host's own answer";
    }
}

TEST_F(HookTableTest, RestoreGivesBackTheOwnProcedureAndRemovesTheItemWhenAsked) {
    HWND hWnd = Host();
    const WNDPROC pfnOwn = WndProcOf(hWnd);
    TryToHookThisWnd(hWnd, 2);
    HookedWndInfo* pInfo = FindHookedWnd(hWnd, nullptr);
    ASSERT_NE(pInfo, nullptr);
    RestoreWndProc(pInfo, FALSE);
    EXPECT_EQ(WndProcOf(hWnd), pfnOwn);
    EXPECT_EQ(pInfo->pfnOldWndProc, nullptr);
    EXPECT_TRUE(seams.removes.empty());
    RestoreWndProc(pInfo, TRUE);
    EXPECT_EQ(WndProcOf(hWnd), pfnOwn);
    ASSERT_EQ(seams.removes.size(), 1u);
    EXPECT_EQ(seams.removes[0].first, pInfo);
    EXPECT_TRUE(seams.removes[0].second) << "redrawn";
}

WNDPROC g_pfnBelowLater = nullptr;
int g_nLaterCalls = 0;
LRESULT CALLBACK LaterSubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == kProbeMessage) ++g_nLaterCalls;
    return CallWindowProcA(g_pfnBelowLater, hWnd, uMsg, wParam, lParam);
}

TEST_F(HookTableTest, LaterSubclassKeepsItsProcedureAndTheHostKeepsItsMessages) {
    HWND hWnd = Host();
    TryToHookThisWnd(hWnd, 2);
    HookedWndInfo* pInfo = FindHookedWnd(hWnd, nullptr);
    ASSERT_NE(pInfo, nullptr);
    g_nLaterCalls = 0;
    g_pfnBelowLater = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LaterSubclassProc)));
    ASSERT_EQ(g_pfnBelowLater, HookProc);

    RestoreWndProc(pInfo, TRUE);
    EXPECT_EQ(WndProcOf(hWnd), LaterSubclassProc);
    EXPECT_NE(pInfo->pfnOldWndProc, nullptr);
    EXPECT_EQ(seams.removes.size(), 1u) << "the item goes all the same";

    // Unhooked, the record is gone, but the later subclass still calls us:
    // the host's own procedure keeps getting its messages.
    UnhookAllWindows();
    EXPECT_EQ(CountHookedWindows(), 0u);
    EXPECT_EQ(CountForwardOnlyWindows(), 1u);
    EXPECT_EQ(SendMessageA(hWnd, kProbeMessage, 9, 0), 10);
    EXPECT_EQ(g_nLaterCalls, 1);
    DestroyWindow(hWnd);
    EXPECT_EQ(CountForwardOnlyWindows(), 0u);
    ASSERT_EQ(HostLog().size(), 2u);
    EXPECT_EQ(HostLog()[0].uMsg, kProbeMessage);
    EXPECT_EQ(HostLog()[1].uMsg, static_cast<UINT>(WM_NCDESTROY));
}

TEST_F(HookTableTest, UnhookThisWndFindsItsRecordWhenThePositionIsStale) {
    HWND hA = Host(), hB = Host(), hC = Host();
    for (HWND h : {hA, hB, hC}) TryToHookThisWnd(h, 2);
    size_t nPositionC = 0;
    HookedWndInfo* pC = FindHookedWnd(hC, &nPositionC);
    EXPECT_EQ(nPositionC, 2u);
    size_t nPositionA = 0;
    UnhookThisWnd(FindHookedWnd(hA, &nPositionA), TRUE, nPositionA);
    UnhookThisWnd(pC, FALSE, nPositionC);  // now at 1
    EXPECT_EQ(CountHookedWindows(), 1u);
    EXPECT_NE(FindHookedWnd(hB, nullptr), nullptr);
    EXPECT_EQ(WndProcOf(hA), RecordingHostProcA);
    EXPECT_EQ(WndProcOf(hC), RecordingHostProcA);
    EXPECT_EQ(WndProcOf(hB), HookProc);
    EXPECT_EQ(seams.removes.size(), 1u);
}

TEST_F(HookTableTest, UnhookAllGivesEveryWindowBackAndRemovesEveryItem) {
    HWND hWindows[4] = {Host(), Host(), Host(false), Host()};
    const int nModules[4] = {2, 8, 3, 1};
    for (int i = 0; i < 4; ++i) TryToHookThisWnd(hWindows[i], nModules[i]);
    ASSERT_EQ(CountHookedWindows(), 4u);
    UnhookAllWindows();
    EXPECT_EQ(CountHookedWindows(), 0u);
    EXPECT_EQ(CountLiveHookedRecords(), 0);
    EXPECT_EQ(seams.removes.size(), 4u);
    for (HWND h : hWindows) EXPECT_EQ(WndProcOf(h), RecordingHostProcA);
    for (HWND h : hWindows) EXPECT_EQ(SendMessageA(h, kProbeMessage, 1, 0), 2);
}

// The window's own thread may destroy it while another thread gives every
// window back: the record must stay alive for as long as the latter works on it.
TEST_F(HookTableTest, UnhookAllKeepsTheRecordWhileTheWindowIsUnhookedMeanwhile) {
    static LONG s_nLiveDuringRemoval = -1;
    s_nLiveDuringRemoval = -1;
    static constexpr ItemPlacer kUnhookedDuringRemoval = {
        [](HookedWndInfo*) { return TRUE; },
        [](HookedWndInfo* pInfo, BOOL bRedraw) {
            if (!bRedraw) return;
            // As the window's thread does on WM_NCDESTROY.
            UnhookThisWnd(pInfo, FALSE, 0);
            s_nLiveDuringRemoval = CountLiveHookedRecords();
        },
        [](HookedWndInfo*) {}};
    ScopedItemPlacer placer(kUnhookedDuringRemoval);
    HWND hWnd = Host();
    TryToHookThisWnd(hWnd, 2);
    ASSERT_EQ(CountLiveHookedRecords(), 1);
    UnhookAllWindows();
    EXPECT_EQ(s_nLiveDuringRemoval, 1);
    EXPECT_EQ(CountHookedWindows(), 0u);
    EXPECT_EQ(CountLiveHookedRecords(), 0);
    EXPECT_EQ(WndProcOf(hWnd), RecordingHostProcA);
}

TEST_F(HookTableTest, HookRemovalUnhooksTheCallersWindows) {
    HWND hWnd = Host();
    TryToHookThisWnd(hWnd, 2);
    VXPFCWSetHooking(FALSE, 0, 0, 0);
    EXPECT_EQ(CountHookedWindows(), 0u);
    EXPECT_EQ(WndProcOf(hWnd), RecordingHostProcA);
}

TEST_F(HookTableTest, HookRemovedNoticeUnhooksAndRemovesTheItem) {
    ASSERT_NE(g_uHookRemovedMsg, 0u);
    HWND hWnd = Host();
    TryToHookThisWnd(hWnd, 2);
    SendMessageA(hWnd, g_uHookRemovedMsg, 0, 0);
    EXPECT_EQ(CountHookedWindows(), 0u);
    EXPECT_EQ(WndProcOf(hWnd), RecordingHostProcA);
    EXPECT_EQ(seams.removes.size(), 1u);
    EXPECT_EQ(SendMessageA(hWnd, kProbeMessage, 4, 0), 5);
}

TEST_F(HookTableTest, ReleaseIfExcludedUnhooksOnlyWhenTheHostIsNoLongerIncluded) {
    SharedListsScope lists;
    lists.Modules({"X.EXE"});
    lists.Include({"Tests (WIN_UNIT)"});
    HWND hWnd = Host();
    TryToHookThisWnd(hWnd, 2);
    HookedWndInfo* pInfo = FindHookedWnd(hWnd, nullptr);
    ReleaseIfExcluded(pInfo);
    EXPECT_EQ(FindHookedWnd(hWnd, nullptr), pInfo);
    lists.Include({"Others (NOTEPAD)"});
    ReleaseIfExcluded(pInfo);
    EXPECT_EQ(FindHookedWnd(hWnd, nullptr), nullptr);
    EXPECT_EQ(WndProcOf(hWnd), RecordingHostProcA);
    EXPECT_EQ(seams.removes.size(), 1u);
}

// --- the menu worker -----------------------------------------------------------

TEST_F(HookTableTest, MenuWorkerResults) {
    constexpr UINT kPopupMarker = 101;  // an item of the host's File menu
    struct Case {
        const char* pszWhat;
        bool bVisible;
        bool bMenu;
        DWORD dwFlags;
        UINT uMarker;
        BOOL bAddResult;
        bool bRestored;
        DWORD dwResult;
        LONG nSleeps;
        size_t nAdds;
    };
    const Case kCases[] = {
        {"hidden", false, true, 0, 0, FALSE, false, kMenuWaitGone, 0, 0},
        {"no menu", true, false, 0, 0, FALSE, false, kMenuWaitNoMenu, 0, 0},
        {"closing", true, true, kHookFlagClosing, 0, FALSE, false, 0, 0, 0},
        {"popup present all along", true, true, 0, kPopupMarker, FALSE, false, 0, 20, 0},
        {"popup gone, placing fails", true, true, 0, 0, FALSE, false, 0, 20, 20},
        {"popup gone, placed again", true, true, 0, 0, TRUE, false, 0, 0, 1},
        {"marker not in the menu, placed again", true, true, 0, 4242, TRUE, false, 0, 0, 1},
        {"window restored meanwhile", true, true, 0, 0, TRUE, true, kMenuWaitUnhooked, 0, 0},
    };
    for (const Case& c : kCases) {
        HWND hWnd = Host(true, true);
        TryToHookThisWnd(hWnd, 0);
        HookedWndInfo* pInfo = FindHookedWnd(hWnd, nullptr);
        ASSERT_NE(pInfo, nullptr);
        if (!c.bVisible) ShowWindow(hWnd, SW_HIDE);
        if (!c.bMenu) SetMenu(hWnd, nullptr);
        if (c.bRestored) RestoreWndProc(pInfo, FALSE);
        pInfo->dwFlags |= c.dwFlags;
        pInfo->aCmdID[kCmdFax] = c.uMarker;
        seams.adds.clear();
        seams.bAddResult = c.bAddResult;
        seams.nSleeps = 0;
        const LONG nBusyBefore = g_nBusyThreads;
        EXPECT_EQ(MenuWaitThread(pInfo), c.dwResult) << c.pszWhat;
        EXPECT_EQ(seams.nSleeps, c.nSleeps) << c.pszWhat;
        EXPECT_EQ(seams.adds.size(), c.nAdds) << c.pszWhat;
        EXPECT_EQ(g_nBusyThreads, nBusyBefore) << c.pszWhat;
        // The worker's locks are free again.
        EXPECT_EQ(WaitForSingleObject(pInfo->hLock.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0)) << c.pszWhat;
        ReleaseSemaphore(pInfo->hLock.get(), 1, nullptr);
        UnhookAllWindows();
    }
}

TEST_F(HookTableTest, MenuWorkerOnADestroyedWindow) {
    HWND hWnd = Host();
    TryToHookThisWnd(hWnd, 0);
    {
        HookedWndRef info = FindHookedWndRef(hWnd, nullptr);
        ASSERT_TRUE(info);
        DestroyWindow(hWnd);
        EXPECT_EQ(MenuWaitThread(info.get()), kMenuWaitGone);
    }
    EXPECT_EQ(CountLiveHookedRecords(), 0);
}

HANDLE g_hWorkerSleeping = nullptr;
HANDLE g_hWorkerGo = nullptr;

// Waits for hEvent while answering what other threads send to this thread's
// windows, as a window's thread does.
bool WaitAnswering(HANDLE hEvent, DWORD dwTimeoutMs) {
    const DWORD dwStart = GetTickCount();
    for (;;) {
        const DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= dwTimeoutMs) return false;
        const DWORD dwWait = MsgWaitForMultipleObjects(1, &hEvent, FALSE, dwTimeoutMs - dwElapsed, QS_SENDMESSAGE);
        if (dwWait == WAIT_OBJECT_0) return true;
        if (dwWait != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
void SleepUntilTold(DWORD) {
    SetEvent(g_hWorkerSleeping);
    WaitForSingleObject(g_hWorkerGo, 10000);
}

// The window goes while the worker sleeps between two attempts: the record
// must still be there when the worker wakes, and go when the worker ends.
TEST_F(HookTableTest, WindowDestroyedWhileTheWorkerSleeps) {
    g_hWorkerSleeping = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    g_hWorkerGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    seams.pfnOnSleep = SleepUntilTold;
    seams.bAddResult = FALSE;  // the popup never comes back: the worker keeps trying

    HWND hWnd = Host();
    TryToHookThisWnd(hWnd, 0);
    HookedWndInfo* pInfo = FindHookedWnd(hWnd, nullptr);
    ASSERT_NE(pInfo, nullptr);
    DWORD dwThreadId = 0;
    ASSERT_TRUE(StartMenuWaitThread(pInfo, &dwThreadId));
    HANDLE hThread = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, dwThreadId);
    ASSERT_NE(hThread, nullptr);
    ASSERT_TRUE(WaitAnswering(g_hWorkerSleeping, 5000));

    DestroyWindow(hWnd);
    EXPECT_EQ(CountHookedWindows(), 0u);
    EXPECT_EQ(CountLiveHookedRecords(), 1) << "held by the sleeping worker";
    EXPECT_TRUE(pInfo->bUnhooked);

    SetEvent(g_hWorkerGo);
    ASSERT_EQ(WaitForSingleObject(hThread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD dwExit = 0;
    GetExitCodeThread(hThread, &dwExit);
    EXPECT_EQ(dwExit, kMenuWaitUnhooked);
    EXPECT_EQ(CountLiveHookedRecords(), 0);
    EXPECT_EQ(g_nBusyThreads, 0);
    EXPECT_EQ(seams.nSleeps, 1);
    EXPECT_EQ(seams.adds.size(), 1u) << "one attempt, made by the window's thread, before the window went";
    CloseHandle(hThread);
    CloseHandle(g_hWorkerSleeping);
    CloseHandle(g_hWorkerGo);
}

TEST_F(HookTableTest, MenuWorkerWatchesForAboutFiveSeconds) {
    seams.pfnOnSleep = [](DWORD dwMs) { Sleep(dwMs); };
    HWND hWnd = Host();
    TryToHookThisWnd(hWnd, 0);
    HookedWndInfo* pInfo = FindHookedWnd(hWnd, nullptr);
    pInfo->aCmdID[kCmdFax] = 101;
    const DWORD dwStart = GetTickCount();
    EXPECT_EQ(MenuWaitThread(pInfo), 0u);
    const DWORD dwElapsed = GetTickCount() - dwStart;
    EXPECT_GE(dwElapsed, 4900u);
    EXPECT_LT(dwElapsed, 8000u);
}

// --- cost of the pass-on path ---------------------------------------------------

TEST_F(HookTableTest, MessageStormPassesThroughUnchanged) {
    constexpr int kMessages = 100000;
    HWND hWnd = Host();
    auto storm = [hWnd](double* pdSeconds) {
        int nWrong = 0;
        const size_t nLogBefore = HostLog().size();
        LARGE_INTEGER start, end, frequency;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        for (int i = 0; i < kMessages; ++i) {
            if (SendMessageA(hWnd, kProbeMessage, static_cast<WPARAM>(i), ~static_cast<LPARAM>(i)) != i + 1) ++nWrong;
        }
        QueryPerformanceCounter(&end);
        *pdSeconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        int nMismatch = 0;
        for (int i = 0; i < kMessages; ++i) {
            const auto& m = HostLog()[nLogBefore + static_cast<size_t>(i)];
            if (m.wParam != static_cast<WPARAM>(i) || m.lParam != ~static_cast<LPARAM>(i)) ++nMismatch;
        }
        EXPECT_EQ(HostLog().size() - nLogBefore, static_cast<size_t>(kMessages));
        return nWrong + nMismatch;
    };
    HostLog().reserve(2 * kMessages + 16);
    double dUnhooked = 0, dHooked = 0;
    EXPECT_EQ(storm(&dUnhooked), 0);
    TryToHookThisWnd(hWnd, 2);
    ASSERT_EQ(WndProcOf(hWnd), HookProc);
    EXPECT_EQ(storm(&dHooked), 0);
    const double dUnhookedUs = dUnhooked * 1e6 / kMessages;
    const double dHookedUs = dHooked * 1e6 / kMessages;
    std::printf("message storm, %d messages: unhooked %.3f us/message, through HookProc %.3f us/message (+%.3f us)\n",
                kMessages, dUnhookedUs, dHookedUs, dHookedUs - dUnhookedUs);
    RecordProperty("unhooked_ns_per_message", static_cast<int>(dUnhookedUs * 1000));
    RecordProperty("hooked_ns_per_message", static_cast<int>(dHookedUs * 1000));
}

}  // namespace
