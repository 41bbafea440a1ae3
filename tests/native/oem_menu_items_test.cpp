// The distributor's menu table as every thread of a host reads it: copied
// out of the set once, intact for any number of readers at once.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "doctool/document_builder.h"
#include "docengine/document_set.h"
#include "doctool/set_builder.h"
#include "resource_ids.h"
#include "oem/oem_menu_items.h"

using namespace docengine;

namespace {

// A set whose slot 22 carries the tokens as its menu table.
class MenuSet {
public:
    explicit MenuSet(const std::vector<std::string>& tokens) {
        InitDocumentSet(0, &m_set);
        DocumentDescription d;
        d.pages.emplace_back();
        d.pages[0].strText2 = JoinMenuTokens(tokens);
        std::vector<std::uint8_t> bytes;
        m_dwCode = RunLibraryFacade([&] { bytes = BuildDocument(d); });
        if (m_dwCode == LIBERR_OK) m_dwCode = LoadSetEntry(&m_set, kMenuTableSlot, bytes.data(), bytes.size(), nullptr, nullptr);
    }
    MenuSet() { InitDocumentSet(0, &m_set); }
    ~MenuSet() { FreeDocumentSet(&m_set); }
    MenuSet(const MenuSet&) = delete;
    MenuSet& operator=(const MenuSet&) = delete;
    const DocumentSet* get() const { return &m_set; }
    LibraryErrorCode Code() const { return m_dwCode; }

private:
    DocumentSet m_set;
    LibraryErrorCode m_dwCode = LIBERR_OK;
};

// What the popup builder makes of the table: one text per item in order.
std::vector<std::string> BuildItems(const OemMenuItems& items) {
    std::vector<std::string> built;
    for (std::size_t i = 0; i < items.Count(); ++i) {
        const OemMenuEntry& entry = items.Entry(i);
        const char* pszCommand = items.CommandOf(i);
        built.push_back(entry.bSeparator ? std::string("-")
                                          : std::to_string(IDM_EXTRA_FIRST + i) + ":" + entry.strText + "=" + pszCommand);
    }
    return built;
}

TEST(OemMenuItems, EntriesSeparatorsAndNoTable) {
    MenuSet none;
    const OemMenuItems noTable = OemMenuItems::FromSet(none.get());
    EXPECT_FALSE(noTable.HasTable());
    EXPECT_EQ(0u, noTable.Count());
    EXPECT_EQ(nullptr, noTable.CommandOf(0));

    MenuSet set({"Home", "open-home", "-", "Help", "help%s.txt"});
    ASSERT_EQ(LIBERR_OK, set.Code());
    const OemMenuItems items = OemMenuItems::FromSet(set.get());
    EXPECT_TRUE(items.HasTable());
    EXPECT_EQ(LIBERR_OK, items.ReadCode());
    EXPECT_EQ((std::vector<std::string>{"27170:Home=open-home", "-", "27172:Help=help%s.txt"}), BuildItems(items));
    EXPECT_EQ(nullptr, items.CommandOf(1)) << "a separator has no command";
    EXPECT_EQ(nullptr, items.CommandOf(3)) << "past the end";
}

TEST(OemMenuItems, StayIntactWhenTheEngineIsUsedAgain) {
    MenuSet set({"First", "first-cmd"});
    const OemMenuItems items = OemMenuItems::FromSet(set.get());
    // The engine's scratch block is overwritten by the next reading.
    MenuSet other({std::string(5000, 'x'), "other"});
    OemMenuTable* pTable = nullptr;
    ASSERT_EQ(LIBERR_OK, GetMenuTable(other.get(), &pTable));
    ReleaseSharedScratch();
    EXPECT_EQ((std::vector<std::string>{"27170:First=first-cmd"}), BuildItems(items));
}

TEST(OemMenuItems, EightThreadsBuildingTheItemsAtOnceGetThemIntact) {
    std::vector<std::string> tokens;
    std::vector<std::string> expected;
    for (int i = 0; i < 10; ++i) {
        if (i == 4) {
            tokens.push_back("-");
            expected.push_back("-");
            continue;
        }
        const std::string text = "Item " + std::to_string(i) + std::string(static_cast<std::size_t>(i) * 30, 'a');
        const std::string command = "cmd" + std::to_string(i) + ".exe %s";
        tokens.insert(tokens.end(), {text, command});
        expected.push_back(std::to_string(IDM_EXTRA_FIRST + i) + ":" + text + "=" + command);
    }
    MenuSet set(tokens);
    ASSERT_EQ(LIBERR_OK, set.Code());
    const OemMenuItems items = OemMenuItems::FromSet(set.get());
    ASSERT_EQ(expected, BuildItems(items));

    constexpr int kThreads = 8;
    constexpr int kRounds = 2000;
    int aBroken[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < kRounds; ++n)
                if (BuildItems(items) != expected) ++aBroken[t];
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(0, aBroken[t]) << "thread " << t;
}

}  // namespace
