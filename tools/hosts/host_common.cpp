#include "host_common.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host_report.h"
#include "hook/base/hook_names.h"

namespace host {
namespace {

HWND g_hSecondWnd = nullptr;

// Where the Print command writes: "--log=<path>" or the variable PFC_HOST_LOG.
std::string LogPath() {
    const char* pszCommandLine = GetCommandLineA();
    const char* pszLog = std::strstr(pszCommandLine, "--log=");
    if (pszLog != nullptr) {
        pszLog += 6;
        std::string path;
        const bool bQuoted = *pszLog == '"';
        if (bQuoted) ++pszLog;
        while (*pszLog != '\0' && (bQuoted ? *pszLog != '"' : *pszLog != ' ')) path += *pszLog++;
        return path;
    }
    char szPath[MAX_PATH] = {};
    if (GetEnvironmentVariableA("PFC_HOST_LOG", szPath, MAX_PATH) > 0) return szPath;
    return std::string();
}

void AppendToLog(const char* pszWhat, const char* pszText) {
    const std::string path = LogPath();
    if (path.empty()) return;
    FILE* pFile = std::fopen(path.c_str(), "a");
    if (pFile == nullptr) return;
    std::fprintf(pFile, "%s %s\n", pszWhat, pszText);
    std::fclose(pFile);
}

// A number given as "--name=<number>" on the command line, or 0.
unsigned SwitchNumber(const char* pszSwitch) {
    const char* pszFound = std::strstr(GetCommandLineA(), pszSwitch);
    return pszFound != nullptr ? static_cast<unsigned>(std::strtoul(pszFound + std::strlen(pszSwitch), nullptr, 10))
                               : 0;
}

// "--print-page=<title>": the document goes to the default printer as a job
// of that title, one page with the document's text, as a real program prints.
void PrintPage(const char* pszDevice) {
    const char* pszSwitch = std::strstr(GetCommandLineA(), "--print-page=");
    if (pszSwitch == nullptr) return;
    pszSwitch += std::strlen("--print-page=");
    const std::string title(pszSwitch, std::strcspn(pszSwitch, " "));
    // GDI takes a printer by its name alone.
    const std::string printer(pszDevice, std::strcspn(pszDevice, ","));
    HDC hDC = CreateDCA(nullptr, printer.c_str(), nullptr, nullptr);
    if (hDC == nullptr) {
        AppendToLog("PAGE-FAILED", printer.c_str());
        return;
    }
    DOCINFOA doc{};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = title.c_str();
    bool bPrinted = false;
    if (StartDocA(hDC, &doc) > 0 && StartPage(hDC) > 0) {
        const int nPoint = GetDeviceCaps(hDC, LOGPIXELSY) / 72;
        HFONT hFont = CreateFontA(-14 * nPoint, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
        HGDIOBJ hOld = SelectObject(hDC, hFont);
        const std::string lines[] = {kDocumentText, title};
        int y = 72 * nPoint;
        for (const std::string& line : lines) {
            TextOutA(hDC, 72 * nPoint, y, line.c_str(), static_cast<int>(line.size()));
            y += 24 * nPoint;
        }
        SelectObject(hDC, hOld);
        DeleteObject(hFont);
        bPrinted = EndPage(hDC) > 0 && EndDoc(hDC) > 0;
    }
    if (!bPrinted) AbortDoc(hDC);
    DeleteDC(hDC);
    AppendToLog(bPrinted ? "PAGE" : "PAGE-FAILED", printer.c_str());
}

// The host's own Print: what matters to the tests is which printer was the
// default at the moment it ran. "--print-delay=<ms>" makes it take that long
// (a real Print command renders pages); "--print-fault" makes it crash after
// recording, as a faulty host would.
void Print() {
    char szDevice[260] = {};
    GetProfileStringA("windows", "device", "", szDevice, sizeof szDevice);
    AppendToLog("PRINT", szDevice);
    PrintPage(szDevice);
    Sleep(SwitchNumber("--print-delay="));
    if (HasSwitch("--print-fault")) *static_cast<volatile int*>(nullptr) = 1;
}

bool ProcLiesInModule(LONG_PTR lProc) {
    HMODULE hModule = nullptr;
    if (lProc == 0 ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(lProc), &hModule))
        return false;
    char szPath[MAX_PATH] = {};
    GetModuleFileNameA(hModule, szPath, MAX_PATH);
    const char* pszName = std::strrchr(szPath, '\\');
    return lstrcmpiA(pszName != nullptr ? pszName + 1 : szPath, "PVPFCW32.dll") == 0;
}

BOOL CALLBACK FindSendButton(HWND hChild, LPARAM lParam) {
    char szClass[32] = {};
    GetClassNameA(hChild, szClass, sizeof szClass);
    if (std::strcmp(szClass, kSendButtonClass) != 0) return TRUE;
    *reinterpret_cast<bool*>(lParam) = true;
    return FALSE;
}

// The send popup is the last item of the menu bar, and its first command
// lies in the module's range of identifiers.
int SendItemOf(HWND hWnd) {
    bool bButton = false;
    EnumChildWindows(hWnd, FindSendButton, reinterpret_cast<LPARAM>(&bButton));
    if (bButton) return host_report::kSendButton;
    HMENU hMenu = GetMenu(hWnd);
    const int nItems = hMenu != nullptr ? GetMenuItemCount(hMenu) : 0;
    HMENU hLast = nItems > 0 ? GetSubMenu(hMenu, nItems - 1) : nullptr;
    if (hLast == nullptr) return 0;
    const UINT uFirst = GetMenuItemID(hLast, 0);
    return uFirst >= 12663 && uFirst < 12700 ? GetMenuItemCount(hLast) : 0;
}

LRESULT Report(HWND hWnd, WPARAM wAsk) {
    if (wAsk == host_report::kAskSendItem) return host_report::kValid | SendItemOf(hWnd);
    LRESULT lAnswer = host_report::kValid;
    // Read both ways: a procedure put in with the other variant reads back as
    // a conversion stub.
    if (ProcLiesInModule(GetWindowLongPtrA(hWnd, GWLP_WNDPROC)) ||
        ProcLiesInModule(GetWindowLongPtrW(hWnd, GWLP_WNDPROC)))
        lAnswer |= host_report::kProcInModule;
    if (GetModuleHandleA("PVPFCW32.dll") != nullptr) lAnswer |= host_report::kModuleInProcess;
    static const UINT uQuery = RegisterWindowMessageA(kTestQueryMessageName);
    const LRESULT lModule = SendMessageA(hWnd, uQuery, wAsk, 0);
    if ((lModule & 0x7F000000) == 0x40000000) lAnswer |= host_report::kModuleAnswered | (lModule & 0x00FFFFFF);
    return lAnswer;
}

}  // namespace

bool HasSwitch(const char* pszSwitch) { return std::strstr(GetCommandLineA(), pszSwitch) != nullptr; }

HMENU CreateHostMenu() {
    HMENU hMenu = CreateMenu();
    HMENU hFile = CreatePopupMenu();
    AppendMenuA(hFile, MF_STRING, kIdPrint, "&Print...\tCtrl+P");
    AppendMenuA(hFile, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(hFile, MF_STRING, kIdExit, "E&xit");
    AppendMenuA(hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(hFile), "&File");
    return hMenu;
}

bool HandleCommonMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) {
    switch (uMsg) {
        case WM_WININICHANGE:
            // Recorded, and left to the default handling.
            if (lParam == 0) {
                AppendToLog("WININICHANGE", "");
            } else if (IsWindowUnicode(hWnd)) {
                char szSection[64] = {};
                WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(lParam), -1, szSection,
                                    sizeof szSection, nullptr, nullptr);
                AppendToLog("WININICHANGE", szSection);
            } else {
                AppendToLog("WININICHANGE", reinterpret_cast<const char*>(lParam));
            }
            return false;
        case WM_COMMAND:
            if (LOWORD(wParam) == kIdPrint) {
                Print();
                *plResult = 0;
                return true;
            }
            if (LOWORD(wParam) == kIdExit) {
                DestroyWindow(hWnd);
                *plResult = 0;
                return true;
            }
            return false;
        case host_report::kReportMessage:
            *plResult = Report(hWnd, wParam);
            return true;
        case host_report::kOpenSecondWindow:
            if (g_hSecondWnd == nullptr) {
                char szClass[64] = {};
                GetClassNameA(hWnd, szClass, sizeof szClass);
                RegisterPlainClass("PfcHostSecond");
                g_hSecondWnd =
                    CreateWindowExA(0, "PfcHostSecond", "Second window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 300,
                                    200, nullptr, CreateHostMenu(), GetModuleHandleA(nullptr), nullptr);
            }
            *plResult = reinterpret_cast<LRESULT>(g_hSecondWnd);
            return true;
        case host_report::kCloseSecondWindow:
            if (g_hSecondWnd != nullptr) DestroyWindow(g_hSecondWnd);
            g_hSecondWnd = nullptr;
            *plResult = 0;
            return true;
        case WM_DESTROY:
            if (g_hSecondWnd != nullptr) DestroyWindow(g_hSecondWnd);
            g_hSecondWnd = nullptr;
            PostQuitMessage(0);
            *plResult = 0;
            return true;
        default:
            return false;
    }
}

