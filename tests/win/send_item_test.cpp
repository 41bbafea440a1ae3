// The send item in a menu host's menu bar: what the popup holds for each
// edition of the suite, the identifiers it gets, the text form and its
// mnemonic, the Print command lookup, and removal. Menus are compared item by
// item (position, type, state, identifier, text).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "hook_test_support.h"
#include "menu/menu_search.h"
#include "menu/send_item.h"
#include "platform/fault_guard.h"
#include "platform/seams.h"
#include "platform/unique_handle.h"
#include "send_item_env.h"
#include "window_tree.h"

using test_support::DescribeMenu;
using test_support::SendItemEnvironment;
using Lines = std::vector<std::string>;

namespace {

constexpr int kMenuHost = 2;

Lines Concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Lines Indent(const Lines& lines) {
    Lines out;
    for (const std::string& line : lines) out.push_back("  " + line);
    return out;
}

// The distributor's items of the built-in set, renumbered from 12681; the
// separator keeps its number.
const Lines kOemItems = {
    "0 string state=0 id=12681 Partner &notes",
    "1 string state=0 id=12682 Partner &service",
    "2 sep state=3 id=0 ",
    "3 string state=0 id=12684 &Suite folder",
};

Lines MessagesGroup(int nPos) {
    return Concat({{std::to_string(nPos) + " string state=0 id=0 &Messages {",
                    "  0 string state=0 id=12669 &Phone Book...", "  1 string state=0 id=12671 Phone Book &Entry...",
                    "  2 sep state=3 id=0 ", "  3 string state=0 id=12673 Send by &Mail...",
                    "  4 string state=0 id=0 &Extras {"},
                   Indent(Indent(kOemItems)),
                   {"  }", "}"}});
}

Lines OptionsGroup(int nPos) {
    return {std::to_string(nPos) + " string state=0 id=0 O&ptions {", "  0 string state=0 id=12675 &Configure...", "}"};
}

class SendItemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(env.resourcesLoaded());
        env.Profile("PFCWatch", "BitmapMenu", "1");
        env.Profile("PFCWatch", "Print", "Print,");
    }
    void TearDown() override { UnhookAllWindows(); }

    // A host with File{Print, Exit} and Edit{Copy}, hooked as host nModule.
    HookedWndInfo* HookHost(int nModule, HMENU hMenu = nullptr) {
        if (hMenu == nullptr) hMenu = HostMenuBar();
        HWND hWnd = CreateWindowExA(0, "PfcSendItemHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 200,
                                    nullptr, hMenu, GetModuleHandleA(nullptr), nullptr);
        tree.Adopt(hWnd);
        TryToHookThisWnd(hWnd, nModule);
        return FindHookedWnd(hWnd, nullptr);
    }
    static HMENU HostMenuBar() {
        HMENU hMenu = CreateMenu();
        HMENU hFile = CreatePopupMenu();
        AppendMenuA(hFile, MF_STRING, 101, "&Print...\tCtrl+P");
        AppendMenuA(hFile, MF_STRING, 102, "E&xit");
        HMENU hEdit = CreatePopupMenu();
        AppendMenuA(hEdit, MF_STRING, 201, "&Copy");
        AppendMenuA(hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(hFile), "&File");
        AppendMenuA(hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(hEdit), "&Edit");
        return hMenu;
    }
    static HMENU LastPopup(const HookedWndInfo* pInfo) {
        HMENU hMenu = GetMenu(pInfo->hWnd);
        return GetSubMenu(hMenu, GetMenuItemCount(hMenu) - 1);
    }

    SendItemEnvironment env;
    struct Classes {
        Classes() { tree.RegisterWithProc("PfcSendItemHost", DefWindowProcA); }
        test_support::WindowTree tree;
    } classes;
    test_support::WindowTree& tree = classes.tree;
};

// --- the popup for each edition ----------------------------------------------

struct EditionCase {
    const char* pszWhat;
    int nParvaneInfo;  // -1: unreadable
    bool bInstallFlag;
    Lines expected;
};

class SendPopupEditionTest : public SendItemTest, public ::testing::WithParamInterface<EditionCase> {};

