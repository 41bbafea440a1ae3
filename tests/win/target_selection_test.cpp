// Which module names are included, and which host index a window gets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hook/base/hooked_wnd.h"
#include "hook/host_index.h"
#include "hook/base/target_selection.h"
#include "hook/base/shared_state.h"
#include "shared_lists.h"
#include "window_tree.h"

using test_support::SharedListsScope;
using test_support::WindowTree;

namespace {

struct IncludeCase {
    const char* pszWhat;
    std::vector<std::string> include;
    const char* pszModule;
    bool bIncluded;
};

TEST(IncludedModuleTest, PrefixesBetweenParentheses) {
    const IncludeCase kCases[] = {
        {"empty list", {}, "WINWORD.EXE", false},
        {"empty parentheses include all", {"Everything ()"}, "NOTEPAD.EXE", true},
        {"WIN prefix, first", {"Word (WIN)"}, "WINWORD.EXE", true},
        {"WIN prefix, second", {"Word (WIN)"}, "WINHELP.EXE", true},
        {"WIN prefix, other", {"Word (WIN)"}, "NOTEPAD.EXE", false},
        {"entry in lower case", {"word (winword.exe)"}, "WINWORD.EXE", true},
        {"entry in mixed case", {"Word (WinWord)"}, "WINWORD.EXE", true},
        {"whole name", {"Word (WINWORD.EXE)"}, "WINWORD.EXE", true},
        {"prefix longer than the name", {"Word (WINWORD.EXE.OLD)"}, "WINWORD.EXE", false},
        {"entries without parentheses contribute nothing", {"WINWORD.EXE", "Notes (NOTE)"}, "WINWORD.EXE", false},
        {"later entry matches", {"WINWORD.EXE", "Other (XL)", "Notes (NOTE)"}, "NOTEPAD.EXE", true},
        {"only the first parenthesis counts", {"Odd ((WIN)"}, "WINWORD.EXE", false},
        {"unclosed entry matches nothing", {"Word (WINWORD.EXE"}, "WINWORD.EXE", false},
        {"unclosed entry does not run into the next", {"Word (WIN", ")"}, "WIN", false},
        {"empty module name", {"Word (WIN)"}, "", false},
        {"empty module name, empty prefix", {"All ()"}, "", true},
    };
    for (const IncludeCase& c : kCases) {
        SharedListsScope lists;
        lists.Include(c.include);
        EXPECT_EQ(IsIncludedModule(c.pszModule) != FALSE, c.bIncluded) << c.pszWhat;
    }
}

TEST(IncludedModuleTest, NeverReadsPastTheSharedList) {
    SharedListsScope lists;
    // The include list is full and its last entry has no terminator; the INI
    // path that follows it in the section would complete the match.
    std::memset(g_szIncludeList, 'x', kSharedListSize);
    std::memcpy(g_szIncludeList + kSharedListSize - 6, "(ABCDE", 6);
    std::strcpy(g_szIniPath, "FGH)");
    EXPECT_FALSE(IsIncludedModule("ABCDEFGH"));
    // Cut inside the parentheses' opening too.
    std::memset(g_szIncludeList, 'x', kSharedListSize);
    g_szIncludeList[kSharedListSize - 1] = '(';
    std::strcpy(g_szIniPath, ")");
    EXPECT_FALSE(IsIncludedModule("ANY.EXE"));
    // A full list of terminated entries without the list's terminator.
    for (int i = 0; i < kSharedListSize; i += 4) std::memcpy(g_szIncludeList + i, "(Q)", 4);
    EXPECT_TRUE(IsIncludedModule("QUERY.EXE"));
    EXPECT_FALSE(IsIncludedModule("NOTEPAD.EXE"));
}

TEST(ModuleNameTest, UpperCaseFileNameAndKernel32NeverConsidered) {
    const struct {
        const char* pszPath;
        const char* pszName;
        bool bResult;
    } kCases[] = {
        {"C:\\Program Files\\Word\\winword.exe", "WINWORD.EXE", true},
        {"notepad.exe", "NOTEPAD.EXE", true},
        {"C:\\windows\\system32\\kernel32.dll", "KERNEL32.DLL", false},
        {"C:\\x\\Kernel32.Dll", "KERNEL32.DLL", false},
        {"C:\\x\\kernel32.dll.exe", "KERNEL32.DLL.EXE", true},
        {"C:\\dir\\", "", true},
    };
    for (const auto& c : kCases) {
        char szName[kPathSize] = {};
        EXPECT_EQ(ModuleNameFromPath(c.pszPath, szName) != FALSE, c.bResult) << c.pszPath;
        EXPECT_STREQ(szName, c.pszName);
    }
    char szOwn[kPathSize] = {};
    EXPECT_TRUE(GetModuleName(szOwn, nullptr));
    EXPECT_STREQ(szOwn, "WIN_UNIT_TESTS.EXE");
}

enum class Tree { Plain, ReBar, DeepReBar, Dock, HiddenDock, DocObjectView, DeepDocObjectView, ReBarAndDock };

HWND BuildTree(WindowTree& tree, Tree kind) {
    HWND hTop = tree.Top("PfcIndexTop", true, true);
    switch (kind) {
        case Tree::Plain:
            break;
        case Tree::ReBar:
            tree.Child(hTop, "ReBarWindow32");
            break;
        case Tree::DeepReBar:
            tree.Child(tree.Child(hTop, "PfcPane"), "ReBarWindow32");
            break;
        case Tree::Dock:
            tree.Child(hTop, "MsoCommandBarDock");
            break;
        case Tree::HiddenDock:
            tree.Child(hTop, "MsoCommandBarDock", "", false);
            break;
        case Tree::DocObjectView:
            tree.Child(hTop, "Shell DocObject View");
            break;
        case Tree::DeepDocObjectView:
            tree.Child(tree.Child(hTop, "PfcPane"), "Shell DocObject View");
            break;
        case Tree::ReBarAndDock:
            tree.Child(hTop, "ReBarWindow32");
            tree.Child(hTop, "EXCEL2");
            break;
    }
    return hTop;
}

struct IndexCase {
    const char* pszModule;
    Tree tree;
    int nExpected;
};

TEST(ModuleIndexTest, EveryBranchOfTheHostIndex) {
    const IndexCase kCases[] = {
        {"BROWSE.EXE", Tree::ReBar, 0},
        {"BROWSE.EXE", Tree::DeepReBar, 0},
        {"BROWSE.EXE", Tree::Dock, 0},  // no rebar: the dock test decides
        {"BROWSE.EXE", Tree::Plain, 2},
        {"BROWSE.EXE", Tree::DocObjectView, 2},
        {"VIEW.EXE", Tree::DocObjectView, 1},
        {"VIEW.EXE", Tree::Plain, -1},
        {"VIEW.EXE", Tree::DeepDocObjectView, -1},
        {"VIEW.EXE", Tree::ReBar, -1},
        {"GENERIC.EXE", Tree::Plain, 2},
        {"GENERIC.EXE", Tree::Dock, 2},
        {"OFFICE.EXE", Tree::Dock, 3},
        {"OFFICE.EXE", Tree::HiddenDock, 3},  // the dock tells the kind, shown or not
        {"OFFICE.EXE", Tree::ReBarAndDock, 3},
        {"OFFICE.EXE", Tree::Plain, 2},
        {"OFFICE.EXE", Tree::ReBar, 2},
        {"B7.EXE", Tree::Dock, 7},
        {"B7.EXE", Tree::Plain, 2},
        {"MENU8.EXE", Tree::Plain, 8},
        {"MENU8.EXE", Tree::Dock, 8},
        {"LOWER.EXE", Tree::Plain, 2},  // listed only in lower case
        {"UNLISTED.EXE", Tree::ReBar, 2},
    };
    for (const IndexCase& c : kCases) {
        SharedListsScope lists;
        lists.Include({"Everything ()"});
        lists.Modules({"BROWSE.EXE", "VIEW.EXE", "GENERIC.EXE", "OFFICE.EXE", "B4.EXE", "B5.EXE", "B6.EXE", "B7.EXE",
                       "MENU8.EXE", "lower.exe"});
        WindowTree tree;
        HWND hWnd = BuildTree(tree, c.tree);
        EXPECT_EQ(GetModuleIndex(hWnd, c.pszModule), c.nExpected)
            << c.pszModule << " tree " << static_cast<int>(c.tree);
    }
}

TEST(ModuleIndexTest, IncludeListDecidesFirstAndEmptyModuleListMeansGeneric) {
    SharedListsScope lists;
    WindowTree tree;
    HWND hWnd = BuildTree(tree, Tree::ReBar);
    lists.Modules({"BROWSE.EXE", "VIEW.EXE", "GENERIC.EXE"});
    lists.Include({"Viewer (VIEW)"});
    EXPECT_EQ(GetModuleIndex(hWnd, "BROWSE.EXE"), -1);  // listed but not included
    lists.Include({});
    EXPECT_EQ(GetModuleIndex(hWnd, "BROWSE.EXE"), -1);
    lists.Include({"Browser (browse)"});
    EXPECT_EQ(GetModuleIndex(hWnd, "BROWSE.EXE"), 0);
    lists.Modules({});
    EXPECT_EQ(GetModuleIndex(hWnd, "BROWSE.EXE"), 2);
}

TEST(ModuleIndexTest, EntryCutByTheEndOfTheListNeverMatches) {
    SharedListsScope lists;
    WindowTree tree;
    HWND hWnd = BuildTree(tree, Tree::Plain);
    // The module list is full: its last entry "AB" runs to the end, and the
    // include list that follows holds "(A)"; read together they would name
    // the module "AB(A)".
    for (int i = 0; i < kSharedListSize - 2; i += 2) std::memcpy(g_szModuleList + i, "M", 2);
    for (int i = 0; i <= 8; ++i) std::memcpy(g_szModuleList + 3 * i, (std::string("E") + char('0' + i)).c_str(), 3);
    std::memcpy(g_szModuleList + kSharedListSize - 2, "AB", 2);
    test_support::WriteKeyList(g_szIncludeList, {"(A)", "(E)"});
    EXPECT_EQ(GetModuleIndex(hWnd, "AB(A)"), 2);
    EXPECT_EQ(GetModuleIndex(hWnd, "E8"), 8);
}

}  // namespace
