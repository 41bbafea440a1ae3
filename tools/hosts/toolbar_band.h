// A band of text buttons in a rebar, as the browser-like hosts and the tests
// of the send button build them.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <initializer_list>

namespace host {

// Appends a band holding a flat tool bar of cx pixels with one text button
// per label, numbered from nFirstId; bNewRow starts a new row of bands.
// Returns the tool bar.
inline HWND AddToolbarBand(HWND hReBar, std::initializer_list<const char*> labels, int nFirstId, int cx,
                           bool bNewRow = false) {
    HWND hToolbar = CreateWindowExA(
        0, TOOLBARCLASSNAMEA, "",
        WS_CHILD | WS_VISIBLE | CCS_NORESIZE | CCS_NODIVIDER | CCS_NOPARENTALIGN | TBSTYLE_FLAT | TBSTYLE_LIST, 0, 0,
        cx, 24, hReBar, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(hToolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    int nId = nFirstId;
    for (const char* pszLabel : labels) {
        TBBUTTON button{};
        button.iBitmap = I_IMAGENONE;
        button.idCommand = nId++;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
        button.iString = reinterpret_cast<INT_PTR>(pszLabel);
        SendMessageA(hToolbar, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&button));
    }
    REBARBANDINFOA band{};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE | RBBIM_SIZE;
    band.fStyle = RBBS_CHILDEDGE | (bNewRow ? RBBS_BREAK : 0);
    band.hwndChild = hToolbar;
    band.cxMinChild = 60;
    band.cyMinChild = 24;
    band.cx = cx + 30;  // the band's gripper and edges
    SendMessageA(hReBar, RB_INSERTBANDA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
    return hToolbar;
}

}  // namespace host
