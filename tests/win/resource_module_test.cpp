// The suite's resource module as the send command uses it: found through
// PavResGetInstance(4), holding every text, menu, dialog and image by number,
// with a send popup whose groups fall away by position the way the popup
// builder removes them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_dialog.h"
#include "built_modules.h"
#include "resource_ids.h"

namespace {

class ResourceModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_hLibrary = test_support::LoadBuiltResourceModule();
        ASSERT_NE(nullptr, s_hLibrary);
        using GetInstance = HINSTANCE(WINAPI*)(int);
        auto pfn = reinterpret_cast<GetInstance>(reinterpret_cast<void*>(GetProcAddress(s_hLibrary, "PavResGetInstance")));
        ASSERT_NE(nullptr, pfn);
        s_hResources = pfn(4);
        EXPECT_EQ(nullptr, pfn(3)) << "only the send command's kind is held here";
    }
    static void TearDownTestSuite() {
        if (s_hLibrary != nullptr) FreeLibrary(s_hLibrary);
    }
    static std::string String(UINT uId) {
        char szText[1024] = {};
        LoadStringA(s_hResources, uId, szText, sizeof szText);
        return szText;
    }
    static HMODULE s_hLibrary;
    static HINSTANCE s_hResources;
};

HMODULE ResourceModuleTest::s_hLibrary = nullptr;
HINSTANCE ResourceModuleTest::s_hResources = nullptr;

TEST_F(ResourceModuleTest, EveryStringExistsWithTheInsertsItsCallerFillsIn) {
    ASSERT_NE(nullptr, s_hResources);
    struct Case {
        UINT uId;
        const char* pszInserts;  // which of %1 and %2 must appear
    } const kCases[] = {{IDS_APPLICATION_TITLE, ""}, {IDS_BRAND_DEFAULT, ""},     {IDS_BRAND_ALTERNATE, ""},
                        {IDS_SEND_MAIL_TITLE, ""},   {IDS_NO_SEND_PRINTER, "12"}, {IDS_RESTART_QUESTION, ""},
                        {IDS_LIBRARY_ERROR, ""},     {IDS_LAUNCH_FAILED, "1"},    {IDS_NO_HOST_LIST, "1"},
                        {IDS_COPY_FAILED, "1"},      {IDS_SENDER_NOT_STARTED, ""}, {IDS_JOB_WRITE_FAILED, "1"},
                        {IDS_JOB_CREATE_FAILED, "1"}, {IDS_SAVE_FILTER, ""},      {IDS_SAVE_TITLE, ""},
                        {IDS_QUARANTINE_BEGUN, "1"}, {IDS_QUARANTINED_SUFFIX, ""}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.uId);
        const std::string text = String(c.uId);
        EXPECT_FALSE(text.empty());
        for (const char* p = c.pszInserts; *p != '\0'; ++p)
            EXPECT_NE(std::string::npos, text.find(std::string("%") + *p)) << text;
    }
    EXPECT_LT(String(IDS_APPLICATION_TITLE).size(), 64u) << "read into a 64-character buffer";
}

struct MenuItem {
    UINT uId;  // 0xFFFFFFFF for a submenu
    HMENU hSubMenu;
};

std::vector<MenuItem> Items(HMENU hMenu) {
    std::vector<MenuItem> items;
    for (int i = 0; i < GetMenuItemCount(hMenu); ++i) items.push_back({GetMenuItemID(hMenu, i), GetSubMenu(hMenu, i)});
    return items;
}

bool HoldsCommand(HMENU hMenu, UINT uId) {
    for (const MenuItem& item : Items(hMenu))
        if (item.uId == uId || (item.hSubMenu != nullptr && HoldsCommand(item.hSubMenu, uId))) return true;
    return false;
}

