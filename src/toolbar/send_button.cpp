#include "toolbar/send_button.h"

#include <algorithm>
#include <string>

#include "config/profile.h"
#include "hook/base/hooked_wnd.h"
#include "hook/base/shared_state.h"
#include "menu/send_popup.h"
#include "platform/module_pin.h"
#include "platform/unique_handle.h"
#include "send/send_images.h"
#include "toolbar/toolbar.h"

namespace {

constexpr int kToolbarInset = 2;
constexpr int kNarrowestToolbar = 120;
// Office command bars keep their own controls at the right end.
constexpr int kOfficeRightMargin = 50;
constexpr int kGapAfterContent = 30;
constexpr int kWindowTextChars = 260;

// The captured strip is reduced to these colours; whatever is not the face
// colour is the host's content. The remaining entries of the 16 stay black.
constexpr int kStripColourCount = 16;
constexpr int kStripSystemColours[] = {COLOR_BTNFACE,  COLOR_BTNFACE,    COLOR_GRAYTEXT, COLOR_MENU,       COLOR_MENUTEXT,
                                       COLOR_WINDOW,   COLOR_WINDOWTEXT, COLOR_BTNTEXT,  COLOR_CAPTIONTEXT};

struct StripBitmapInfo {
    BITMAPINFOHEADER header;
    RGBQUAD aColours[kStripColourCount];
};

RGBQUAD QuadOf(COLORREF crColor) { return RGBQUAD{GetBValue(crColor), GetGValue(crColor), GetRValue(crColor), 0}; }

LONG StripStride(int cx) { return ((cx * 4 + 31) / 32) * 4; }

StripBitmapInfo MakeStripInfo(int cx, int cy) {
    StripBitmapInfo info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = cx;
    info.header.biHeight = cy;
    info.header.biPlanes = 1;
    info.header.biBitCount = 4;
    info.header.biCompression = BI_RGB;
    info.header.biSizeImage = static_cast<DWORD>(StripStride(cx) * cy);
    info.header.biClrUsed = kStripColourCount;
    int i = 0;
    for (int nSysColor : kStripSystemColours) info.aColours[i++] = QuadOf(GetSysColor(nSysColor));
    return info;
}

int StripIndex(const BYTE* pBits, LONG cbStride, int nColumn, int nRow) {
    const BYTE bPair = pBits[nRow * cbStride + nColumn / 2];
    return nColumn % 2 == 0 ? bPair >> 4 : bPair & 0x0F;
}

bool SameColour(const RGBQUAD& a, const RGBQUAD& b) {
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

// The rightmost column holding content, or -1. Free space is the face
// colour, and the tool bar's own background: themed tool bars are not drawn
// in the face colour. Their background is known when the strip's last
// columns, where the button must find room anyway, show one colour only;
// the host's controls are found as windows (FindRightmostChild), since one
// of them may be that colour.
// Entries are compared by colour, not by index: another system colour may
// be the same colour, and then it is free space as well.
int FindRightmostContent(const BYTE* pBits, const StripBitmapInfo& info) {
    const int cx = info.header.biWidth;
    const int cy = info.header.biHeight;
    const LONG cbStride = StripStride(cx);
    const RGBQUAD face = QuadOf(GetSysColor(COLOR_BTNFACE));
    RGBQUAD background = face;
    if (cx > kGapAfterContent) {
        const RGBQUAD corner = info.aColours[StripIndex(pBits, cbStride, cx - 1, 0)];
        bool bUniform = true;
        for (int nColumn = cx - kGapAfterContent; nColumn < cx && bUniform; ++nColumn)
            for (int nRow = 0; nRow < cy && bUniform; ++nRow)
                bUniform = SameColour(info.aColours[StripIndex(pBits, cbStride, nColumn, nRow)], corner);
        if (bUniform) background = corner;
    }
    bool abFree[kStripColourCount];
    for (int i = 0; i < kStripColourCount; ++i)
        abFree[i] = SameColour(info.aColours[i], face) || SameColour(info.aColours[i], background);
    for (int nColumn = cx - 1; nColumn >= 0; --nColumn) {
        for (int nRow = cy - 1; nRow >= 0; --nRow) {
            if (!abFree[StripIndex(pBits, cbStride, nColumn, nRow)]) return nColumn;
        }
    }
    return -1;
}

// The rightmost strip column that a child window of the tool bar (a control
// of the host, whatever its colours) covers within the button's rows, or -1.
// A control painted in one colour would otherwise pass for the themed
// background and get the button laid over it.
int FindRightmostChild(HWND hToolbar, HWND hOwnButton, POINT ptOrigin, const RECT& rcButton, int cxStrip) {
    int nRightmost = -1;
    for (HWND hChild = GetWindow(hToolbar, GW_CHILD); hChild != nullptr; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        if (hChild == hOwnButton || !IsWindowVisible(hChild)) continue;
        RECT rcChild{};
        GetWindowRect(hChild, &rcChild);
        MapWindowPoints(nullptr, hToolbar, reinterpret_cast<POINT*>(&rcChild), 2);
        if (rcChild.right <= rcChild.left || rcChild.bottom <= rcButton.top || rcChild.top >= rcButton.bottom) continue;
        const int nLast = rcChild.right - 1 - ptOrigin.x;
        if (rcChild.left - ptOrigin.x >= cxStrip || nLast < 0) continue;
        nRightmost = std::max(nRightmost, std::min(nLast, cxStrip - 1));
    }
    return nRightmost;
}

void RegisterSendButtonClass() {
    // Buttons of this class call into the module until they are destroyed,
    // which for a button of another thread happens when that thread gets to it.
    platform::KeepModuleForProcess();
    WNDCLASSA wc{};
    wc.lpfnWndProc = SendButtonWndProc;
    // The record pointer; pointer-sized for the 64-bit build.
    wc.cbWndExtra = sizeof(HookedWndInfo*);
    wc.hInstance = g_hModuleInstance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = kSendButtonClass;
    // Registered already by an earlier button of this process: that is fine.
    RegisterClassA(&wc);
}

HookedWndInfo* ButtonRecord(HWND hWnd) { return reinterpret_cast<HookedWndInfo*>(GetWindowLongPtrA(hWnd, 0)); }

void PaintSendButton(HWND hWnd, const HookedWndInfo* pInfo) {
    platform::ScopedPaint paint(hWnd);
    HDC hDC = paint.get();
    if (hDC == nullptr) return;
    RECT rcClient{};
    GetClientRect(hWnd, &rcClient);
    if (pInfo != nullptr && pInfo->hBitmap != nullptr) {
        platform::unique_hdc hMemory(CreateCompatibleDC(hDC));
        if (hMemory) {
            platform::ScopedSelectObject select(hMemory.get(), pInfo->hBitmap.get());
            const SIZE size = GetSendBitmapSize(pInfo->hBitmap.get());
            const int x = (rcClient.right - rcClient.left - size.cx) / 2 + rcClient.left;
            const int y = (rcClient.bottom - rcClient.top - size.cy) / 2 + rcClient.top;
            BitBlt(hDC, x, y, size.cx, size.cy, hMemory.get(), 0, 0, SRCCOPY);
        }
    } else {
        SetBkColor(hDC, GetSysColor(COLOR_BTNFACE));
        ExtTextOutA(hDC, 0, 0, ETO_OPAQUE, &rcClient, "", 0, nullptr);
        platform::ScopedSelectObject font(hDC, GetStockObject(DEFAULT_GUI_FONT));
        char szText[kWindowTextChars] = {};
        GetWindowTextA(hWnd, szText, kWindowTextChars);
        const int nOldMode = SetBkMode(hDC, TRANSPARENT);
        RECT rcText = rcClient;
        DrawTextA(hDC, szText, -1, &rcText, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SetBkMode(hDC, nOldMode);
    }
    RECT rcEdge = rcClient;
    DrawEdge(hDC, &rcEdge, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
}

void ClickSendButton(HWND hWnd, HookedWndInfo* pInfo, UINT x, UINT y) {
    RECT rcClient{};
    GetClientRect(hWnd, &rcClient);
    const POINT ptClick{static_cast<LONG>(x), static_cast<LONG>(y)};
    if (pInfo == nullptr || !PtInRect(&rcClient, ptClick)) return;
    platform::unique_hmenu popup = BuildSendPopupMenu(pInfo);
    if (!popup) return;
    POINT ptMenu{rcClient.left, rcClient.bottom};
    ClientToScreen(hWnd, &ptMenu);
    // The host may go while the popup is open, and its record with it: the
    // record is not used again after the popup closes.
    const HWND hOwner = pInfo->hWnd;
    TrackPopupMenu(popup.get(), 0, ptMenu.x, ptMenu.y, 0, hOwner, nullptr);
    popup.reset();
    SetForegroundWindow(GetDesktopWindow());
    SetForegroundWindow(hOwner);
}

}  // namespace

bool PlaceSendButton(HookedWndInfo* pInfo, HWND hToolbar, RECT* pRect) {
    RECT rect{};
    GetClientRect(hToolbar, &rect);
    InflateRect(&rect, -kToolbarInset, -kToolbarInset);
    POINT ptOrigin{rect.left, rect.top};
    *pRect = rect;
    if (rect.right - rect.left <= kNarrowestToolbar) return false;
    if ((pInfo->dwFlags & kHookFlagBrowser) == 0) rect.right -= kOfficeRightMargin;
    const SIZE size = GetSendBitmapSize(pInfo->hBitmap.get());
    rect.left = rect.right - size.cx;
    rect.bottom = rect.top + size.cy;
    *pRect = rect;

    if (pInfo->hButtonWnd != nullptr) {
        MoveWindow(pInfo->hButtonWnd, rect.right, rect.top, 0, rect.bottom - rect.top, TRUE);
        // The tool bar paints over the old picture before the capture: left
        // on the screen, it would count as content and push the button
        // further right on every refresh.
        UpdateWindow(hToolbar);
    }

    // The tool bar's own DC, not the screen's: the screen catches up with
    // what windows paint some time later, and until then it still shows the
    // button just collapsed (or whatever window lies over the tool bar).
    platform::ScopedWindowDC toolbarDC(hToolbar);
    if (toolbarDC.get() == nullptr) return true;
    platform::unique_hdc hStripDC(CreateCompatibleDC(toolbarDC.get()));
    if (!hStripDC) return false;

    // The strip: everything left of the right-aligned button, a band of half
    // the button's height through its middle.
    const int cxStrip = rect.left;
    const int cyStrip = rect.bottom / 2;
    if (cxStrip <= 0 || cyStrip <= 0) return false;
    StripBitmapInfo info = MakeStripInfo(cxStrip, cyStrip);
    void* pBits = nullptr;
    platform::unique_hbitmap strip(CreateDIBSection(hStripDC.get(), reinterpret_cast<const BITMAPINFO*>(&info),
                                                    DIB_RGB_COLORS, &pBits, nullptr, 0));
    if (!strip || pBits == nullptr) return false;
    int nContent = -1;
    {
        platform::ScopedSelectObject select(hStripDC.get(), strip.get());
        // The system maps each pixel to the nearest colour of the table.
        if (BitBlt(hStripDC.get(), 0, 0, cxStrip, cyStrip, toolbarDC.get(), ptOrigin.x, ptOrigin.y + cyStrip / 2,
                   SRCCOPY)) {
            GdiFlush();
            nContent = FindRightmostContent(static_cast<const BYTE*>(pBits), info);
        }
    }
    nContent = std::max(nContent, FindRightmostChild(hToolbar, pInfo->hButtonWnd, ptOrigin, rect, cxStrip));
    const int x = nContent >= 0 && nContent + kGapAfterContent < cxStrip ? nContent + kGapAfterContent : 0;
    OffsetRect(&rect, x - cxStrip, 0);
    *pRect = rect;
    return x != 0;
}

HWND CreateSendButton(HookedWndInfo* pInfo, const char* pszTitle, UINT uId, const RECT& rect, HWND hParent) {
    RegisterSendButtonClass();
    // The record travels as the creation data: a pointer handed over in a
    // process-wide variable could be taken by a button that another thread
    // creates at the same moment.
    return CreateWindowExA(0, kSendButtonClass, pszTitle, WS_CHILD | WS_VISIBLE, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, hParent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(uId)), g_hModuleInstance, pInfo);
}

LRESULT CALLBACK SendButtonWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    HookedWndInfo* pInfo = ButtonRecord(hWnd);
    switch (uMsg) {
        case WM_PAINT:
            PaintSendButton(hWnd, pInfo);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_NCCREATE:
            SetWindowLongPtrA(hWnd, 0,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams));
            break;
        case WM_NCDESTROY:
            // Only this button's own slot: the record may hold a newer one.
            if (pInfo != nullptr && pInfo->hButtonWnd == hWnd) pInfo->hButtonWnd = nullptr;
            return 0;
        case WM_LBUTTONDOWN:
            ClickSendButton(hWnd, pInfo, LOWORD(lParam), HIWORD(lParam));
            return 0;
        default:
            break;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

BOOL CreateHookedButton(HookedWndInfo* pInfo) {
    // A second button would be an orphan nobody removes; the menu worker asks
    // again for hosts that still have their button.
    if (pInfo->hButtonWnd != nullptr && IsWindow(pInfo->hButtonWnd)) return TRUE;
    HWND hToolbar = FindToolbarHost(pInfo);
    if (hToolbar == nullptr) return pInfo->hButtonWnd != nullptr;
    // Without a bitmap the button shows the title.
    HBITMAP hBitmap = pInfo->hBitmap.release();
    LoadSendMenuBitmap(&hBitmap, true);
    pInfo->hBitmap = platform::unique_hbitmap::Adopt(hBitmap);
    RECT rect{};
    if (!PlaceSendButton(pInfo, hToolbar, &rect)) return pInfo->hButtonWnd != nullptr;
    const std::string title = LoadBrandTitle();
    pInfo->hButtonWnd = CreateSendButton(pInfo, title.c_str(), kSendButtonId, rect, hToolbar);
    if (pInfo->hButtonWnd == nullptr) return FALSE;
    if (pInfo->dwFlags & kHookFlagBrowser) {
        pInfo->uPrintCmd = ReadHostPrintCmd(GetModuleEntry(pInfo->nModule), kBrowserPrintCmdDefault);
        pInfo->dwFlags |= kHookFlagItemConfirmed;
    } else {
        pInfo->uPrintCmd = 1;
    }
    // A button has no menu to collide with: the identifiers are the bases.
    for (int i = 0; i < kSendCommandCount; ++i) pInfo->aCmdID[i] = SendCommandAt(i).uBaseId;
    return TRUE;
}

void DestroySendButton(HookedWndInfo* pInfo) {
    HWND hButton = pInfo->hButtonWnd;
    pInfo->hButtonWnd = nullptr;
    if (hButton == nullptr || !IsWindow(hButton)) return;
    SetWindowLongPtrA(hButton, 0, 0);
    if (GetWindowThreadProcessId(hButton, nullptr) == GetCurrentThreadId())
        DestroyWindow(hButton);
    else
        PostMessageA(hButton, WM_CLOSE, 0, 0);
}

void RemoveHookedButton(HookedWndInfo* pInfo, BOOL) {
    DestroySendButton(pInfo);
    InitHookedWndInfo(pInfo);
}

void RefreshHookedButton(HookedWndInfo* pInfo) {
    HWND hToolbar = FindToolbarHost(pInfo);
    if (hToolbar == nullptr) {
        RemoveSendItem(pInfo, FALSE);
        return;
    }
    if (pInfo->hButtonWnd != nullptr && GetParent(pInfo->hButtonWnd) == hToolbar) {
        RECT rect;
        if (PlaceSendButton(pInfo, hToolbar, &rect))
            MoveWindow(pInfo->hButtonWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
        return;
    }
    ReinsertSendItem(pInfo);
}

const ItemPlacer kSendButtonPlacer = {CreateHookedButton, RemoveHookedButton, RefreshHookedButton};

void UnregisterSendButtonClass() { UnregisterClassA(kSendButtonClass, g_hModuleInstance); }
