// The window procedure of hooked hosts: which messages it answers, which it
// passes on, the suite check in front of every send command, and the refresh
// that keeps the send item in place while the host changes its menu bar.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "hook_test_support.h"
#include "menu/menu_search.h"
#include "pump.h"
#include "send_item_env.h"
#include "suite/user_messages.h"
#include "window_tree.h"

using test_support::HostLog;
using test_support::SendItemEnvironment;

namespace {

constexpr int kMenuHost = 2;

using test_support::PumpUntil;

std::vector<UINT> HostMessages(UINT uMsg) {
    std::vector<UINT> seen;
    for (const auto& m : HostLog())
        if (m.uMsg == uMsg) seen.push_back(static_cast<UINT>(m.wParam));
    return seen;
}

LRESULT CALLBACK RecordingHost(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_COMMAND || uMsg == WM_INITMENUPOPUP || uMsg == WM_MENUSELECT)
        HostLog().push_back({hWnd, uMsg, wParam, lParam});
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

class HookProcTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(env.resourcesLoaded());
        HostLog().clear();
        env.Profile("PFCWatch", "BitmapMenu", "0");
        env.Profile("PFCWatch", "Print", "Print,");
        tree.RegisterWithProc("PfcHookProcHost", RecordingHost);
    }
    void TearDown() override { UnhookAllWindows(); }

    HookedWndInfo* Hook(int nModule, bool bBrowser = false) {
        HMENU hMenu = CreateMenu();
        m_hFile = CreatePopupMenu();
        AppendMenuA(m_hFile, MF_STRING, 101, "&Print...");
        AppendMenuA(hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(m_hFile), "&File");
        HWND hWnd = CreateWindowExA(0, "PfcHookProcHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 200,
                                    nullptr, hMenu, GetModuleHandleA(nullptr), nullptr);
        tree.Adopt(hWnd);
        if (bBrowser) tree.Child(hWnd, "Worker");
        TryToHookThisWnd(hWnd, nModule);
        HostLog().clear();
        return FindHookedWnd(hWnd, nullptr);
    }
    static LRESULT Command(const HookedWndInfo* pInfo, UINT uId) {
        return SendMessageA(pInfo->hWnd, WM_COMMAND, MAKEWPARAM(uId, 0), 0);
    }

    SendItemEnvironment env;
    test_support::WindowTree tree;
    HMENU m_hFile = nullptr;
};

TEST_F(HookProcTest, OnlyTheWindowsOwnSendCommandsAreTakenFromTheHost) {
    HookedWndInfo* pInfo = Hook(kMenuHost);
    ASSERT_NE(pInfo, nullptr);
    ASSERT_NE(pInfo->aCmdID[kCmdFirstExtra], 0u);
    Command(pInfo, 0);
    Command(pInfo, 101);
    EXPECT_EQ(Command(pInfo, pInfo->aCmdID[kCmdFirstExtra]), 1);
    EXPECT_EQ(HostMessages(WM_COMMAND), (std::vector<UINT>{0, 101}));
    ASSERT_EQ(env.seams.launches.size(), 1u) << "the distributor's first item is opened";
    EXPECT_EQ(env.seams.launches[0].file, "C:\\Program Files\\Tellarine\\Common\\Partner.txt");
    EXPECT_TRUE(env.seams.messageBoxes.empty());
    // The send actions may have the host print (its own Print command
    // reaches it), but never show it their own identifiers.
    for (int nPosition : {kCmdFaxCoverPage, kCmdFax, kCmdSendByMail}) {
        EXPECT_EQ(Command(pInfo, pInfo->aCmdID[nPosition]), 1);
        const std::vector<UINT> seen = HostMessages(WM_COMMAND);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), pInfo->aCmdID[nPosition]), 0) << nPosition;
    }
}

// A host control may use one of our identifiers: its notifications carry its
// window in lParam and always reach the host; menu picks and accelerators
// (lParam 0) stay ours. Button hosts use the fixed identifiers.
TEST_F(HookProcTest, ControlNotificationsWithASendIdentifierGoToTheHost) {
    for (int nModule : {kMenuHost, 0}) {
        HookedWndInfo* pInfo = Hook(nModule, nModule == 0);
        ASSERT_NE(pInfo, nullptr);
        if (nModule == 0)  // as the button gives them
            for (int i = 0; i < kSendCommandCount; ++i) pInfo->aCmdID[i] = SendCommandAt(i).uBaseId;
        const UINT uId = pInfo->aCmdID[kCmdFirstExtra];
        ASSERT_NE(uId, 0u);
        HWND hEdit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 0, 0, 80, 20, pInfo->hWnd,
                                     reinterpret_cast<HMENU>(static_cast<UINT_PTR>(uId)), GetModuleHandleA(nullptr),
                                     nullptr);
        ASSERT_NE(hEdit, nullptr);
        HostLog().clear();
        SetWindowTextA(hEdit, "typed");  // the edit control sends EN_CHANGE to its parent
        SendMessageA(pInfo->hWnd, WM_COMMAND, MAKEWPARAM(uId, BN_CLICKED), reinterpret_cast<LPARAM>(hEdit));
        std::vector<WPARAM> seen;
        for (const auto& m : HostLog())
            if (m.uMsg == WM_COMMAND && m.lParam == reinterpret_cast<LPARAM>(hEdit)) seen.push_back(m.wParam);
        EXPECT_EQ(seen, (std::vector<WPARAM>{MAKEWPARAM(uId, EN_UPDATE), MAKEWPARAM(uId, EN_CHANGE),
                                             MAKEWPARAM(uId, BN_CLICKED)}))
            << nModule;
        EXPECT_TRUE(env.seams.launches.empty()) << nModule << ": no command ran";
        EXPECT_EQ(Command(pInfo, uId), 1) << nModule << ": the menu pick is still ours";
        EXPECT_EQ(env.seams.launches.size(), 1u) << nModule;
        EXPECT_EQ(HostMessages(WM_COMMAND).size(), seen.size()) << nModule;
        env.seams.launches.clear();
        UnhookAllWindows();
    }
}

