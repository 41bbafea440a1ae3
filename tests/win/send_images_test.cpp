// The send item's images: the mnemonic of the text item, the fitting of the
// brand bitmap, and its loading as the profile and the suite say.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "send/send_images.h"
#include "send_item_env.h"

namespace {

platform::unique_hmenu MenuWithItems(const std::vector<const char*>& items) {
    platform::unique_hmenu menu(CreateMenu());
    UINT uId = 100;
    for (const char* pszText : items) AppendMenuA(menu.get(), MF_STRING, uId++, pszText);
    return menu;
}

TEST(MenuMnemonicTest, FirstCharacterNoItemUsesGetsTheAmpersand) {
    const struct {
        std::vector<const char*> items;
        const char* pszTitle;
        const char* pszExpected;
        bool bPlaced;
    } kCases[] = {
        {{"&File", "&Edit", "&View"}, "Fax", "F&ax", true},
        {{"&Edit", "&View"}, "Fax", "&Fax", true},
        {{"File", "Edit"}, "Fax", "&Fax", true},  // no mnemonics at all
        {{"&fax", "&Xtra"}, "FAX", "F&AX", true},  // letters fold, both ways
        // "&&" is a literal ampersand, yet the blank after it counts as used.
        {{"&Fax", "Tom && Jerry"}, "F x", "F &x", true},
        // A blank is a character like any other.
        {{"&File", "&Open"}, "F O", "F& O", true},
        {{"&Tom", "&Ox"}, "Toot", "Toot", false},
        {{"&Tom"}, "", "", false},
        {{"Trailing&", "&Last"}, "Lt", "L&t", true},  // an "&" at the end marks nothing
    };
    for (const auto& c : kCases) {
        platform::unique_hmenu menu = MenuWithItems(c.items);
        std::string title = c.pszTitle;
        EXPECT_EQ(AddMenuMnemonic(menu.get(), &title), c.bPlaced) << c.pszTitle;
        EXPECT_EQ(title, c.pszExpected);
    }
}

TEST(MenuMnemonicTest, TitleIsTheBrandStringWithItsMnemonic) {
    const struct {
        int nParvaneInfo;
        const char* pszExpected;
    } kCases[] = {{3, "T&ellarine"}, {2, "T&ellarine Messenger"}};
    for (const auto& c : kCases) {
        test_support::SendItemEnvironment environment(c.nParvaneInfo);
        ASSERT_TRUE(environment.resourcesLoaded());
        platform::unique_hmenu menu = MenuWithItems({"&Tools"});
        std::string title;
        EXPECT_TRUE(MakeSendMenuTitle(menu.get(), &title));
        EXPECT_EQ(title, c.pszExpected);
    }
}

// --- fitting --------------------------------------------------------------------

constexpr COLORREF kKey = RGB(255, 0, 255);
constexpr COLORREF kInk = RGB(0, 0, 160);

// A screen-compatible picture: key colour everywhere, ink in column 1, and
// the key colour again in column 2 of the last row.
HBITMAP MakePicture(int cx, int cy) {
    platform::ScopedWindowDC screen(nullptr);
    platform::unique_hbitmap bitmap(CreateCompatibleBitmap(screen.get(), cx, cy));
    platform::unique_hdc hDC(CreateCompatibleDC(screen.get()));
    {
        platform::ScopedSelectObject select(hDC.get(), bitmap.get());
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x) SetPixel(hDC.get(), x, y, x == 1 ? kInk : kKey);
    }
    return bitmap.release();
}

std::vector<COLORREF> Column(HBITMAP hBitmap, int x, int cy) {
    platform::ScopedWindowDC screen(nullptr);
    platform::unique_hdc hDC(CreateCompatibleDC(screen.get()));
    platform::ScopedSelectObject select(hDC.get(), hBitmap);
    std::vector<COLORREF> column;
    for (int y = 0; y < cy; ++y) column.push_back(GetPixel(hDC.get(), x, y));
    return column;
}