namespace {

ATOM RegisterHostClass(const char* pszClass, WNDPROC pfnWndProc) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = pfnWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = pszClass;
    return RegisterClassA(&wc);
}

}  // namespace

void RegisterPlainClass(const char* pszClass) { RegisterHostClass(pszClass, DefWindowProcA); }

namespace {

constexpr UINT_PTR kShowLaterTimer = 0x5F1;
constexpr UINT kShowLaterMs = 300;

void CALLBACK ShowNow(HWND hWnd, UINT, UINT_PTR uTimerId, DWORD) {
    KillTimer(hWnd, uTimerId);
    ShowWindow(hWnd, SW_SHOWNORMAL);
}

}  // namespace

HWND CreateMainWindow(const char* pszClass, WNDPROC pfnWndProc, const char* pszTitle, int cx, int cy, HMENU hMenu) {
    if (RegisterHostClass(pszClass, pfnWndProc) == 0) return nullptr;
    // "--show-later": created hidden and shown a moment later, as many
    // programs do with their main window.
    const bool bShowLater = HasSwitch("--show-later");
    HWND hWnd = CreateWindowExA(0, pszClass, pszTitle, WS_OVERLAPPEDWINDOW | (bShowLater ? 0 : WS_VISIBLE),
                                CW_USEDEFAULT, CW_USEDEFAULT, cx, cy, nullptr, hMenu, GetModuleHandleA(nullptr), nullptr);
    if (hWnd != nullptr && bShowLater) SetTimer(hWnd, kShowLaterTimer, kShowLaterMs, ShowNow);
    return hWnd;
}

int RunMessageLoop(HWND hMainWnd) {
    ACCEL accel{FCONTROL | FVIRTKEY, 'P', static_cast<WORD>(kIdPrint)};
    HACCEL hAccel = CreateAcceleratorTableA(&accel, 1);
    const bool bCrashOnRequest = HasSwitch("--crash-on-request");
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (bCrashOnRequest && msg.message == host_report::kCrashNow) *static_cast<volatile int*>(nullptr) = 1;
        if (TranslateAcceleratorA(hMainWnd, hAccel, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DestroyAcceleratorTable(hAccel);
    return static_cast<int>(msg.wParam);
}

}  // namespace host