TEST_P(SendPopupEditionTest, HoldsWhatTheEditionOffers) {
    const EditionCase& c = GetParam();
    SendItemEnvironment::SetSuite(c.nParvaneInfo, c.bInstallFlag);
    HookedWndInfo* pInfo = HookHost(kMenuHost);
    ASSERT_NE(pInfo, nullptr);
    ASSERT_NE(pInfo->hPopupMenu, nullptr);
    EXPECT_EQ(LastPopup(pInfo), pInfo->hPopupMenu);
    EXPECT_EQ(DescribeMenu(pInfo->hPopupMenu.get()), c.expected) << c.pszWhat;
}

const Lines kFax = {"0 string state=0 id=12667 &Fax..."};

INSTANTIATE_TEST_SUITE_P(
    Editions, SendPopupEditionTest,
    ::testing::Values(
        EditionCase{"full edition, install flag", 3, true,
                    Concat({kFax,
                            {"1 string state=0 id=12665 &Quick Send...", "2 string state=0 id=12663 Fax &Cover Page...",
                             "3 string state=0 id=12677 Fax with &Options..."},
                            MessagesGroup(4), OptionsGroup(5)})},
        EditionCase{"full edition", 3, false,
                    Concat({kFax,
                            {"1 string state=0 id=12665 &Quick Send...", "2 string state=0 id=12663 Fax &Cover Page..."},
                            MessagesGroup(3), OptionsGroup(4)})},
        EditionCase{"mail printer only", 1, false,
                    Concat({kFax, {"1 string state=0 id=12665 &Quick Send..."}, OptionsGroup(2)})},
        EditionCase{"fax and messages only", 2, true,
                    Concat({kFax,
                            {"1 string state=0 id=12663 Fax &Cover Page...",
                             "2 string state=0 id=12677 Fax with &Options..."},
                            MessagesGroup(3)})},
        EditionCase{"neither", 0, false, kFax},
        EditionCase{"edition unreadable", -1, false,
                    Concat({kFax,
                            {"1 string state=0 id=12665 &Quick Send...", "2 string state=0 id=12663 Fax &Cover Page..."},
                            MessagesGroup(3), OptionsGroup(4)})}));

// Without the distributor's items (no set, or a set of another distributor)
// the placeholder goes and so does the submenu it leaves empty.
TEST_F(SendItemTest, WithoutDistributorsItemsNoEmptySubmenuIsLeft) {
    Lines expected = Concat({kFax,
                             {"1 string state=0 id=12665 &Quick Send...", "2 string state=0 id=12663 Fax &Cover Page..."},
                             MessagesGroup(3), OptionsGroup(4)});
    const auto extras = std::find(expected.begin(), expected.end(), "  4 string state=0 id=0 &Extras {");
    ASSERT_NE(extras, expected.end());
    expected.erase(extras, extras + static_cast<std::ptrdiff_t>(kOemItems.size()) + 2);
    for (DWORD dwOemId : {0u, 5u}) {  // no set; a set of another distributor than the built-in one (7)
        docengine::FreeDocumentSet(&OemMenuSet);
        docengine::InitDocumentSet(dwOemId, &OemMenuSet);
        if (dwOemId != 0) LoadOemMenuSet(&OemMenuSet, kOemMenuSlot);
        PrepareOemMenuItems();
        HookedWndInfo* pInfo = HookHost(kMenuHost);
        ASSERT_NE(pInfo, nullptr);
        ASSERT_NE(pInfo->hPopupMenu, nullptr);
        EXPECT_EQ(DescribeMenu(pInfo->hPopupMenu.get()), expected) << "OEM id " << dwOemId;
        UnhookAllWindows();
    }
}

// --- placement ------------------------------------------------------------