// The popup builder deletes by command and by position depending on the
// installed suite's flags; every combination must leave the right groups.
TEST_F(ResourceModuleTest, SendPopupLosesWholeGroupsByPosition) {
    struct Case {
        bool bInstallFlag, bBit1, bBit0;
    } const kCases[] = {{false, false, false}, {false, false, true}, {false, true, false}, {false, true, true},
                        {true, false, false},  {true, false, true},  {true, true, false},  {true, true, true}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "install " << c.bInstallFlag << " bit1 " << c.bBit1 << " bit0 " << c.bBit0);
        HMENU hBar = LoadMenuA(s_hResources, MAKEINTRESOURCEA(IDM_SEND_MENU));
        ASSERT_NE(nullptr, hBar);
        HMENU hPopup = GetSubMenu(hBar, 0);
        ASSERT_NE(nullptr, hPopup);
        int n = GetMenuItemCount(hPopup);
        if (!c.bInstallFlag) {
            ASSERT_TRUE(DeleteMenu(hPopup, IDM_PRINT_OPTIONS, MF_BYCOMMAND));
            --n;
        }
        if (!c.bBit1) {
            ASSERT_TRUE(DeleteMenu(hPopup, IDM_PRINT_COVER, MF_BYCOMMAND));
            --n;
            ASSERT_TRUE(DeleteMenu(hPopup, n - 2, MF_BYPOSITION));
            --n;
        }
        if (!c.bBit0) {
            ASSERT_TRUE(DeleteMenu(hPopup, IDM_PRINT_QUICK, MF_BYCOMMAND));
            ASSERT_TRUE(DeleteMenu(hPopup, n - 2, MF_BYPOSITION));
        }
        EXPECT_TRUE(HoldsCommand(hPopup, IDM_PRINT_FAX));
        EXPECT_EQ(c.bInstallFlag, HoldsCommand(hPopup, IDM_PRINT_OPTIONS));
        EXPECT_EQ(c.bBit1, HoldsCommand(hPopup, IDM_PRINT_COVER));
        for (UINT uId : {27107u, 27108u, 27104u, 57664u}) EXPECT_EQ(c.bBit1, HoldsCommand(hPopup, uId)) << uId;
        EXPECT_EQ(c.bBit0, HoldsCommand(hPopup, IDM_PRINT_QUICK));
        EXPECT_EQ(c.bBit0, HoldsCommand(hPopup, IDM_CONFIGURE));
        DestroyMenu(hBar);
    }
}

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST_F(ResourceModuleTest, DialogHasEveryControlAndTheBrandLabelTwoBeforeTheRadioPair) {
    HWND hDialog = CreateDialogParamA(s_hResources, MAKEINTRESOURCEA(IDD_CONFIG), nullptr, InertDialogProc, 0);
    ASSERT_NE(nullptr, hDialog);
    for (int nId : {IDC_INCLUDE_LIST, IDC_EXCLUDE_LIST, IDC_MOVE_ONE_IN, IDC_MOVE_ALL_IN, IDC_MOVE_ONE_OUT, IDC_MOVE_ALL_OUT,
                    IDC_BITMAP_MENU, IDC_TEXT_MENU, IDHELP, IDOK, IDCANCEL})
        EXPECT_NE(nullptr, GetDlgItem(hDialog, nId)) << nId;
    HWND hLabel = GetWindow(GetWindow(GetDlgItem(hDialog, IDC_BITMAP_MENU), GW_HWNDPREV), GW_HWNDPREV);
    ASSERT_NE(nullptr, hLabel);
    char szText[260] = {};
    GetWindowTextA(hLabel, szText, sizeof szText);
    const std::string label = szText;
    EXPECT_NE(std::string::npos, label.find("%s")) << label;
    EXPECT_EQ(label.find("%s"), label.rfind("%s")) << "exactly one insert";
    DestroyWindow(hDialog);
}

TEST_F(ResourceModuleTest, BrandBitmapsKeepTheirCornerColourForTheBackgroundOnly) {
    for (UINT uId : {27021u, 27022u}) {
        SCOPED_TRACE(uId);
        HBITMAP hBitmap = static_cast<HBITMAP>(LoadImageA(s_hResources, MAKEINTRESOURCEA(uId), IMAGE_BITMAP, 0, 0, 0));
        ASSERT_NE(nullptr, hBitmap);
        BITMAP info = {};
        GetObjectA(hBitmap, sizeof info, &info);
        HDC hDC = CreateCompatibleDC(nullptr);
        HGDIOBJ hOld = SelectObject(hDC, hBitmap);
        const COLORREF crBackground = GetPixel(hDC, 0, 0);
        const int w = info.bmWidth, h = info.bmHeight;
        std::vector<char> background(static_cast<size_t>(w * h));
        int nBackground = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if ((background[y * w + x] = GetPixel(hDC, x, y) == crBackground)) ++nBackground;
        // The corner colour becomes transparent: used inside the picture it
        // would punch holes in it. Every pixel of that colour must be reached
        // from the border without crossing the picture.
        std::vector<char> reached(background.size());
        std::vector<int> pending;
        for (int x = 0; x < w; ++x) pending.insert(pending.end(), {x, (h - 1) * w + x});
        for (int y = 0; y < h; ++y) pending.insert(pending.end(), {y * w, y * w + w - 1});
        int nReached = 0;
        while (!pending.empty()) {
            const int i = pending.back();
            pending.pop_back();
            if (!background[i] || reached[i]) continue;
            reached[i] = 1;
            ++nReached;
            const int x = i % w, y = i / w;
            if (x > 0) pending.push_back(i - 1);
            if (x + 1 < w) pending.push_back(i + 1);
            if (y > 0) pending.push_back(i - w);
            if (y + 1 < h) pending.push_back(i + w);
        }
        EXPECT_EQ(nBackground, nReached);
        EXPECT_GT(w * h - nBackground, w * h / 10) << "the picture covers part of the image";
        SelectObject(hDC, hOld);
        DeleteDC(hDC);
        DeleteObject(hBitmap);
    }
    HICON hIcon = static_cast<HICON>(LoadImageA(s_hResources, MAKEINTRESOURCEA(IDI_CONFIG), IMAGE_ICON, 16, 16, 0));
    EXPECT_NE(nullptr, hIcon);
    if (hIcon != nullptr) DestroyIcon(hIcon);
}

}  // namespace
