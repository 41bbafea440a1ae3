#include "send/send_images.h"

#include <vector>

#include "config/profile.h"
#include "hook/base/shared_state.h"
#include "platform/dib.h"
#include "platform/unique_handle.h"
#include "suite/suite_settings.h"
#include "suite/user_messages.h"

namespace {

constexpr int kTitleChars = 260;
constexpr int kItemTextChars = 260;

// Pixels as GetDIBits gives them at 32 bits: 0x00RRGGBB.
DWORD PixelOf(COLORREF crColor) { return (GetRValue(crColor) << 16) | (GetGValue(crColor) << 8) | GetBValue(crColor); }

// The bitmap's pixels as the device's colours read back. The bitmap must not
// be selected into a context.
bool ReadPixels(HDC hDC, HBITMAP hBitmap, int cx, int cy, std::vector<DWORD>* pPixels) {
    BITMAPINFO info = platform::TopDown32BitmapInfo(cx, cy);
    pPixels->assign(static_cast<size_t>(cx) * cy, 0);
    return GetDIBits(hDC, hBitmap, 0, cy, pPixels->data(), &info, DIB_RGB_COLORS) == cy;
}

bool WritePixels(HDC hDC, HBITMAP hBitmap, int cx, int cy, const std::vector<DWORD>& pixels) {
    BITMAPINFO info = platform::TopDown32BitmapInfo(cx, cy);
    return SetDIBits(hDC, hBitmap, 0, cy, pixels.data(), &info, DIB_RGB_COLORS) == cy;
}

// Only A to Z are folded: the mnemonic test of the menus we share a bar with
// is not ours to second-guess for other characters.
char FoldMnemonic(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

std::string CollectUsedMnemonics(HMENU hMenu) {
    std::string used;
    const int nItems = GetMenuItemCount(hMenu);
    for (int nPos = 0; nPos < nItems; ++nPos) {
        char szText[kItemTextChars] = {};
        if (GetMenuStringA(hMenu, nPos, szText, kItemTextChars, MF_BYPOSITION) <= 0) continue;
        for (const char* p = szText; *p != '\0'; ++p) {
            if (p[0] == '&' && p[1] != '&') {
                if (p[1] != '\0') used += FoldMnemonic(p[1]);
                break;
            }
        }
    }
    return used;
}

}  // namespace

std::string LoadBrandTitle() {
    char szTitle[kTitleChars] = {};
    if (g_hResourceModule != nullptr) LoadStringA(g_hResourceModule, GetBrandResourceId(), szTitle, kTitleChars);
    return szTitle;
}

bool LoadSendMenuBitmap(HBITMAP* phBitmap, bool bButtonHeight) {
    // The slot's bitmap was given away by an owner; it is taken back to go.
    platform::unique_hbitmap::Adopt(*phBitmap);
    *phBitmap = nullptr;
    char szProfile[MAX_PATH] = {};
    if (!CheckLibraryResult(GetProfilePath(szProfile))) return false;
    if (ReadBitmapMenuSettingFrom(szProfile) == 0) return false;
    if (g_hResourceModule == nullptr) return false;
    platform::unique_hbitmap loaded(LoadBitmapA(g_hResourceModule, MAKEINTRESOURCEA(GetBrandResourceId())));
    if (!loaded) return false;
    *phBitmap = loaded.release();
    FitMenuBitmap(phBitmap, bButtonHeight);
    return true;
}

void FitMenuBitmap(HBITMAP* phBitmap, bool bButtonHeight) {
    BITMAP loaded{};
    if (*phBitmap == nullptr || GetObjectA(*phBitmap, sizeof loaded, &loaded) != sizeof loaded) return;
    const int cx = loaded.bmWidth;
    const int cySource = loaded.bmHeight;
    const int cy = bButtonHeight ? kButtonBitmapHeight : GetSystemMetrics(SM_CYMENU) - 2;
    if (cx <= 0 || cySource <= 0 || cy <= 0) return;

    platform::ScopedWindowDC screen(nullptr);
    if (screen.get() == nullptr) return;
    platform::unique_hbitmap fitted(CreateCompatibleBitmap(screen.get(), cx, cy));
    platform::unique_hdc hDest(CreateCompatibleDC(screen.get()));
    platform::unique_hdc hSource(CreateCompatibleDC(screen.get()));
    if (!fitted || !hDest || !hSource) return;
    const COLORREF crMenu = GetSysColor(COLOR_MENU);
    {
        platform::ScopedSelectObject selectDest(hDest.get(), fitted.get());
        platform::ScopedSelectObject selectSource(hSource.get(), *phBitmap);
        const RECT rcAll{0, 0, cx, cy};
        FillRect(hDest.get(), &rcAll, GetSysColorBrush(COLOR_MENU));
        // A taller picture loses equal parts at top and bottom.
        BitBlt(hDest.get(), 0, cy / 2 - cySource / 2, cx, cySource, hSource.get(), 0, 0, SRCCOPY);
    }
    hSource.reset();

    // The key colour is read the same way as the pixels it is compared with,
    // so both have gone through the same conversion to the screen's format.
    std::vector<DWORD> source;
    std::vector<DWORD> pixels;
    if (ReadPixels(screen.get(), *phBitmap, cx, cySource, &source) &&
        ReadPixels(screen.get(), fitted.get(), cx, cy, &pixels)) {
        const DWORD dwKey = source[0];
        const DWORD dwMenu = PixelOf(crMenu);
        bool bChanged = false;
        for (DWORD& dwPixel : pixels) {
            if ((dwPixel & 0xFFFFFF) == (dwKey & 0xFFFFFF)) {
                dwPixel = dwMenu;
                bChanged = true;
            }
        }
        if (bChanged) WritePixels(screen.get(), fitted.get(), cx, cy, pixels);
    }

    platform::unique_hbitmap::Adopt(*phBitmap);
    *phBitmap = fitted.release();
    SetBitmapDimensionEx(*phBitmap, cx, cy, nullptr);
}

SIZE GetSendBitmapSize(HBITMAP hBitmap) {
    SIZE size{};
    if (hBitmap == nullptr || !GetBitmapDimensionEx(hBitmap, &size) || size.cx == 0) return kDefaultSendBitmapSize;
    return size;
}

bool MakeSendMenuTitle(HMENU hMenu, std::string* pTitle) {
    *pTitle = LoadBrandTitle();
    return AddMenuMnemonic(hMenu, pTitle);
}

bool AddMenuMnemonic(HMENU hMenu, std::string* pTitle) {
    const std::string used = CollectUsedMnemonics(hMenu);
    if (pTitle->empty()) return false;
    size_t nPos = 0;
    if (!used.empty()) {
        nPos = pTitle->size();
        for (size_t i = 0; i < pTitle->size(); ++i) {
            if (used.find(FoldMnemonic((*pTitle)[i])) == std::string::npos) {
                nPos = i;
                break;
            }
        }
        if (nPos == pTitle->size()) return false;
    }
    pTitle->insert(nPos, 1, '&');
    return true;
}
