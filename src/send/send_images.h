// The images of the send item: the brand bitmap fitted to a menu bar or to
// the tool-bar button, and the brand title with a mnemonic of its own when
// the item is shown as text.
#pragma once

#include <windows.h>

#include <string>

// Height of the picture on the tool-bar button; a menu bar's item is
// SM_CYMENU - 2 high.
constexpr int kButtonBitmapHeight = 18;
// Size of a button without a bitmap (or whose bitmap records no size).
constexpr SIZE kDefaultSendBitmapSize = {80, 18};

// Loads the brand bitmap into *phBitmap and fits it (FitMenuBitmap). False,
// and the slot empty, when bitmap items are switched off in the profile
// ("PFCWatch"/"BitmapMenu" 0), the profile cannot be found, or the resource
// module has no brand bitmap. A bitmap already in the slot is deleted first:
// the slot owns one bitmap at a time.
bool LoadSendMenuBitmap(HBITMAP* phBitmap, bool bButtonHeight);

// Replaces the slot's bitmap by one as wide and as high as the target (18
// for the button, else the menu bar's height - 2), centred vertically, with
// its background (the colour of the top-left pixel) turned into the menu
// colour. The new bitmap records its width and height as its dimension.
void FitMenuBitmap(HBITMAP* phBitmap, bool bButtonHeight);

// The size recorded on the bitmap by FitMenuBitmap; 80 x 18 without a bitmap
// or when none is recorded.
SIZE GetSendBitmapSize(HBITMAP hBitmap);

// The brand title (the string numbered by GetBrandResourceId), as the send
// button shows it and as the text item starts.
std::string LoadBrandTitle();

// The brand title with a mnemonic that no item of hMenu uses yet. True when
// a mnemonic was placed; the title is set either way.
bool MakeSendMenuTitle(HMENU hMenu, std::string* pTitle);

// Puts "&" before the first character of *pTitle that is not the mnemonic of
// an item of hMenu (the first character when the menu uses none). False,
// and the title unchanged, when the title is empty or every character is
// taken.
bool AddMenuMnemonic(HMENU hMenu, std::string* pTitle);