TEST_F(HookProcTest, ASuiteThatIsNotReadyStopsTheCommandWithAMessage) {
    HookedWndInfo* pInfo = Hook(kMenuHost);
    ASSERT_NE(pInfo, nullptr);
    test_support::SuiteKeySandbox::Set(kRootCurrentUser, "InstallVersion", REG_SZ, "x", 2);

    // The message is a real one: found, read and answered as a person would.
    platform::GetSeams().pfnMessageBoxA = platform::DefaultSeams().pfnMessageBoxA;
    std::string seenText;
    std::atomic<bool> bPressed{false};
    std::thread person([&] {
        for (int i = 0; i < 500 && !bPressed; ++i, Sleep(20)) {
            HWND hBox = FindWindowA("#32770", GetApplicationName());
            HWND hText = hBox != nullptr ? GetDlgItem(hBox, 0xFFFF) : nullptr;
            char szText[512] = {};
            if (hText == nullptr || GetWindowTextA(hText, szText, sizeof szText) <= 0) continue;
            seenText = szText;
            PostMessageA(hBox, WM_COMMAND, IDOK, 0);
            bPressed = true;
        }
    });
    EXPECT_EQ(Command(pInfo, pInfo->aCmdID[kCmdFirstExtra]), 1);
    person.join();
    char szExpected[512] = {};
    LoadStringA(g_hResourceModule, IDS_LIBRARY_ERROR, szExpected, sizeof szExpected);
    EXPECT_TRUE(bPressed);
    EXPECT_EQ(seenText, szExpected);
    EXPECT_TRUE(HostMessages(WM_COMMAND).empty());
    EXPECT_TRUE(env.seams.launches.empty()) << "the command itself did not run";
}

