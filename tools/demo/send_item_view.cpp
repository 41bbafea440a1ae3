#include "send_item_view.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "e2e_support.h"
#include "hook/base/hook_messages.h"

namespace demo {
namespace {

constexpr DWORD kAskTimeoutMs = 5000;

UINT TestQueryMessage() {
    static const UINT uMessage = RegisterWindowMessageA(kTestQueryMessageName);
    return uMessage;
}

std::string g_received;

LRESULT CALLBACK ReceiverProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_COPYDATA) {
        const auto* pData = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        g_received.assign(static_cast<const char*>(pData->lpData), pData->cbData);
        return TRUE;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// A message-only window: it has no place on the desktop and raises no shell
// notification, so the hook never looks at it.
HWND Receiver() {
    static HWND hReceiver = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ReceiverProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "PfcDemoReceiver";
        RegisterClassA(&wc);
        return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    }();
    return hReceiver;
}

struct PopupSearch {
    DWORD dwThreadId;
    HWND hFound;
};

BOOL CALLBACK MatchVisiblePopup(HWND hWnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<PopupSearch*>(lParam);
    char szClass[16] = {};
    GetClassNameA(hWnd, szClass, sizeof szClass);
    if (lstrcmpA(szClass, "#32768") != 0 || !IsWindowVisible(hWnd) ||
        GetWindowThreadProcessId(hWnd, nullptr) != pSearch->dwThreadId)
        return TRUE;
    pSearch->hFound = hWnd;
    return FALSE;
}

HWND VisiblePopupOfThread(DWORD dwThreadId) {
    PopupSearch search{dwThreadId, nullptr};
    EnumWindows(MatchVisiblePopup, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

void Press(WORD wKey) {
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = inputs[1].ki.wVk = wKey;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}

}  // namespace

HostState AskHostState(HWND hWnd) {
    HostState state;
    DWORD_PTR dwAnswer = 0;
    if (hWnd == nullptr || !SendMessageTimeoutA(hWnd, TestQueryMessage(), kTestQueryIdentity, 0, SMTO_ABORTIFHUNG,
                                                kAskTimeoutMs, &dwAnswer))
        return state;
    if ((dwAnswer & 0x7F000000) != static_cast<DWORD_PTR>(kTestQueryAnswer)) return state;
    state.bHooked = true;
    state.nIndex = static_cast<short>(dwAnswer & 0xFFFF);
    state.dwFlags = static_cast<DWORD>((dwAnswer >> 16) & 0xFF);
    return state;
}

HostState WaitForHostState(HWND hWnd, const char*) {
    HostState state;
    e2e::WaitUntil([&] { return (state = AskHostState(hWnd)).bHooked; }, 3000);
    return state;
}

SendItemView AskSendItem(HWND hHost) {
    SendItemView view;
    g_received.clear();
    DWORD_PTR dwAnswer = 0;
    if (hHost == nullptr ||
        !SendMessageTimeoutA(hHost, TestQueryMessage(), kTestQuerySendItem, reinterpret_cast<LPARAM>(Receiver()),
                             SMTO_ABORTIFHUNG, kAskTimeoutMs, &dwAnswer) ||
        g_received.empty())
        return view;
    std::istringstream lines(g_received);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("item ", 0) == 0 || line.rfind("button ", 0) == 0) {
            view.bButton = line[0] == 'b';
            view.bValid = std::sscanf(line.c_str() + line.find(' '), "%ld %ld %ld %ld", &view.rcItem.left,
                                      &view.rcItem.top, &view.rcItem.right, &view.rcItem.bottom) == 4;
        } else if (line.rfind("cmd ", 0) == 0) {
            unsigned nPosition = 0, uId = 0;
            if (std::sscanf(line.c_str(), "cmd %u %u", &nPosition, &uId) == 2 && nPosition < 18)
                view.aCmdID[nPosition] = uId;
        } else if (line.rfind("line ", 0) == 0) {
            PopupLine popupLine{};
            unsigned uFlags = 0;
            int nText = 0;
            if (std::sscanf(line.c_str(), "line %d %u %x %n", &popupLine.nDepth, &popupLine.uId, &uFlags, &nText) < 3)
                continue;
            popupLine.bSeparator = (uFlags & kSendItemLineSeparator) != 0;
            popupLine.bGrayed = (uFlags & kSendItemLineGrayed) != 0;
            popupLine.text = line.substr(static_cast<size_t>(nText));
            view.lines.push_back(popupLine);
        }
    }
    return view;
}

HWND OpenByClick(HWND hHost, const RECT& rcItem) {
    SetForegroundWindow(hHost);
    const int cxScreen = GetSystemMetrics(SM_CXSCREEN), cyScreen = GetSystemMetrics(SM_CYSCREEN);
    INPUT inputs[3] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = ((rcItem.left + rcItem.right) / 2) * 65535 / (cxScreen - 1);
        input.mi.dy = ((rcItem.top + rcItem.bottom) / 2) * 65535 / (cyScreen - 1);
        input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE;
    }
    inputs[0].mi.dwFlags |= MOUSEEVENTF_MOVE;
    inputs[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    inputs[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    SendInput(3, inputs, sizeof(INPUT));
    const DWORD dwThreadId = GetWindowThreadProcessId(hHost, nullptr);
    HWND hPopup = nullptr;
    e2e::WaitUntil([&] { return (hPopup = VisiblePopupOfThread(dwThreadId)) != nullptr; }, 3000);
    // Painted before it is pictured.
    Sleep(300);
    return hPopup;
}

void CloseMenus(HWND hHost) {
    const DWORD dwThreadId = GetWindowThreadProcessId(hHost, nullptr);
    for (int i = 0; i < 4 && VisiblePopupOfThread(dwThreadId) != nullptr; ++i) {
        Press(VK_ESCAPE);
        e2e::WaitUntil([&] { return VisiblePopupOfThread(dwThreadId) == nullptr; }, 500);
    }
    // Out of the menu bar's keyboard mode as well.
    Press(VK_ESCAPE);
}

}  // namespace demo