TEST_F(SendItemTest, MenuHostGetsTheBrandPictureAppendedLast) {
    HookedWndInfo* pInfo = HookHost(kMenuHost);
    ASSERT_NE(pInfo, nullptr);
    HMENU hMenu = GetMenu(pInfo->hWnd);
    EXPECT_EQ(DescribeMenu(hMenu).size(), DescribeMenu(HostMenuBar()).size() + DescribeMenu(pInfo->hPopupMenu.get()).size() + 2);
    EXPECT_EQ(test_support::DescribeItem(hMenu, 2), "2 bitmap state=0 id=0  {");
    EXPECT_NE(pInfo->hBitmap, nullptr);
    EXPECT_EQ(pInfo->hMenu, hMenu);
    EXPECT_EQ(pInfo->nMenuItems, 3);
    EXPECT_EQ(pInfo->uPrintCmd, 101u);
    EXPECT_TRUE(pInfo->dwFlags & kHookFlagItemConfirmed);
}

TEST_F(SendItemTest, TextItemWithAFreeMnemonicWhenPicturesAreOff) {
    env.Profile("PFCWatch", "BitmapMenu", "0");
    HMENU hMenu = HostMenuBar();
    AppendMenuA(hMenu, MF_STRING, 300, "&Tools");
    HookedWndInfo* pInfo = HookHost(kMenuHost, hMenu);
    ASSERT_NE(pInfo, nullptr);
    EXPECT_EQ(test_support::DescribeItem(GetMenu(pInfo->hWnd), 3), "3 string state=0 id=0 Te&llarine {");
    EXPECT_EQ(pInfo->hBitmap, nullptr);
}

TEST_F(SendItemTest, RefusalsLeaveTheMenuAsItWas) {
    struct Case {
        const char* pszWhat;
        const char* pszFirstItem;  // null: an empty menu bar
    } cases[] = {{"empty menu bar", nullptr}, {"first item without text", ""}, {"first item starts with a blank", " x"}};
    for (const Case& c : cases) {
        HMENU hMenu = CreateMenu();
        if (c.pszFirstItem != nullptr) AppendMenuA(hMenu, MF_STRING, 100, c.pszFirstItem);
        const Lines before = DescribeMenu(hMenu);
        HookedWndInfo* pInfo = HookHost(kMenuHost, hMenu);
        ASSERT_NE(pInfo, nullptr) << c.pszWhat;
        EXPECT_EQ(pInfo->hPopupMenu, nullptr) << c.pszWhat;
        EXPECT_EQ(DescribeMenu(GetMenu(pInfo->hWnd)), before) << c.pszWhat;
    }
}

TEST_F(SendItemTest, DocObjectHostNeedsOneOfItsBrowserMenuNames) {
    struct Case {
        const char* pszNames;  // BrowserMenu1; null: none configured
        bool bPlaced;
    } cases[] = {{nullptr, true}, {"Copy,", true}, {"Favorites,", false}};
    for (const Case& c : cases) {
        env.Profile("HOSTONE.EXE", "BrowserMenu1", c.pszNames);
        HookedWndInfo* pInfo = HookHost(kHostDocObject);
        ASSERT_NE(pInfo, nullptr);
        EXPECT_EQ(pInfo->hPopupMenu != nullptr, c.bPlaced) << (c.pszNames ? c.pszNames : "none");
        EXPECT_EQ((pInfo->dwFlags & kHookFlagItemConfirmed) != 0, c.bPlaced);
    }
}

TEST_F(SendItemTest, IdentifiersAreFreeInTheHostAndDistinct) {
    HMENU hMenu = HostMenuBar();
    HMENU hView = CreatePopupMenu();
    HMENU hDeep = CreatePopupMenu();
    AppendMenuA(hDeep, MF_STRING, 12663, "Zoom &In");
    AppendMenuA(hDeep, MF_STRING, 12664, "Zoom &Out");
    AppendMenuA(hView, MF_POPUP, reinterpret_cast<UINT_PTR>(hDeep), "&Zoom");
    AppendMenuA(hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(hView), "&View");
    const HookedWndInfo* pInfo = HookHost(kMenuHost, hMenu);
    ASSERT_NE(pInfo, nullptr);
    ASSERT_NE(pInfo->hPopupMenu, nullptr);
    EXPECT_EQ(pInfo->aCmdID[kCmdFaxCoverPage], 12665u);
    EXPECT_EQ(pInfo->aCmdID[kCmdQuickSend], 12666u);
    std::set<UINT> ids(std::begin(pInfo->aCmdID), std::end(pInfo->aCmdID));
    EXPECT_EQ(ids.size(), static_cast<size_t>(kSendCommandCount));
    for (UINT uId : ids) EXPECT_FALSE(FindMenuCommand(hDeep, uId)) << uId;
}

