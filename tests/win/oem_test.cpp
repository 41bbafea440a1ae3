// The distributor's menu items: the place in a real popup where they go,
// their insertion, the launch of their commands through the shell seam, and
// the loading of the set from the built resource module and a side file in
// the Windows directory, with the pinned OEM id of the registry profile.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "docengine/docengine.h"
#include "doctool/set_builder.h"
#include "hook/base/shared_state.h"
#include "oem/oem.h"
#include "seam_recorder.h"
#include "suite/user_messages.h"

using namespace docengine;
using test_support::SeamRecorder;

namespace {

TimeStamp Date(int year, int month, int day) {
    TimeStamp ts;
    ts.bYear = static_cast<std::uint8_t>(year - 1900);
    ts.bMonth = static_cast<std::uint8_t>(month - 1);
    ts.bDay = static_cast<std::uint8_t>(day);
    return ts;
}

std::vector<std::uint8_t> MenuDocument(const std::vector<std::string>& tokens, TimeStamp date = Date(2020, 1, 1)) {
    DocumentDescription d;
    d.date = date;
    d.pages.emplace_back();
    d.pages[0].strText2 = JoinMenuTokens(tokens);
    return BuildDocument(d);
}

// Loads a set whose slot 22 holds the menu table of the tokens.
void LoadMenuSet(DocumentSet* pSet, const std::vector<std::string>& tokens) {
    SetDescription d;
    d.dwTag = 1;
    d.aSlots[22] = MenuDocument(tokens);
    const auto bytes = BuildDocumentSet(d);
    ASSERT_EQ(LoadDocumentSet(bytes.data(), bytes.size(), pSet), LIBERR_OK);
    // The process's set is read once, as module start does.
    if (pSet == &OemMenuSet) PrepareOemMenuItems();
}

// "id:text" for items, "-" for separators, "[sub]" for pop-ups.
std::vector<std::string> MenuItems(HMENU hMenu) {
    std::vector<std::string> items;
    for (int i = 0; i < GetMenuItemCount(hMenu); ++i) {
        char szText[128] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
        info.dwTypeData = szText;
        info.cch = sizeof szText;
        GetMenuItemInfoA(hMenu, static_cast<UINT>(i), TRUE, &info);
        if (info.fType & MFT_SEPARATOR) {
            items.push_back("-");
        } else if (info.hSubMenu != nullptr) {
            items.push_back(std::string("[") + szText + "]");
        } else {
            items.push_back(std::to_string(info.wID) + ":" + szText);
        }
    }
    return items;
}

// A popup: Top, then a sub-menu A, B, separator, 57664, C, then a second
// sub-menu holding a nested one.
struct SamplePopup {
    HMENU hPopup = CreatePopupMenu();
    HMENU hExtras = CreatePopupMenu();
    HMENU hOther = CreatePopupMenu();
    HMENU hNested = CreatePopupMenu();
    SamplePopup() {
        AppendMenuA(hPopup, MF_STRING, 100, "Top");
        AppendMenuA(hExtras, MF_STRING, 201, "A");
        AppendMenuA(hExtras, MF_STRING, 202, "B");
        AppendMenuA(hExtras, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(hExtras, MF_STRING, IDM_OEM_PLACEHOLDER, "About");
        AppendMenuA(hExtras, MF_STRING, 203, "C");
        AppendMenuA(hPopup, MF_POPUP, reinterpret_cast<UINT_PTR>(hExtras), "Extras");
        AppendMenuA(hNested, MF_STRING, 401, "Deep");
        AppendMenuA(hOther, MF_STRING, 301, "Other");
        AppendMenuA(hOther, MF_POPUP, reinterpret_cast<UINT_PTR>(hNested), "Nested");
        AppendMenuA(hPopup, MF_POPUP, reinterpret_cast<UINT_PTR>(hOther), "More");
    }
    ~SamplePopup() { DestroyMenu(hPopup); }
};

class OemTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitDocumentSet(0, &m_set);
        m_saved = OemMenuSet;
        InitDocumentSet(0, &OemMenuSet);
        PrepareOemMenuItems();
        m_cDocuments = CountLiveDocuments();
        m_hSavedResources = g_hResourceModule;
        g_hResourceModule = GetModuleHandleA(nullptr);
    }
    void TearDown() override {
        FreeDocumentSet(&m_set);
        FreeDocumentSet(&OemMenuSet);
        OemMenuSet = m_saved;
        PrepareOemMenuItems();
        g_hResourceModule = m_hSavedResources;
        EXPECT_EQ(CountLiveDocuments(), m_cDocuments) << "documents left open";
    }

