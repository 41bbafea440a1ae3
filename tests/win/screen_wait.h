// The screen as in-process tests see it: a pixel of a window, a wait that
// runs the thread's messages until the screen shows what a test expects
// (windows are painted, and the painting reaches the screen, some time after
// they are shown), and pictures of windows in the build tree's "screenshots"
// folder, for people to look at what a test saw.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "pump.h"

namespace test_support {

// The screen's colour at a point of a window's client area.
inline COLORREF ScreenPixel(HWND hWnd, int x, int y) {
    POINT pt{x, y};
    ClientToScreen(hWnd, &pt);
    HDC hScreen = GetDC(nullptr);
    const COLORREF cr = GetPixel(hScreen, pt.x, pt.y);
    ReleaseDC(nullptr, hScreen);
    return cr;
}

// Whether the screen shows, inside a part of a window's client area, any
// colour but crBackground: the window's content has reached the screen.
inline bool ScreenShowsInk(HWND hWnd, RECT rcClient, COLORREF crBackground) {
    MapWindowPoints(hWnd, nullptr, reinterpret_cast<POINT*>(&rcClient), 2);
    std::vector<std::uint32_t> pixels;
    if (!e2e::CaptureScreen(rcClient, &pixels)) return false;
    const std::uint32_t background =
        (GetRValue(crBackground) << 16) | (GetGValue(crBackground) << 8) | GetBValue(crBackground);
    for (std::uint32_t pixel : pixels)
        if (pixel != background) return true;
    return false;
}

// <build>\screenshots\<name>.png: what a person sees of the window.
inline bool SaveScreenshot(HWND hWnd, const std::string& name) {
    CreateDirectoryA(e2e::BuildPath("screenshots").c_str(), nullptr);
    return e2e::SaveWindowPicture(hWnd, e2e::BuildPath("screenshots\\" + name + ".png"));
}

}  // namespace test_support