TEST_F(SendItemTest, FixedPrintCommandForItsHostOnly) {
    HMENU hMenu = HostMenuBar();
    EXPECT_EQ(LookUpPrintCmd("KESTRUNE.EXE", "HOSTTWO.EXE", hMenu), kFixedPrintHostCommand);
    EXPECT_EQ(LookUpPrintCmd("NOTEPAD.EXE", "HOSTTWO.EXE", hMenu), 101u);
    DestroyMenu(hMenu);
}

TEST_F(SendItemTest, PrintCommandFoundByItsConfiguredNames) {
    struct Case {
        const char* pszWatch;
        const char* pszPrint1;
        const char* pszPrint2;
        const char* pszPrint3;
        UINT uExpected;
    } cases[] = {
        {"Print,", nullptr, nullptr, nullptr, 101},        // the text after the TAB is not part of the name
        {"", "PRINT,", nullptr, nullptr, 101},             // case does not matter
        {"", "Drucken,Print,", nullptr, nullptr, 101},     // any name of the list
        {"", "Print", nullptr, nullptr, 0},                // a name without its comma is no name
        {"", "Druck,", nullptr, "Print,", 0},              // a missing Print2 hides Print3
        {"", "Druck,", "Exit,", "Print,", 101},            // the first item in menu order wins
        {"", "Druck,", "Exit,", nullptr, 102},             // depth first
        {",Print,", nullptr, nullptr, nullptr, 0},         // a list starting with a comma ends at once
    };
    HMENU hMenu = HostMenuBar();
    for (const Case& c : cases) {
        env.Profile("PFCWatch", "Print", c.pszWatch);
        env.Profile("HOSTTWO.EXE", nullptr, nullptr);
        if (c.pszPrint1) env.Profile("HOSTTWO.EXE", "Print1", c.pszPrint1);
        if (c.pszPrint2) env.Profile("HOSTTWO.EXE", "Print2", c.pszPrint2);
        if (c.pszPrint3) env.Profile("HOSTTWO.EXE", "Print3", c.pszPrint3);
        EXPECT_EQ(FindPrintCmd("HOSTTWO.EXE", hMenu), c.uExpected)
            << c.pszWatch << "|" << (c.pszPrint1 ? c.pszPrint1 : "") << "|" << (c.pszPrint3 ? c.pszPrint3 : "");
    }
    DestroyMenu(hMenu);
}

// --- removal --------------------------------------------------------------

TEST_F(SendItemTest, RemovalGivesTheMenuBackAndClearsTheRecord) {
    HookedWndInfo* pInfo = HookHost(kMenuHost);
    ASSERT_NE(pInfo, nullptr);
    const Lines hostOnly = DescribeMenu(HostMenuBar());
    RemoveHookedMenuItem(pInfo, TRUE);
    EXPECT_EQ(DescribeMenu(GetMenu(pInfo->hWnd)), hostOnly);
    EXPECT_EQ(pInfo->hPopupMenu, nullptr);
    EXPECT_EQ(pInfo->hBitmap, nullptr);
    EXPECT_EQ(pInfo->aCmdID[kCmdFax], 0u);
}