    DocumentSet m_set;
    DocumentSet m_saved;
    std::size_t m_cDocuments = 0;
    HINSTANCE m_hSavedResources = nullptr;
};

TEST_F(OemTest, FindMenuWithCommandSearchesSubMenusDepthFirst) {
    SamplePopup popup;
    const struct {
        UINT uId;
        HMENU hExpected;
    } cases[] = {
        {100, popup.hPopup}, {202, popup.hExtras}, {IDM_OEM_PLACEHOLDER, popup.hExtras},
        {301, popup.hOther}, {401, popup.hNested}, {999, nullptr},
    };
    for (const auto& c : cases) EXPECT_EQ(FindMenuWithCommand(popup.hPopup, c.uId), c.hExpected) << c.uId;
    EXPECT_EQ(FindMenuWithCommand(nullptr, 100), nullptr);
}

TEST_F(OemTest, ItemsReplaceWhatStandsAboveTheGroupSeparator) {
    SamplePopup popup;
    LoadMenuSet(&m_set, {"Home", "open-home", "-", "Help", "open-help"});
    InsertOemMenuItems(&m_set, popup.hPopup);
    EXPECT_EQ(MenuItems(popup.hExtras),
              (std::vector<std::string>{"27170:Home", "-", "27172:Help", "-", "57664:About", "203:C"}));
    // The popup builder removes the placeholder afterwards.
    DeleteMenu(popup.hPopup, IDM_OEM_PLACEHOLDER, MF_BYCOMMAND);
    EXPECT_EQ(MenuItems(popup.hExtras), (std::vector<std::string>{"27170:Home", "-", "27172:Help", "-", "203:C"}));
    EXPECT_EQ(MenuItems(popup.hPopup), (std::vector<std::string>{"100:Top", "[Extras]", "[More]"}));
}

