// The tool-bar button on real, visible windows: its place is found on the
// screen, so every test waits until the screen shows what it placed against.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "hook/base/hooked_wnd.h"
#include "hook/base/shared_state.h"
#include "platform/unique_handle.h"
#include "screen_wait.h"
#include "send_item_env.h"
#include "toolbar_band.h"
#include "send/send_images.h"
#include "toolbar/send_button.h"
#include "window_tree.h"

using test_support::ScreenPixel;
using test_support::PumpUntil;
using test_support::WindowTree;

namespace {

constexpr int kBarHeight = 30;
constexpr int kInkRow = 15;  // inside the captured band

// What a test tool bar paints: its background and up to two black blocks of
// content, given by their client columns (inclusive); nFirst < 0: none.
struct StripPaint {
    COLORREF crBackground;
    int aBlocks[2][2];
};

LRESULT CALLBACK StripBarProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_ERASEBKGND) return 1;
    if (uMsg != WM_PAINT) return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    const auto* pPaint = reinterpret_cast<const StripPaint*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    PAINTSTRUCT paint;
    HDC hDC = BeginPaint(hWnd, &paint);
    RECT rc{};
    GetClientRect(hWnd, &rc);
    SetBkColor(hDC, pPaint->crBackground);
    ExtTextOutA(hDC, 0, 0, ETO_OPAQUE, &rc, "", 0, nullptr);
    for (const auto& block : pPaint->aBlocks) {
        if (block[0] < 0) continue;
        const RECT rcInk{block[0], 0, block[1] + 1, rc.bottom};
        FillRect(hDC, &rcInk, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    EndPaint(hWnd, &paint);
    return 0;
}

constexpr COLORREF kFace = CLR_INVALID;  // the system's face colour

class StripBar {
public:
    StripBar(int cx, int nFirst, int nLast, COLORREF crBackground = kFace, int nSecondFirst = -1,
             int nSecondLast = -1)
        : m_cx(cx),
          m_paint{crBackground == kFace ? GetSysColor(COLOR_BTNFACE) : crBackground,
                  {{nFirst, nLast}, {nSecondFirst, nSecondLast}}} {
        m_tree.RegisterWithProc("PfcStripBar", StripBarProc);
        m_tree.RegisterWithProc("PfcStripHost", DefWindowProcA);
        hHost = CreateWindowExA(WS_EX_TOPMOST, "PfcStripHost", "strip host", WS_POPUP | WS_VISIBLE, 40, 40, cx,
                                kBarHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        m_tree.Adopt(hHost);
        hBar = CreateWindowExA(0, "PfcStripBar", "", WS_CHILD, 0, 0, cx, kBarHeight, hHost, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(hBar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_paint));
        ShowWindow(hBar, SW_SHOW);
        UpdateWindow(hBar);
    }
    // The screen shows the background and the first block's right end.
    bool WaitUntilShown() const {
        const int nLast = m_paint.aBlocks[0][1];
        return PumpUntil([&] {
            if (ScreenPixel(hBar, 1, kInkRow) != m_paint.crBackground) return false;
            if (m_paint.aBlocks[0][0] < 0) return true;
            return ScreenPixel(hBar, nLast, kInkRow) == RGB(0, 0, 0) &&
                   (nLast + 1 == m_cx || ScreenPixel(hBar, nLast + 1, kInkRow) == m_paint.crBackground);
        });
    }

    HWND hHost = nullptr;
    HWND hBar = nullptr;

private:
    WindowTree m_tree;
    int m_cx;
    StripPaint m_paint;
};

HookedWndInfo RecordFor(HWND hWnd, DWORD dwFlags, platform::unique_hbitmap bitmap = platform::unique_hbitmap()) {
    HookedWndInfo info{};
    info.hWnd = hWnd;
    info.dwFlags = dwFlags;
    info.hBitmap = std::move(bitmap);
    return info;
}

platform::unique_hbitmap BitmapOfWidth(int cx) {
    platform::ScopedWindowDC screen(nullptr);
    platform::unique_hbitmap bitmap(CreateCompatibleBitmap(screen.get(), cx, kButtonBitmapHeight));
    SetBitmapDimensionEx(bitmap.get(), cx, kButtonBitmapHeight, nullptr);
    return bitmap;
}

struct PlaceCase {
    const char* pszName;
    DWORD dwFlags;
    int cxBar;
    int nFirst, nLast;  // the content block, client columns
    int cxBitmap;       // 0: no bitmap
    bool bPlaced;
    int nLeft;          // when placed
    COLORREF crBackground = kFace;
    int nSecondFirst = -1, nSecondLast = -1;  // a second block
    int nControlFirst = -1;  // a borderless white control from this client column to the end
};

class PlaceSendButtonTest : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(PlaceSendButtonTest, ThirtyColumnsRightOfTheContent) {
    const PlaceCase& c = GetParam();
    StripBar bar(c.cxBar, c.nFirst, c.nLast, c.crBackground, c.nSecondFirst, c.nSecondLast);
    ASSERT_TRUE(bar.WaitUntilShown());
    if (c.nControlFirst >= 0) {
        HWND hControl = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, c.nControlFirst, 0,
                                        c.cxBar - c.nControlFirst, kBarHeight, bar.hBar, nullptr,
                                        GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(hControl, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return ScreenPixel(hControl, 60, kInkRow) == GetSysColor(COLOR_WINDOW); }));
    }
    platform::unique_hbitmap bitmap = c.cxBitmap > 0 ? BitmapOfWidth(c.cxBitmap) : platform::unique_hbitmap();
    HookedWndInfo info = RecordFor(bar.hHost, c.dwFlags, std::move(bitmap));
    const long nBitmaps = platform::LiveBitmapCount(), nDCs = platform::LiveDCCount();
    RECT rect{};
    ASSERT_EQ(PlaceSendButton(&info, bar.hBar, &rect), c.bPlaced);
    EXPECT_EQ(platform::LiveBitmapCount(), nBitmaps);
    EXPECT_EQ(platform::LiveDCCount(), nDCs);
    if (!c.bPlaced) return;
    const int cxButton = c.cxBitmap > 0 ? c.cxBitmap : 80;
    EXPECT_EQ(rect.left, c.nLeft);
    EXPECT_EQ(rect.right - rect.left, cxButton);
    EXPECT_EQ(rect.top, 2);
    EXPECT_EQ(rect.bottom, 2 + kButtonBitmapHeight);
    // Office command bars keep their last 52 pixels, browsers their last 2.
    EXPECT_LE(rect.right, c.cxBar - (c.dwFlags & kHookFlagBrowser ? 2 : 52));
}