// Our popup is found by its handle: a host item that took our marker
// identifier, left of ours or in its place, neither hides it nor goes, and a
// popup the host only took out is still ours to close.
TEST_F(SendItemTest, RemovalFindsThePopupByItsHandleAndClosesIt) {
    struct Case {
        const char* pszWhat;
        bool bHostTookItOut;
        bool bMarkerItemLeftOfOurs;
    } const kCases[] = {
        {"in place", false, false},
        {"host item with our marker left of ours", false, true},
        {"taken out by the host", true, false},
    };
    for (const Case& c : kCases) {
        HookedWndInfo* pInfo = HookHost(kMenuHost);
        ASSERT_NE(pInfo, nullptr) << c.pszWhat;
        HMENU hMenu = GetMenu(pInfo->hWnd);
        const HMENU hPopup = pInfo->hPopupMenu.get();
        const long nMenus = platform::LiveMenuCount();
        if (c.bMarkerItemLeftOfOurs)
            InsertMenuA(hMenu, 0, MF_BYPOSITION | MF_STRING, pInfo->aCmdID[kCmdFax], "&Marker");
        if (c.bHostTookItOut) RemoveMenu(hMenu, GetMenuItemCount(hMenu) - 1, MF_BYPOSITION);
        AppendMenuA(hMenu, MF_STRING, 400, "&Window");
        // The host's own items, with its marker item where it put it.
        const Lines hostItems = [&] {
            HMENU hExpected = HostMenuBar();
            if (c.bMarkerItemLeftOfOurs)
                InsertMenuA(hExpected, 0, MF_BYPOSITION | MF_STRING, pInfo->aCmdID[kCmdFax], "&Marker");
            AppendMenuA(hExpected, MF_STRING, 400, "&Window");
            const Lines lines = DescribeMenu(hExpected);
            DestroyMenu(hExpected);
            return lines;
        }();
        RemoveHookedMenuItem(pInfo, TRUE);
        EXPECT_EQ(DescribeMenu(hMenu), hostItems) << c.pszWhat;
        EXPECT_FALSE(IsMenu(hPopup)) << c.pszWhat;
        EXPECT_EQ(platform::LiveMenuCount(), nMenus - 1) << c.pszWhat;
        EXPECT_EQ(pInfo->hPopupMenu, nullptr);
        // Placed again, the send popup is there once, at the end.
        ASSERT_TRUE(AddHookedMenuItem(pInfo)) << c.pszWhat;
        EXPECT_EQ(DescribeMenu(hMenu).size(), hostItems.size() + 1 + DescribeMenu(pInfo->hPopupMenu.get()).size() + 1)
            << c.pszWhat;
        EXPECT_EQ(pInfo->hPopupMenu, GetSubMenu(hMenu, GetMenuItemCount(hMenu) - 1)) << c.pszWhat;
        UnhookAllWindows();
    }
}

// A fault of our own right after the item is placed leaves it owned by the
// record: nothing counted stays behind once the item goes.
TEST_F(SendItemTest, FaultJustAfterPlacingLeavesNothingBehind) {
    HookedWndInfo* pInfo = HookHost(kMenuHost);
    ASSERT_NE(pInfo, nullptr);
    RemoveHookedMenuItem(pInfo, FALSE);
    const long nMenus = platform::LiveMenuCount();
    const long nBitmaps = platform::LiveBitmapCount();
    platform::ArmFaultPoint(platform::FaultPoint::kPlacement);
    auto place = [pInfo] { AddHookedMenuItem(pInfo); };
    EXPECT_FALSE(platform::RunFaultGuarded(place));
    EXPECT_EQ(platform::FaultPoint::kNone, platform::ArmFaultPoint(platform::FaultPoint::kNone));
    EXPECT_EQ(pInfo->hPopupMenu, GetSubMenu(GetMenu(pInfo->hWnd), GetMenuItemCount(GetMenu(pInfo->hWnd)) - 1));
    RemoveHookedMenuItem(pInfo, FALSE);
    EXPECT_EQ(platform::LiveMenuCount(), nMenus);
    EXPECT_EQ(platform::LiveBitmapCount(), nBitmaps);
}

TEST_F(SendItemTest, PlacingAndRemovingLeavesNoMenuOrBitmapBehind) {
    HookedWndInfo* pInfo = HookHost(kMenuHost);
    ASSERT_NE(pInfo, nullptr);
    RemoveHookedMenuItem(pInfo, FALSE);
    const long nMenus = platform::LiveMenuCount();
    const long nBitmaps = platform::LiveBitmapCount();
    const long nDCs = platform::LiveDCCount();
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(AddHookedMenuItem(pInfo)) << i;
        RemoveHookedMenuItem(pInfo, FALSE);
    }
    EXPECT_EQ(platform::LiveMenuCount(), nMenus);
    EXPECT_EQ(platform::LiveBitmapCount(), nBitmaps);
    EXPECT_EQ(platform::LiveDCCount(), nDCs);
}

}  // namespace