TEST(FitMenuBitmapTest, CentredOnTheMenuColourWithTheKeyColourGone) {
    const COLORREF crMenu = GetSysColor(COLOR_MENU);
    const int cyMenuBar = GetSystemMetrics(SM_CYMENU) - 2;
    const struct {
        int cySource;
        bool bButton;
        int cyExpected;
    } kCases[] = {{6, true, 18}, {22, true, 18}, {6, false, cyMenuBar}};
    for (const auto& c : kCases) {
        const long nBitmapsBefore = platform::LiveBitmapCount();
        HBITMAP hBitmap = MakePicture(10, c.cySource);
        FitMenuBitmap(&hBitmap, c.bButton);
        SIZE size{};
        ASSERT_TRUE(GetBitmapDimensionEx(hBitmap, &size));
        EXPECT_EQ(size.cx, 10);
        EXPECT_EQ(size.cy, c.cyExpected);
        EXPECT_EQ(GetSendBitmapSize(hBitmap).cy, c.cyExpected);
        BITMAP info{};
        ASSERT_EQ(GetObjectA(hBitmap, sizeof info, &info), static_cast<int>(sizeof info));
        EXPECT_EQ(info.bmHeight, c.cyExpected);

        // Column 1 carries ink exactly where the source lands; a taller
        // source loses equal parts at top and bottom.
        const int nTop = c.cyExpected / 2 - c.cySource / 2;
        const std::vector<COLORREF> ink = Column(hBitmap, 1, c.cyExpected);
        for (int y = 0; y < c.cyExpected; ++y) {
            const bool bInside = y >= nTop && y < nTop + c.cySource;
            EXPECT_EQ(ink[y], bInside ? kInk : crMenu) << "row " << y << ", source " << c.cySource;
        }
        for (COLORREF cr : Column(hBitmap, 2, c.cyExpected)) EXPECT_EQ(cr, crMenu);
        platform::unique_hbitmap::Adopt(hBitmap);
        EXPECT_EQ(platform::LiveBitmapCount(), nBitmapsBefore) << "source " << c.cySource;
    }
}

TEST(SendBitmapSizeTest, UnrecordedOrZeroWidthGivesTheDefault) {
    platform::ScopedWindowDC screen(nullptr);
    platform::unique_hbitmap bitmap(CreateCompatibleBitmap(screen.get(), 5, 5));
    const SIZE kDefault = kDefaultSendBitmapSize;
    for (HBITMAP hBitmap : {static_cast<HBITMAP>(nullptr), bitmap.get()}) {
        EXPECT_EQ(GetSendBitmapSize(hBitmap).cx, kDefault.cx);
        EXPECT_EQ(GetSendBitmapSize(hBitmap).cy, kDefault.cy);
    }
    SetBitmapDimensionEx(bitmap.get(), 0, 30, nullptr);
    EXPECT_EQ(GetSendBitmapSize(bitmap.get()).cy, kDefault.cy);
    SetBitmapDimensionEx(bitmap.get(), 33, 30, nullptr);
    EXPECT_EQ(GetSendBitmapSize(bitmap.get()).cx, 33);
}

// --- loading --------------------------------------------------------------------

TEST(LoadSendMenuBitmapTest, ProfileSwitchDecidesAndTheSlotOwnsOneBitmap) {
    const struct {
        const char* pszBitmapMenu;  // null: key missing
        bool bLoaded;
    } kCases[] = {{nullptr, true}, {"1", true}, {"0", false}};
    for (const auto& c : kCases) {
        test_support::SendItemEnvironment environment;
        ASSERT_TRUE(environment.resourcesLoaded());
        if (c.pszBitmapMenu != nullptr)
            environment.Profile("PFCWatch", "BitmapMenu", c.pszBitmapMenu);
        else
            environment.Profile("PFCWatch", "Enable", "1");  // the profile exists, without the key
        const long nBitmapsBefore = platform::LiveBitmapCount();
        // A bitmap left in the slot from an earlier placement goes.
        HBITMAP hOld = MakePicture(4, 4);
        HBITMAP hSlot = hOld;
        EXPECT_EQ(LoadSendMenuBitmap(&hSlot, true), c.bLoaded) << (c.pszBitmapMenu ? c.pszBitmapMenu : "missing");
        EXPECT_EQ(GetObjectType(hOld), 0u);
        EXPECT_EQ(hSlot != nullptr, c.bLoaded);
        if (c.bLoaded) {
            // The brand bitmap of the resource module is 40 pixels wide.
            EXPECT_EQ(GetSendBitmapSize(hSlot).cx, 40);
            EXPECT_EQ(GetSendBitmapSize(hSlot).cy, 18);
            platform::unique_hbitmap::Adopt(hSlot);
        }
        EXPECT_EQ(platform::LiveBitmapCount(), nBitmapsBefore);
    }
}

TEST(LoadSendMenuBitmapTest, NoProfileReportsAndGivesNoBitmap) {
    // No profile written: the suite's common directory holds none.
    test_support::SendItemEnvironment environment;
    ASSERT_TRUE(environment.resourcesLoaded());
    HBITMAP hSlot = nullptr;
    EXPECT_FALSE(LoadSendMenuBitmap(&hSlot, false));
    EXPECT_EQ(hSlot, nullptr);
    ASSERT_EQ(environment.seams.messageBoxes.size(), 1u);
    EXPECT_EQ(environment.seams.messageBoxes[0].uType, static_cast<UINT>(MB_ICONEXCLAMATION));
}

}  // namespace