// Strip column = client column - 2 (the tool bar is shrunk by 2 on each side).
INSTANTIATE_TEST_SUITE_P(
    Cases, PlaceSendButtonTest,
    ::testing::Values(PlaceCase{"content_to_strip_200", kHookFlagBrowser, 600, 10, 202, 0, true, 230},
                      PlaceCase{"bitmap_width", kHookFlagBrowser, 600, 10, 202, 40, true, 230},
                      PlaceCase{"empty", kHookFlagBrowser, 600, -1, -1, 0, false, 0},
                      PlaceCase{"exactly_120_wide", kHookFlagBrowser, 124, 10, 12, 0, false, 0},
                      PlaceCase{"121_wide", kHookFlagBrowser, 125, 10, 12, 0, true, 40},
                      PlaceCase{"browser_last_2_unseen", kHookFlagBrowser, 400, 398, 399, 0, false, 0},
                      PlaceCase{"office_just_fits", 0, 400, 10, 239, 0, true, 267},
                      PlaceCase{"office_no_room", 0, 400, 10, 240, 0, false, 0},
                      PlaceCase{"office_last_52_unseen", 0, 400, 350, 397, 0, false, 0},
                      // Themed tool bars: the background is what the strip's
                      // last 30 columns show, when they show one colour.
                      PlaceCase{"themed_background", kHookFlagBrowser, 600, 10, 202, 0, true, 230, RGB(255, 255, 255)},
                      PlaceCase{"themed_grey_background", 0, 400, 10, 150, 0, true, 178, RGB(96, 96, 96)},
                      PlaceCase{"themed_content_at_the_end", kHookFlagBrowser, 600, 10, 202, 0, false, 0,
                                RGB(255, 255, 255), 505, 510},
                      // A control of one colour at the end is no background:
                      // the button never covers it.
                      PlaceCase{"white_control_at_the_end", kHookFlagBrowser, 600, 10, 420, 0, false, 0, kFace, -1,
                                -1, 480}),
    [](const ::testing::TestParamInfo<PlaceCase>& info) { return std::string(info.param.pszName); });