// Hosts with several user-interface threads build their send popups at the
// same time.
TEST_F(OemTest, PopupsBuiltOnEightThreadsAtOnceGetIntactItems) {
    std::vector<std::string> tokens, expected;
    for (int i = 0; i < 9; ++i) {
        const std::string text = "Item" + std::to_string(i) + std::string(static_cast<size_t>(i) * 10, 'x');
        tokens.insert(tokens.end(), {text, "cmd" + std::to_string(i)});
        expected.push_back(std::to_string(IDM_EXTRA_FIRST + i) + ":" + text);
    }
    expected.insert(expected.end(), {"-", "57664:About", "203:C"});
    LoadMenuSet(&OemMenuSet, tokens);
    constexpr int kThreads = 8, kRounds = 50;
    int aBroken[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < kRounds; ++n) {
                SamplePopup popup;
                InsertOemMenuItems(&OemMenuSet, popup.hPopup);
                if (MenuItems(popup.hExtras) != expected) ++aBroken[t];
                if (GetOemCommandText(&OemMenuSet, IDM_EXTRA_FIRST + 3) != std::string("cmd3")) ++aBroken[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(0, aBroken[t]) << "thread " << t;
}

TEST_F(OemTest, WithoutMenuTableOrPlaceholderNothingChanges) {
    {
        SamplePopup popup;
        InsertOemMenuItems(&m_set, popup.hPopup);  // slot 22 empty
        EXPECT_EQ(MenuItems(popup.hExtras),
                  (std::vector<std::string>{"201:A", "202:B", "-", "57664:About", "203:C"}));
    }
    HMENU hPlain = CreatePopupMenu();
    AppendMenuA(hPlain, MF_STRING, 1, "One");
    LoadMenuSet(&m_set, {"Home", "open-home"});
    EXPECT_EQ(PrepareOemMenuPosition(hPlain), nullptr);
    InsertOemMenuItems(&m_set, hPlain);
    EXPECT_EQ(MenuItems(hPlain), (std::vector<std::string>{"1:One"}));
    DestroyMenu(hPlain);
}

TEST_F(OemTest, PlaceholderAtTheTopRemovesNothing) {
    HMENU hMenu = CreatePopupMenu();
    AppendMenuA(hMenu, MF_STRING, IDM_OEM_PLACEHOLDER, "About");
    AppendMenuA(hMenu, MF_STRING, 5, "Five");
    EXPECT_EQ(PrepareOemMenuPosition(hMenu), hMenu);
    EXPECT_EQ(MenuItems(hMenu), (std::vector<std::string>{"57664:About", "5:Five"}));
    DestroyMenu(hMenu);
}

TEST_F(OemTest, CommandsAreOpenedAsTextNotAsFormats) {
    const std::string longCommand(300, 'x');
    struct Case {
        const char* pszName;
        std::string command;
        std::string expected;
    } cases[] = {
        {"one %s dropped", "open%s", "open"},
        {"two dropped, the third kept", "a%sb%sc%sd", "abc%sd"},
        {"other conversions kept", "C:\\x%d%c%x%n%%%p.txt", "C:\\x%d%c%x%n%%%p.txt"},
        {"percent at the end", "run%", "run%"},
        {"cut at 255 characters", longCommand, longCommand.substr(0, 255)},
        {"%s dropped before the cut", "%s%s" + longCommand, longCommand.substr(0, 255)},
    };
    std::vector<std::string> tokens;
    for (const Case& c : cases) tokens.insert(tokens.end(), {c.pszName, c.command});
    LoadMenuSet(&OemMenuSet, tokens);
    SeamRecorder recorder;
    HWND hOwner = reinterpret_cast<HWND>(0x1234);
    for (UINT i = 0; i < std::size(cases); ++i) RunOemCommand(hOwner, IDM_EXTRA_FIRST + i);
    ASSERT_EQ(recorder.launches.size(), std::size(cases));
    for (UINT i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(recorder.launches[i].file, cases[i].expected) << cases[i].pszName;
        EXPECT_EQ(recorder.launches[i].verb, "open");
        EXPECT_EQ(recorder.launches[i].parameters, "<null>");
        EXPECT_EQ(recorder.launches[i].hWnd, hOwner);
        EXPECT_EQ(recorder.launches[i].nShowCmd, SW_SHOWNORMAL);
    }
    EXPECT_TRUE(recorder.messageBoxes.empty());
}

TEST_F(OemTest, OnlyItemsWithCommandsRunAndFailuresAreShown) {
    LoadMenuSet(&OemMenuSet, {"Home", "open-home", "-", "Help", "help%s.txt"});
    SeamRecorder recorder;
    for (UINT uId : {IDM_EXTRA_FIRST + 1, IDM_EXTRA_FIRST + 3, IDM_EXTRA_LAST, IDM_EXTRA_FIRST - 1,
                     IDM_EXTRA_LAST + 1}) {
        RunOemCommand(nullptr, uId);
    }
    EXPECT_TRUE(recorder.launches.empty());
    EXPECT_EQ(GetOemCommandText(&OemMenuSet, IDM_EXTRA_FIRST + 1), nullptr);
    EXPECT_STREQ(GetOemCommandText(&OemMenuSet, IDM_EXTRA_FIRST + 2), "help%s.txt");

    recorder.nShellResult = 2;  // file not found
    RunOemCommand(nullptr, IDM_EXTRA_FIRST + 2);
    ASSERT_EQ(recorder.launches.size(), 1u);
    ASSERT_EQ(recorder.messageBoxes.size(), 1u);
    EXPECT_EQ(recorder.messageBoxes[0].text, "Cannot start help.txt.");
    EXPECT_EQ(recorder.messageBoxes[0].uType, static_cast<UINT>(MB_ICONEXCLAMATION));
}

TEST_F(OemTest, GifEntryIsWrappedWithTheExecutablesBlankTemplate) {
    InstallBlankTemplateProvider();
    DocumentHandle hBlank = nullptr;
    ASSERT_EQ(OpenBlankDocument(&hBlank), LIBERR_OK);
    EXPECT_EQ(CloseDocument(hBlank), LIBERR_OK);
    const std::uint8_t abGif[] = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 3, 0, 0, 0, 0, 0x3B};
    ASSERT_EQ(LoadSetEntry(&m_set, 1, abGif, sizeof abGif, nullptr, "image"), LIBERR_OK);
    std::uint32_t dwPages = 0;
    DocumentHandle h = GetSetEntry(&m_set, 1, &dwPages);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(dwPages, 1u);
    const char* pText = nullptr;
    std::size_t cch = 0;
    ASSERT_EQ(GetPageText(h, 1, false, &pText, &cch), LIBERR_OK);
    EXPECT_EQ(std::string(pText, cch), "image");
    SetBlankTemplateProvider(nullptr);
}

// ---- loading from the resource module and the side file -------------------------

HMODULE LoadBuiltResourceModule() {
    char szPath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string path = szPath;
    // <build>\tests\win\win_unit_tests.exe -> <build>\resources\PavRes32.dll
    for (int i = 0; i < 3; ++i) path.erase(path.find_last_of('\\'));
    return LoadLibraryA((path + "\\resources\\PavRes32.dll").c_str());
}

constexpr const char* kProfileName = "PfcOemTestProfile";

class OemLoadTest : public OemTest {
protected:
    void SetUp() override {
        OemTest::SetUp();
        m_hResources = LoadBuiltResourceModule();
        ASSERT_NE(m_hResources, nullptr);
        g_hResourceModule = m_hResources;
        m_savedKey = GetApplicationRegistryKey();
        m_savedProfile = GetApplicationProfileName();
        m_savedName = GetApplicationName();
        SetApplicationIdentity("VORLAND", kProfileName, "Tellarine");
        MakeOemSideFilePath(kOemMenuSlot, m_szSideFile);
        DeleteFileA(m_szSideFile);
    }
    void TearDown() override {
        DeleteFileA(m_szSideFile);
        RegDeleteKeyA(HKEY_CURRENT_USER, (std::string("Software\\VORLAND\\") + kProfileName + "\\Settings").c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, (std::string("Software\\VORLAND\\") + kProfileName).c_str());
        SetApplicationIdentity(m_savedKey.c_str(), m_savedProfile.c_str(), m_savedName.c_str());
        OemTest::TearDown();
        FreeLibrary(m_hResources);
    }
    void PinOemId(DWORD dwOemId) {
        HKEY hKey = nullptr;
        const std::string path = std::string("Software\\VORLAND\\") + kProfileName + "\\Settings";
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(hKey, "OEMID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwOemId), sizeof dwOemId);
        RegCloseKey(hKey);
    }
    void WriteSideFile(const std::vector<std::uint8_t>& bytes) {
        HANDLE hFile = CreateFileA(m_szSideFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
        DWORD cbWritten = 0;
        WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &cbWritten, nullptr);
        CloseHandle(hFile);
    }
    // The first entry's text, "" for no table, "-" for a separator.
    std::string FirstItem(const DocumentSet& set) {
        OemMenuTable* pTable = nullptr;
        if (GetMenuTable(&set, &pTable) != LIBERR_OK) return "<error>";
        if (pTable == nullptr || pTable->dwCount == 0) return "";
        return pTable->aItems[0].pszText != nullptr ? pTable->aItems[0].pszText : "-";
    }

    HMODULE m_hResources = nullptr;
    std::string m_savedKey, m_savedProfile, m_savedName;
    char m_szSideFile[MAX_PATH] = {};
};

TEST_F(OemLoadTest, SideFilePathLiesInTheWindowsDirectory) {
    char szWindows[MAX_PATH] = {};
    GetWindowsDirectoryA(szWindows, MAX_PATH);
    EXPECT_EQ(std::string(m_szSideFile), std::string(szWindows) + "\\QoviView.a22");
    char szPath[MAX_PATH] = {};
    MakeOemSideFilePath(3, szPath);
    EXPECT_EQ(std::string(szPath), std::string(szWindows) + "\\QoviView.a03");
}

TEST_F(OemLoadTest, BuiltInSetAndSideFileByDate) {
    struct Case {
        const char* pszName;
        DWORD dwOemId;
        std::vector<std::uint8_t> side;  // empty: no side file
        std::uint32_t dwTag;
        std::string firstItem;
        size_t cMessages;
    } cases[] = {
        {"built-in set alone", 0, {}, 7, "Partner &notes", 0},
        {"newer side file wins", 0, MenuDocument({"Side", "side-cmd"}, Date(2024, 6, 1)), 7, "Side", 0},
        {"older side file loses", 0, MenuDocument({"Side", "side-cmd"}, Date(2019, 6, 1)), 7, "Partner &notes", 0},
        {"same id pinned", 7, {}, 7, "Partner &notes", 0},
        {"other id pinned, no side file", 5, {}, 5, "", 0},
        {"other id pinned, side file only", 5, MenuDocument({"Side", "side-cmd"}, Date(2019, 6, 1)), 5, "Side", 0},
        {"side file not a document", 0, std::vector<std::uint8_t>(100, 'z'), 7, "Partner &notes", 1},
    };
    for (const Case& c : cases) {
        DeleteFileA(m_szSideFile);
        if (!c.side.empty()) WriteSideFile(c.side);
        PinOemId(c.dwOemId);
        SeamRecorder recorder;
        ReadOemId(&m_set);
        EXPECT_EQ(m_set.dwTag, c.dwOemId) << c.pszName;
        EXPECT_EQ(LoadOemMenuSet(&m_set, kOemMenuSlot), LIBERR_OK) << c.pszName;
        EXPECT_EQ(m_set.dwTag, c.dwTag) << c.pszName;
        EXPECT_EQ(FirstItem(m_set), c.firstItem) << c.pszName;
        EXPECT_EQ(recorder.messageBoxes.size(), c.cMessages) << c.pszName;
        for (std::uint32_t i = 0; i < kLoadableSlots; ++i) {
            if (i != kOemMenuSlot) {
                EXPECT_EQ(m_set.ahSlots[i], nullptr) << c.pszName << " slot " << i;
            }
        }
        FreeDocumentSet(&m_set);
        EXPECT_EQ(CountLiveDocuments(), m_cDocuments) << c.pszName;
    }
}

TEST_F(OemLoadTest, SideFileOverOneMebibyteIsIgnored) {
    PinOemId(0);
    SeamRecorder recorder;
    for (const bool bOver : {true, false}) {
        SCOPED_TRACE(bOver ? "over the limit" : "under it");
        DocumentDescription d;
        // Page texts are at most 32767 bytes each.
        d.pages.resize(bOver ? 36 : 33);
        for (auto& page : d.pages) page.strText1 = std::string(30000, 'q');
        d.pages[0].strText2 = JoinMenuTokens({"Big", "big-cmd"});
        std::vector<std::uint8_t> bytes;
        ASSERT_EQ(LIBERR_OK, RunLibraryFacade([&] { bytes = BuildDocument(d); }));
        ASSERT_EQ(bOver, bytes.size() > static_cast<size_t>(kOemSideFileLimit)) << bytes.size();
        WriteSideFile(bytes);
        ReadOemId(&m_set);
        LoadOemSideFile(&m_set, kOemMenuSlot);
        EXPECT_EQ(bOver ? "" : "Big", FirstItem(m_set));
        FreeDocumentSet(&m_set);
    }
    EXPECT_TRUE(recorder.messageBoxes.empty());
}

TEST_F(OemLoadTest, EmptyOrLargeSideFiles) {
    PinOemId(0);
    SeamRecorder recorder;
    WriteSideFile({});
    ReadOemId(&m_set);
    LoadOemSideFile(&m_set, kOemMenuSlot);
    EXPECT_EQ(m_set.ahSlots[kOemMenuSlot], nullptr);

    // Beyond the first 32 KB block the block grows to the file.
    DocumentDescription d;
    d.pages.resize(3);
    d.pages[0].strText2 = JoinMenuTokens({"Item0", "cmd0"});
    d.pages[1].strText1 = std::string(20000, 'a');
    d.pages[2].strText1 = std::string(20000, 'b');
    const auto big = BuildDocument(d);
    ASSERT_GT(big.size(), kOemSideFileBlock);
    WriteSideFile(big);
    LoadOemSideFile(&m_set, kOemMenuSlot);
    EXPECT_EQ(FirstItem(m_set), "Item0");
    EXPECT_TRUE(recorder.messageBoxes.empty());
}

}  // namespace
