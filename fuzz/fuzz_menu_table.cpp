// libFuzzer target: the distributor's menu table. The input is loaded as the
// side file of the menu slot and merged over a built-in set, as every process
// does at module start, and the merged table is read, by the engine and into
// the module's own copy of the items; the same bytes are also parsed as table
// text on their own. Beyond crashes and sanitizer
// reports, a table is a fault when it hands out an item with a text but no
// command (or the reverse), more items than it holds, or leaves a document
// open.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "docengine/docengine.h"
#include "doctool/set_builder.h"
#include "oem/oem_menu_items.h"
#include "suite/library_error.h"

using namespace docengine;

namespace {

std::vector<std::uint8_t> g_builtinSet;
std::vector<std::uint8_t> g_blankTemplate;
// The built-in set as module start leaves it before the side file comes.
// Loading it costs more than most inputs do, so it is loaded again only
// when a merge has changed it.
DocumentSet g_set;
DocumentSet g_setAsLoaded;
std::size_t g_cLiveDocuments = 0;
std::size_t g_cLiveHandles = 0;

bool ProvideBlankTemplate(const void** ppBytes, std::size_t* pcbBytes) {
    *ppBytes = g_blankTemplate.data();
    *pcbBytes = g_blankTemplate.size();
    return true;
}

void Require(bool bHolds) {
    if (!bHolds) __builtin_trap();
}

// Both texts of an entry or neither, each a terminated string; for the text
// parsed in place, each inside that text.
void CheckEntry(const char* pszText, const char* pszCommand, const char* pBegin, const char* pEnd) {
    Require((pszText == nullptr) == (pszCommand == nullptr));
    for (const char* psz : {pszText, pszCommand}) {
        if (psz == nullptr) continue;
        if (pBegin != nullptr) Require(psz >= pBegin && psz < pEnd && std::memchr(psz, '\0', pEnd - psz) != nullptr);
        else (void)std::strlen(psz);
    }
}

void CheckTable(const OemMenuTable& table, const char* pBegin = nullptr, const char* pEnd = nullptr) {
    Require(table.dwCount <= kMenuTableEntries);
    CheckEntry(table.pszTitleText, table.pszTitleCommand, pBegin, pEnd);
    for (std::uint32_t i = 0; i < table.dwCount; ++i) {
        CheckEntry(table.aItems[i].pszText, table.aItems[i].pszCommand, pBegin, pEnd);
    }
}

std::vector<std::uint8_t> MakeBuiltinSet() {
    DocumentDescription menu;
    menu.strText1 = "Built-in menu";
    menu.date = TimeStamp::FromCalendar(2020, 1, 1, 0, 0, 0);
    PageDescription page;
    page.strText2 = JoinMenuTokens({"-", "-", "Built-in title", "C:\\title.txt", "Item &one", "C:\\one.txt", "-",
                                    "Item &two", "C:\\two.exe %s"});
    menu.pages.push_back(page);
    SetDescription set;
    set.dwTag = 7;
    set.aSlots[kMenuTableSlot] = BuildDocument(menu);
    return BuildDocumentSet(set);
}

void LoadBuiltinSet() {
    InitDocumentSet(0, &g_set);
    Require(LoadAndMergeDocumentSet(g_builtinSet.data(), g_builtinSet.size(), &g_set, nullptr, nullptr) == LIBERR_OK);
    g_setAsLoaded = g_set;
    g_cLiveDocuments = CountLiveDocuments();
    g_cLiveHandles = CountLiveHandles();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_builtinSet = MakeBuiltinSet();
    DocumentDescription blank;
    blank.strText1 = "Blank";
    blank.pages.emplace_back();
    g_blankTemplate = BuildDocument(blank);
    SetBlankTemplateProvider(ProvideBlankTemplate);
    LoadBuiltinSet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbData, std::size_t cbData) {
    DocumentSet side;
    InitDocumentSet(g_set.dwTag, &side);
    LoadSetEntry(&side, kMenuTableSlot, pbData, cbData, nullptr, nullptr);
    MergeDocumentSets(&side, &g_set, nullptr, nullptr);
    FreeDocumentSet(&side);
    OemMenuTable* pTable = nullptr;
    if (GetMenuTable(&g_set, &pTable) == LIBERR_OK && pTable != nullptr) CheckTable(*pTable);
    // The module's copy: what the table held, separators without a command.
    const OemMenuItems items = OemMenuItems::FromSet(&g_set);
    Require(items.HasTable() == (pTable != nullptr) && items.Count() <= kMenuTableEntries);
    for (std::size_t i = 0; i < items.Count(); ++i) {
        const char* pszCommand = items.CommandOf(i);
        Require((pszCommand == nullptr) == items.Entry(i).bSeparator);
        Require(pszCommand == nullptr || items.Entry(i).strCommand == pszCommand);
    }
    Require(items.CommandOf(items.Count()) == nullptr);
    if (std::memcmp(&g_set, &g_setAsLoaded, sizeof g_set) != 0) {
        FreeDocumentSet(&g_set);
        Require(CountLiveDocuments() == 0 && CountLiveHandles() == 0);
        LoadBuiltinSet();
    }
    Require(CountLiveDocuments() == g_cLiveDocuments && CountLiveHandles() == g_cLiveHandles);
    std::vector<char> text(cbData + 1, '\0');
    if (cbData != 0) std::memcpy(text.data(), pbData, cbData);
    OemMenuTable table;
    ParseMenuTable(text.data(), &table);
    CheckTable(table, text.data(), text.data() + text.size());
    return 0;
}