// The button's raised edge is on the screen.
bool WaitUntilButtonShown(HWND hButton) {
    RECT rc{};
    GetClientRect(hButton, &rc);
    const COLORREF crLight = GetSysColor(COLOR_BTNHIGHLIGHT), crShadow = GetSysColor(COLOR_BTNSHADOW);
    return PumpUntil([&] {
        return ScreenPixel(hButton, 0, 0) == crLight && ScreenPixel(hButton, rc.right - 1, rc.bottom - 1) == crShadow;
    });
}

TEST(SendButtonTest, ReplacingTheShownButtonKeepsItsPlaceAndItGoesWithTheToolbar) {
    StripBar bar(600, 10, 202);
    ASSERT_TRUE(bar.WaitUntilShown());
    HookedWndInfo info = RecordFor(bar.hHost, kHookFlagBrowser);
    RECT rect{};
    ASSERT_TRUE(PlaceSendButton(&info, bar.hBar, &rect));
    info.hButtonWnd = CreateSendButton(&info, "Tellarine", kSendButtonId, rect, bar.hBar);
    ASSERT_NE(info.hButtonWnd, nullptr);
    EXPECT_EQ(GetDlgCtrlID(info.hButtonWnd), static_cast<int>(kSendButtonId));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(info.hButtonWnd, GWL_STYLE)), 0x50000000u);
    ASSERT_TRUE(WaitUntilButtonShown(info.hButtonWnd));

    // The refresh places a button that is on the screen: it must not count
    // as content of the host.
    RECT again{};
    ASSERT_TRUE(PlaceSendButton(&info, bar.hBar, &again));
    EXPECT_EQ(again.left, rect.left);
    EXPECT_EQ(again.right, rect.right);

    DestroyWindow(bar.hBar);
    EXPECT_EQ(info.hButtonWnd, nullptr);
}

// The host's thread: a tool bar with a button for the record, and its
// messages until told to stop.
struct ButtonThread {
    HookedWndInfo* pInfo;
    HANDLE hReady;
    HWND hButton;
};

DWORD WINAPI RunButtonThread(void* pParam) {
    auto* pThread = static_cast<ButtonThread*>(pParam);
    StripBar bar(600, 10, 202);
    pThread->hButton = CreateSendButton(pThread->pInfo, "Tellarine", kSendButtonId, RECT{230, 2, 310, 20}, bar.hBar);
    pThread->pInfo->hButtonWnd = pThread->hButton;
    SetEvent(pThread->hReady);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}