TEST_F(HookProcTest, AnOutOfDateSuiteStartsTheUpdateSilently) {
    HookedWndInfo* pInfo = Hook(kMenuHost);
    ASSERT_NE(pInfo, nullptr);
    SendItemEnvironment::SetSuite(3, false, 3);
    test_support::SuiteKeySandbox::SetString(kRootLocalMachine, "InstallerName", "install.exe");
    CloseHandle(CreateFileA((env.dir() + "\\install.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_EQ(Command(pInfo, pInfo->aCmdID[kCmdFirstExtra]), 1);
    EXPECT_TRUE(env.seams.messageBoxes.empty());
    ASSERT_EQ(env.seams.launches.size(), 1u) << "only the installer, not the command";
    EXPECT_EQ(env.seams.launches[0].parameters, "/UPDATE");
    EXPECT_TRUE(HostMessages(WM_COMMAND).empty());
}

TEST_F(HookProcTest, OpeningTheSendPopupIsAnsweredAndTheHostPreparesItsMenuBar) {
    HookedWndInfo* pInfo = Hook(kMenuHost);
    ASSERT_NE(pInfo, nullptr);
    HMENU hMessages = GetSubMenu(pInfo->hPopupMenu.get(), 3);
    ASSERT_NE(hMessages, nullptr);
    struct Case {
        HMENU hOpening;
        UINT uPosition;
        bool bAnswered;
    } cases[] = {{pInfo->hPopupMenu.get(), 2, true}, {hMessages, 3, true}, {hMessages, 0, false}, {m_hFile, 0, false}};
    for (const Case& c : cases) {
        HostLog().clear();
        SendMessageA(pInfo->hWnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(c.hOpening), MAKELPARAM(c.uPosition, 0));
        const std::vector<UINT> seen = HostMessages(WM_INITMENUPOPUP);
        const UINT uExpected = static_cast<UINT>(reinterpret_cast<UINT_PTR>(c.bAnswered ? GetMenu(pInfo->hWnd) : c.hOpening));
        EXPECT_EQ(seen, std::vector<UINT>{uExpected}) << c.uPosition;
    }
}

TEST_F(HookProcTest, BrowsingAMenuTeachesOnlyBrowserWindowsTheirPrintCommand) {
    for (bool bBrowser : {false, true}) {
        env.Profile("HOSTONE.EXE", "PrintCmd", nullptr);
        HookedWndInfo* pInfo = Hook(kHostDocObject, bBrowser);
        ASSERT_NE(pInfo, nullptr);
        SendMessageA(pInfo->hWnd, WM_MENUSELECT, MAKEWPARAM(0, MF_POPUP), reinterpret_cast<LPARAM>(m_hFile));
        EXPECT_EQ(env.Profile("HOSTONE.EXE", "PrintCmd"), bBrowser ? "101" : "<none>");
        EXPECT_EQ(HostMessages(WM_MENUSELECT).size(), 1u) << "passed on in every case";
        DestroyWindow(pInfo->hWnd);
    }
}

TEST_F(HookProcTest, MenuRebuiltStartsTheWorkerForTheFirstHostOnly) {
    test_support::HookSeamRecorder recorder;
    for (int nModule : {kMenuHost, kHostBrowser}) {
        HookedWndInfo* pInfo = Hook(nModule);
        ASSERT_NE(pInfo, nullptr);
        recorder.adds.clear();
        SendMessageA(pInfo->hWnd, WM_USER + 2, 0, 0);
        const bool bWorked = PumpUntil([&] { return !recorder.adds.empty(); }, nModule == kHostBrowser ? 3000 : 500);
        EXPECT_EQ(bWorked, nModule == kHostBrowser) << nModule;
        DestroyWindow(pInfo->hWnd);
        PumpUntil([] { return g_nBusyThreads == 0; }, 3000);
    }
}

// --- refresh ----------------------------------------------------------------

TEST_F(HookProcTest, AReplacedMenuBarGetsThePopupBackAfterItsNextSize) {
    HookedWndInfo* pInfo = Hook(kMenuHost);
    ASSERT_NE(pInfo, nullptr);
    HMENU hNew = CreateMenu();
    AppendMenuA(hNew, MF_STRING, 500, "&Document");
    HMENU hOld = GetMenu(pInfo->hWnd);
    SetMenu(pInfo->hWnd, hNew);
    DestroyMenu(hOld);
    const DWORD dwStart = GetTickCount();
    SendMessageA(pInfo->hWnd, WM_SIZE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return GetMenuItemCount(hNew) == 2; }, 3000));
    EXPECT_GE(GetTickCount() - dwStart, 1000u) << "one timer period after the first message";
    EXPECT_EQ(GetSubMenu(hNew, 1), pInfo->hPopupMenu);
    EXPECT_EQ(pInfo->hMenu, hNew);
}

TEST_F(HookProcTest, AnItemAppendedByTheHostPutsThePopupLastAgain) {
    HookedWndInfo* pInfo = Hook(kMenuHost);
    ASSERT_NE(pInfo, nullptr);
    HMENU hMenu = GetMenu(pInfo->hWnd);
    AppendMenuA(hMenu, MF_STRING, 600, "&Window");
    SendMessageA(pInfo->hWnd, WM_SIZE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return GetSubMenu(hMenu, 2) == pInfo->hPopupMenu; }, 3000));
    EXPECT_EQ(GetMenuItemID(hMenu, 1), 600u);
    EXPECT_EQ(pInfo->nMenuItems, 3);
}

std::atomic<int> g_nRefreshes{0};

TEST_F(HookProcTest, ABurstOfSizesGivesOneRefresh) {
    HookedWndInfo* pInfo = Hook(kMenuHost);
    ASSERT_NE(pInfo, nullptr);
    g_nRefreshes = 0;
    static const ItemPlacer kCountingRefresh = {AddHookedMenuItem, RemoveHookedMenuItem,
                                                [](HookedWndInfo*) { ++g_nRefreshes; }};
    test_support::ScopedValue refresh(pInfo->pPlacer, &kCountingRefresh);
    for (int i = 0; i < 50; ++i) SendMessageA(pInfo->hWnd, WM_SIZE, 0, MAKELPARAM(400 + i, 200));
    ASSERT_TRUE(PumpUntil([&] { return g_nRefreshes >= 1 && pInfo->uTimerID == 0; }, 5000));
    // The timer is gone; a second refresh could only be one already posted.
    // A host command posted now is handled after it, so once the host has
    // the command such a refresh would have been counted.
    constexpr UINT kMarker = 0x5EED;
    ASSERT_TRUE(PostMessageA(pInfo->hWnd, WM_COMMAND, MAKEWPARAM(kMarker, 0), 0));
    ASSERT_TRUE(PumpUntil([] { return !HostMessages(WM_COMMAND).empty(); }, 5000));
    EXPECT_EQ(HostMessages(WM_COMMAND), std::vector<UINT>{kMarker});
    EXPECT_EQ(g_nRefreshes, 1);
}

}  // namespace
