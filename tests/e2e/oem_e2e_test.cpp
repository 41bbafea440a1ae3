// The distributor's menu items on the installed suite: the module started in
// this process loads the set of the installed resource module and a side file
// in the Windows directory, its items go into the send popup of menu 27021,
// and a picked item's command really starts (a suite stand-in, seen in its log).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "docengine/docengine.h"
#include "doctool/set_builder.h"
#include "e2e_support.h"
#include "hook/module_lifetime.h"
#include "hook/base/shared_state.h"
#include "oem/oem.h"
#include "platform/unique_handle.h"

namespace {

const char kStandin[] = "C:\\Program Files\\Tellarine\\Common\\Yarrow.exe";

std::vector<std::string> ItemsOf(HMENU hMenu) {
    std::vector<std::string> items;
    for (int i = 0; i < GetMenuItemCount(hMenu); ++i) {
        char szText[128] = {};
        GetMenuStringA(hMenu, static_cast<UINT>(i), szText, sizeof szText, MF_BYPOSITION);
        const UINT uId = GetMenuItemID(hMenu, i);
        items.push_back(szText[0] == '\0' && uId == 0 ? "-" : std::to_string(uId) + ":" + szText);
    }
    return items;
}

class OemEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // The module takes its resource module from its own folder: started
        // in this process, it is told that folder is the installed module's.
        m_hResources.reset(LoadLibraryA(e2e::InstalledModule("PavRes32.dll").c_str()));
        ASSERT_TRUE(m_hResources) << GetLastError();
        m_hOwnInstance = g_hModuleInstance;
        g_hModuleInstance = m_hResources.get();
        MakeOemSideFilePath(kOemMenuSlot, m_szSideFile);
        DeleteFileA(m_szSideFile);
        e2e::ClearStandinLog();
    }
    void TearDown() override {
        if (m_bStarted) ExitModuleInProcess();
        if (m_hOwnInstance != nullptr) g_hModuleInstance = m_hOwnInstance;
        DeleteFileA(m_szSideFile);
    }
    void WriteSideFile(const std::vector<std::string>& tokens, int nYear) {
        docengine::DocumentDescription d;
        docengine::TimeStamp date;
        date.bYear = static_cast<std::uint8_t>(nYear - 1900);
        d.date = date;
        d.pages.emplace_back();
        d.pages[0].strText2 = docengine::JoinMenuTokens(tokens);
        std::vector<std::uint8_t> bytes;
        ASSERT_EQ(RunLibraryFacade([&] { bytes = docengine::BuildDocument(d); }), LIBERR_OK);
        HANDLE hFile = CreateFileA(m_szSideFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
        DWORD cb = 0;
        WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &cb, nullptr);
        CloseHandle(hFile);
    }
    void Start() {
        ASSERT_TRUE(StartModuleInProcess());
        m_bStarted = true;
    }
    // The send popup of menu 27021 with the distributor's items, as the
    // popup builder leaves it (placeholder removed).
    std::vector<std::string> ExtrasWithItems() {
        HMENU hTemplate = LoadMenuA(g_hResourceModule, MAKEINTRESOURCEA(IDM_SEND_MENU));
        if (hTemplate == nullptr) return {"<no menu 27021>"};
        HMENU hPopup = GetSubMenu(hTemplate, 0);
        InsertOemMenuItems(&OemMenuSet, hPopup);
        HMENU hExtras = FindMenuWithCommand(hPopup, IDM_OEM_PLACEHOLDER);
        DeleteMenu(hPopup, IDM_OEM_PLACEHOLDER, MF_BYCOMMAND);
        std::vector<std::string> items = hExtras != nullptr ? ItemsOf(hExtras) : std::vector<std::string>{"<none>"};
        DestroyMenu(hTemplate);
        return items;
    }
    bool StandinStarted() {
        return e2e::WaitUntil(
            [] {
                const auto lines = e2e::ReadStandinLog();
                return std::any_of(lines.begin(), lines.end(),
                                   [](const std::string& line) { return line.rfind("Yarrow.exe|", 0) == 0; });
            },
            10000);
    }

    char m_szSideFile[MAX_PATH] = {};
    bool m_bStarted = false;
    platform::unique_hmodule m_hResources;
    HINSTANCE m_hOwnInstance = nullptr;
};

TEST_F(OemEndToEnd, BuiltInSetItemsGoIntoTheSendPopupAndRun) {
    Start();
    EXPECT_EQ(OemMenuSet.dwTag, 7u);
    EXPECT_EQ(ExtrasWithItems(), (std::vector<std::string>{"27170:Partner &notes", "27171:Partner &service", "-",
                                                           "27173:&Suite folder"}));
    RunOemCommand(nullptr, IDM_EXTRA_FIRST + 1);
    EXPECT_TRUE(StandinStarted());
}

TEST_F(OemEndToEnd, NewerSideFileReplacesTheMenuTable) {
    WriteSideFile({"Side &one", kStandin, "-", "Side &two%s", "C:\\Program Files\\Tellarine\\Common\\Partner.txt"}, 2030);
    Start();
    EXPECT_EQ(ExtrasWithItems(), (std::vector<std::string>{"27170:Side &one", "-", "27172:Side &two%s"}));
    RunOemCommand(nullptr, IDM_EXTRA_FIRST + 0);
    EXPECT_TRUE(StandinStarted());
}

TEST_F(OemEndToEnd, OlderSideFileLeavesTheBuiltInTable) {
    WriteSideFile({"Old", kStandin}, 2001);
    Start();
    const auto items = ExtrasWithItems();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items[0], "27170:Partner &notes");
}

}  // namespace