TEST(SendButtonTest, RemovalFromAnotherThreadClosesTheButtonOnItsOwnAndDetachesIt) {
    HookedWndInfo info = RecordFor(nullptr, kHookFlagBrowser);
    ButtonThread thread{&info, CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr};
    DWORD dwThreadId = 0;
    HANDLE hThread = CreateThread(nullptr, 0, RunButtonThread, &thread, 0, &dwThreadId);
    ASSERT_EQ(WaitForSingleObject(thread.hReady, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    ASSERT_NE(thread.hButton, nullptr);

    DestroySendButton(&info);
    EXPECT_EQ(info.hButtonWnd, nullptr);
    // The record's memory holding the same value again (a record made anew
    // in its place): a button still tied to it would clear it as it goes.
    info.hButtonWnd = thread.hButton;
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(thread.hButton); }));
    EXPECT_EQ(info.hButtonWnd, thread.hButton);

    PostThreadMessageA(dwThreadId, WM_QUIT, 0, 0);
    EXPECT_EQ(WaitForSingleObject(hThread, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(hThread);
    CloseHandle(thread.hReady);
}

// --- the button in hosts like the sample hosts ------------------------------------

// An Office command bar: menu names on the face colour.
LRESULT CALLBACK CommandBarProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_ERASEBKGND) return 1;
    if (uMsg != WM_PAINT) return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    PAINTSTRUCT paint;
    HDC hDC = BeginPaint(hWnd, &paint);
    RECT rc{};
    GetClientRect(hWnd, &rc);
    FillRect(hDC, &rc, GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ hOldFont = SelectObject(hDC, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(hDC, TRANSPARENT);
    rc.left += 6;
    char szTitle[32] = {};
    GetWindowTextA(hWnd, szTitle, sizeof szTitle);
    const char* pszItems = lstrcmpA(szTitle, "Menu Bar") == 0 ? "File   Edit   View   Insert" : "New   Open   Save";
    DrawTextA(hDC, pszItems, -1, &rc, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    SelectObject(hDC, hOldFont);
    EndPaint(hWnd, &paint);
    return 0;
}

constexpr int kHostWidth = 720;

class SampleHost {
public:
    // Browser-like: a rebar of three tool bars; Office-like: a dock with a
    // command bar titled "Menu Bar" and one titled "Standard".
    explicit SampleHost(bool bBrowser, bool bMenuBarVisible = true) {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_COOL_CLASSES};
        InitCommonControlsEx(&controls);
        m_tree.RegisterWithProc("PfcSampleTop", DefWindowProcA);
        m_tree.RegisterWithProc("PfcSampleCommandBar", CommandBarProc);
        hTop = CreateWindowExA(WS_EX_TOPMOST, "PfcSampleTop", bBrowser ? "Browser-like host" : "Office-like host",
                               WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 120, kHostWidth, 160, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
        m_tree.Adopt(hTop);
        if (bBrowser) {
            HWND hReBar = CreateWindowExA(0, REBARCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | RBS_VARHEIGHT | CCS_NODIVIDER,
                                          0, 0, 0, 0, hTop, nullptr, GetModuleHandleA(nullptr), nullptr);
            // A browser's first band is its menu bar. The rebar takes each
            // band's child as its own, which puts the child on top of its
            // siblings: the first band's tool bar is the last one visited.
            hContent = host::AddToolbarBand(hReBar, {"File", "Edit", "View", "Favorites", "Help"}, 100, 430);
            host::AddToolbarBand(hReBar, {"Back", "Forward"}, 200, 100);
            host::AddToolbarBand(hReBar, {"Go"}, 300, 60);
            SendMessageA(hContent, TB_GETITEMRECT, 4, reinterpret_cast<LPARAM>(&rcLastContent));
        } else {
            HWND hDock = CreateWindowExA(0, "PfcSampleTop", "MsoDockTop", WS_CHILD | WS_VISIBLE, 0, 0, 480, 28, hTop,
                                         nullptr, GetModuleHandleA(nullptr), nullptr);
            hContent = CreateWindowExA(0, "PfcSampleCommandBar", "Menu Bar",
                                       WS_CHILD | (bMenuBarVisible ? WS_VISIBLE : 0), 0, 0, 300, 26, hDock, nullptr,
                                       GetModuleHandleA(nullptr), nullptr);
            CreateWindowExA(0, "PfcSampleCommandBar", "Standard", WS_CHILD | WS_VISIBLE, 300, 0, 180, 26, hDock,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
            rcLastContent = RECT{6, 0, 150, 26};
        }
        UpdateWindow(hTop);
    }
    bool WaitUntilShown() const {
        return !IsWindowVisible(hContent) ||
               PumpUntil([&] { return test_support::ScreenShowsInk(hContent, rcLastContent, GetSysColor(COLOR_BTNFACE)); });
    }

    HWND hTop = nullptr;
    HWND hContent = nullptr;  // the window that is to own the button
    RECT rcLastContent{};     // where the host's own content ends, in it

private:
    WindowTree m_tree;
};

struct HostButtonCase {
    const char* pszName;  // also the screenshot's name
    bool bBrowser;
    const char* pszPrintCmd;    // the host's "PrintCmd"; null: none
    const char* pszBitmapMenu;
    UINT uPrintCmd;
    SIZE size;
};

class HostButtonTest : public ::testing::TestWithParam<HostButtonCase> {};

TEST_P(HostButtonTest, ButtonRightOfTheHostsContentWithTheFixedIdentifiers) {
    const HostButtonCase& c = GetParam();
    test_support::SendItemEnvironment environment;
    ASSERT_TRUE(environment.resourcesLoaded());
    const int nModule = c.bBrowser ? 0 : 3;
    environment.Profile("PFCWatch", "BitmapMenu", c.pszBitmapMenu);
    if (c.pszPrintCmd != nullptr)
        environment.Profile(test_support::TestHostSections()[nModule].c_str(), "PrintCmd", c.pszPrintCmd);
    SampleHost host(c.bBrowser);
    ASSERT_TRUE(host.WaitUntilShown());

    HookedWndInfo info = RecordFor(host.hTop, c.bBrowser ? kHookFlagBrowser : 0);
    info.nModule = nModule;
    ASSERT_TRUE(CreateHookedButton(&info));
    ASSERT_NE(info.hButtonWnd, nullptr);
    EXPECT_EQ(GetParent(info.hButtonWnd), host.hContent);
    char szClass[64] = {}, szText[64] = {};
    GetClassNameA(info.hButtonWnd, szClass, sizeof szClass);
    GetWindowTextA(info.hButtonWnd, szText, sizeof szText);
    EXPECT_STREQ(szClass, kSendButtonClass);
    EXPECT_STREQ(szText, "Tellarine");
    EXPECT_EQ(GetDlgCtrlID(info.hButtonWnd), static_cast<int>(kSendButtonId));
    RECT rcButton{};
    GetWindowRect(info.hButtonWnd, &rcButton);
    MapWindowPoints(nullptr, host.hContent, reinterpret_cast<POINT*>(&rcButton), 2);
    EXPECT_EQ(rcButton.right - rcButton.left, c.size.cx);
    EXPECT_EQ(rcButton.bottom - rcButton.top, c.size.cy);
    EXPECT_GE(rcButton.left, host.rcLastContent.left + 30);
    EXPECT_LE(rcButton.left, host.rcLastContent.right + 30);

    EXPECT_EQ(info.uPrintCmd, c.uPrintCmd);
    EXPECT_EQ((info.dwFlags & kHookFlagItemConfirmed) != 0, c.bBrowser);
    for (int i = 0; i < kSendCommandCount; ++i) EXPECT_EQ(info.aCmdID[i], SendCommandAt(i).uBaseId) << i;

    // Asked again (the menu worker does), the record keeps its one button.
    HWND hButton = info.hButtonWnd;
    EXPECT_TRUE(CreateHookedButton(&info));
    EXPECT_EQ(info.hButtonWnd, hButton);

    ASSERT_TRUE(WaitUntilButtonShown(info.hButtonWnd));
    EXPECT_TRUE(test_support::SaveScreenshot(host.hTop, c.pszName));
    DestroySendButton(&info);
    info.hBitmap.reset();
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, HostButtonTest,
    ::testing::Values(HostButtonCase{"browser_button", true, nullptr, "1", 260, {40, 18}},
                      HostButtonCase{"browser_button_own_print", true, "777", "1", 777, {40, 18}},
                      HostButtonCase{"office_button", false, "777", "1", 1, {40, 18}},
                      HostButtonCase{"office_button_title", false, nullptr, "0", 1, {80, 18}}),
    [](const ::testing::TestParamInfo<HostButtonCase>& info) { return std::string(info.param.pszName); });

TEST(HostButtonTest, HiddenCommandBarGivesNoButtonAndNoIdentifiers) {
    test_support::SendItemEnvironment environment;
    SampleHost host(false, false);
    HookedWndInfo info = RecordFor(host.hTop, 0);
    info.nModule = 3;
    EXPECT_FALSE(CreateHookedButton(&info));
    EXPECT_EQ(info.hButtonWnd, nullptr);
    EXPECT_EQ(info.hBitmap, nullptr);
    EXPECT_EQ(info.aCmdID[0], 0u);
    EXPECT_EQ(info.uPrintCmd, 0u);
}

// --- the click ------------------------------------------------------------------

std::vector<WPARAM>& OwnerCommands() {
    static std::vector<WPARAM> commands;
    return commands;
}
// The popups opened for the owner: each opening announces itself to the
// window that owns it before it shows.
volatile LONG g_nOwnerPopups = 0;

LRESULT CALLBACK CommandOwnerProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_COMMAND) OwnerCommands().push_back(wParam);
    if (uMsg == WM_INITMENUPOPUP) InterlockedIncrement(&g_nOwnerPopups);
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// A person at the popup: for each opening, waits until the popup menu window
// shows its items, then presses the keys; until told to stop, or for a
// number of openings.
struct PopupPerson {
    PopupPerson(std::vector<WPARAM> keysToPress, int nTimes) : keys(std::move(keysToPress)), nOpenings(nTimes) {}
    std::vector<WPARAM> keys;
    int nOpenings;
    volatile LONG nServed = 0;
    volatile LONG bStop = FALSE;
    std::vector<UINT> firstItems;  // the first item's identifier at each opening
};

// A shown popup menu of this process with its items in it. Other processes'
// menus, and this one's hidden menu windows, are not it.
BOOL CALLBACK MatchShownPopup(HWND hWnd, LPARAM lParam) {
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    char szClass[16] = {};
    GetClassNameA(hWnd, szClass, sizeof szClass);
    if (dwProcessId != GetCurrentProcessId() || lstrcmpA(szClass, "#32768") != 0 || !IsWindowVisible(hWnd))
        return TRUE;
    auto hMenu = reinterpret_cast<HMENU>(SendMessageA(hWnd, 0x01E1 /* MN_GETHMENU */, 0, 0));
    if (hMenu == nullptr || GetMenuItemCount(hMenu) <= 0) return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hWnd;
    return FALSE;
}

HWND WaitForShownPopup(const PopupPerson& person) {
    const DWORD dwStart = GetTickCount();
    while (!person.bStop && GetTickCount() - dwStart < 5000) {
        HWND hPopup = nullptr;
        EnumWindows(MatchShownPopup, reinterpret_cast<LPARAM>(&hPopup));
        if (hPopup != nullptr) return hPopup;
        Sleep(5);
    }
    return nullptr;
}

DWORD WINAPI ServePopups(void* pParam) {
    auto* pPerson = static_cast<PopupPerson*>(pParam);
    while (pPerson->nServed < pPerson->nOpenings && !pPerson->bStop) {
        HWND hPopup = WaitForShownPopup(*pPerson);
        if (hPopup == nullptr) continue;
        auto hMenu = reinterpret_cast<HMENU>(SendMessageA(hPopup, 0x01E1 /* MN_GETHMENU */, 0, 0));
        pPerson->firstItems.push_back(GetMenuItemID(hMenu, 0));
        for (WPARAM vk : pPerson->keys) PostMessageA(hPopup, WM_KEYDOWN, vk, 0);
        // The next opening is another window; wait for this one to go.
        const DWORD dwStart = GetTickCount();
        while (IsWindow(hPopup) && IsWindowVisible(hPopup) && GetTickCount() - dwStart < 5000) Sleep(2);
        InterlockedIncrement(&pPerson->nServed);
    }
    return 0;
}

class ClickTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_environment.resourcesLoaded());
        m_tree.RegisterWithProc("PfcCommandOwner", CommandOwnerProc);
        m_hOwner = CreateWindowExA(0, "PfcCommandOwner", "owner", WS_POPUP | WS_VISIBLE, 700, 300, 50, 50, nullptr,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
        m_tree.Adopt(m_hOwner);
        m_info = RecordFor(m_hOwner, kHookFlagBrowser);
        for (int i = 0; i < kSendCommandCount; ++i) m_info.aCmdID[i] = SendCommandAt(i).uBaseId;
        m_info.hButtonWnd = CreateSendButton(&m_info, "Tellarine", kSendButtonId, RECT{230, 2, 310, 20}, m_bar.hBar);
        ASSERT_NE(m_info.hButtonWnd, nullptr);
        OwnerCommands().clear();
    }
    void TearDown() override { DestroySendButton(&m_info); }

    HANDLE StartPerson(PopupPerson* pPerson) { return CreateThread(nullptr, 0, ServePopups, pPerson, 0, nullptr); }

    test_support::SendItemEnvironment m_environment;  // records what would be shown
    WindowTree m_tree;
    StripBar m_bar{600, 10, 202};
    HWND m_hOwner = nullptr;
    HookedWndInfo m_info{};
};

