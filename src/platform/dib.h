// Device-independent bitmaps in the one layout the module and its tests read
// and write pixels in.
#pragma once

#include <windows.h>

namespace platform {

// 32-bit pixels (0x00RRGGBB as GetDIBits gives them), top row first.
inline BITMAPINFO TopDown32BitmapInfo(int cx, int cy) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = -cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

}  // namespace platform