TEST_F(ClickTest, ChosenItemArrivesAtTheHostWindow) {
    const struct {
        const char* pszWhat;
        std::vector<WPARAM> keys;
        std::vector<WPARAM> commands;
    } kCases[] = {
        // The popup's first item is the fax command.
        {"first item chosen", {VK_DOWN, VK_RETURN}, {SendCommandAt(kCmdFax).uBaseId}},
        {"popup cancelled", {VK_ESCAPE}, {}},
    };
    for (const auto& c : kCases) {
        OwnerCommands().clear();
        PopupPerson person{c.keys, 1};
        HANDLE hPerson = StartPerson(&person);
        const long nMenus = platform::LiveMenuCount();
        PostMessageA(m_info.hButtonWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        EXPECT_TRUE(PumpUntil([&] { return person.nServed == 1 && OwnerCommands().size() == c.commands.size(); }))
            << c.pszWhat;
        // The popup has closed and what it chose is on its way: a command
        // posted to the owner now arrives after it, and ends the record.
        constexpr WPARAM kMarker = 0x7EED;
        ASSERT_TRUE(PostMessageA(m_hOwner, WM_COMMAND, kMarker, 0));
        ASSERT_TRUE(PumpUntil([] { return !OwnerCommands().empty() && OwnerCommands().back() == kMarker; }));
        OwnerCommands().pop_back();
        EXPECT_EQ(OwnerCommands(), c.commands) << c.pszWhat;
        ASSERT_EQ(person.firstItems.size(), 1u) << c.pszWhat;
        EXPECT_EQ(person.firstItems[0], SendCommandAt(kCmdFax).uBaseId) << c.pszWhat;
        EXPECT_EQ(platform::LiveMenuCount(), nMenus) << c.pszWhat;
        EXPECT_EQ(WaitForSingleObject(hPerson, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
        CloseHandle(hPerson);
    }
}

TEST_F(ClickTest, TwoHundredClicksLeaveNoMenuBitmapOrDC) {
    constexpr int kClicks = 200;
    // Each click returns once its popup has closed, however it closed; the
    // person only makes sure that none stays open.
    PopupPerson person{{VK_ESCAPE}, INT_MAX};
    HANDLE hPerson = StartPerson(&person);
    const long nMenus = platform::LiveMenuCount(), nBitmaps = platform::LiveBitmapCount();
    const long nDCs = platform::LiveDCCount();
    const LONG nPopupsBefore = g_nOwnerPopups;
    for (int i = 0; i < kClicks; ++i) {
        SendMessageA(m_info.hButtonWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        if (g_nOwnerPopups - nPopupsBefore != i + 1) {
            ADD_FAILURE() << "click " << i << " opened no popup";
            break;
        }
    }
    InterlockedExchange(&person.bStop, TRUE);
    EXPECT_EQ(WaitForSingleObject(hPerson, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(hPerson);
    EXPECT_EQ(platform::LiveMenuCount(), nMenus);
    EXPECT_EQ(platform::LiveBitmapCount(), nBitmaps);
    EXPECT_EQ(platform::LiveDCCount(), nDCs);
}

}  // namespace
