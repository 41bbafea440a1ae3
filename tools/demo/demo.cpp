// A guided run of the send command on the installed suite, told in plain
// words: the controller installs the hook; sample hosts and two of Wine's own
// programs (notepad and wordpad) start and are served or left alone as the
// profile says; the send popup is opened in notepad and in the menu host, the
// button shown in the browser and Office hosts, and what each popup holds is
// listed; one print command from notepad's popup prints notepad's document
// through the send printer (a PDF queue of the print spooler), one mail
// command runs; the
// distributor's items are read and one is run; removing the hook gives every
// program its own window procedure back. Each scene leaves a picture.
//
//   pfcdemo <picture directory> <document for notepad>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "hook/module_lifetime.h"
#include "hook/base/shared_state.h"
#include "oem/oem.h"
#include "send/send_job.h"
#include "send_item_view.h"

namespace {

std::string g_pictureDir;
int g_nPicture = 0;

void Say(const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    std::vprintf(pszFormat, args);
    va_end(args);
    std::fputc('\n', stdout);
}

void Picture(const char* pszName, const RECT& rect) {
    char szFile[64];
    std::snprintf(szFile, sizeof szFile, "%02d-%s.png", ++g_nPicture, pszName);
    const bool bSaved = e2e::SaveScreenPicture(rect, g_pictureDir + "\\" + szFile);
    Say("   Picture: %s%s", szFile, bSaved ? "" : " could not be taken");
}

RECT Union(const RECT& a, const RECT& b) {
    RECT both;
    UnionRect(&both, &a, &b);
    return both;
}

RECT AroundWindow(HWND hWnd) {
    RECT rect = {};
    GetWindowRect(hWnd, &rect);
    InflateRect(&rect, 8, 8);
    return rect;
}

struct Program {
    const char* pszName;     // as the profile lists it
    const char* pszWhat;     // in plain words
    std::string command;
    std::unique_ptr<e2e::Process> process;
    HWND hWnd = nullptr;
    demo::HostState state;
};

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

const char* DescribeIndex(int nIndex) {
    switch (nIndex) {
        case 0: return "browser-type host: a send button in its tool bar";
        case 1: return "viewer host: a send menu once its menu passes the test";
        case 2: return "generic menu host: a send menu at the end of its menu bar";
        default:
            return nIndex >= 3 && nIndex <= 7 ? "Office-type host: a send button in its command bar"
                                              : "listed menu host: a send menu at the end of its menu bar";
    }
}

// The window's title in UTF-8, whatever code page the program uses.
std::string TitleOf(HWND hWnd) {
    wchar_t wszTitle[128] = {};
    GetWindowTextW(hWnd, wszTitle, 128);
    char szTitle[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, wszTitle, -1, szTitle, sizeof szTitle, nullptr, nullptr);
    return szTitle;
}

void ReportProgram(const Program& program, bool bAfterRemoval = false) {
    const std::string title = program.hWnd != nullptr ? TitleOf(program.hWnd) : std::string();
    const char* szTitle = title.c_str();
    if (program.hWnd == nullptr)
        Say("   %-16s %s: no window appeared", program.pszName, program.pszWhat);
    else if (program.state.bHooked)
        Say("   %-16s \"%s\": served by the send command, host index %d (%s)", program.pszName, szTitle,
            program.state.nIndex, DescribeIndex(program.state.nIndex));
    else if (bAfterRemoval)
        Say("   %-16s \"%s\": has its own window procedure back, no send item", program.pszName, szTitle);
    else
        Say("   %-16s \"%s\": left alone, it keeps its own window procedure", program.pszName, szTitle);
}

void ListPopup(const char* pszWhose, const demo::SendItemView& view) {
    if (!view.bValid) {
        Say("   %s has no send item to show.", pszWhose);
        return;
    }
    Say("   The send popup of %s holds:", pszWhose);
    for (const demo::PopupLine& line : view.lines) {
        if (line.bSeparator) {
            Say("     %*s----------", line.nDepth * 4, "");
            continue;
        }
        Say("     %*s%-40s %s%s", line.nDepth * 4, "", line.text.c_str(),
            line.uId != 0 ? ("command " + std::to_string(line.uId)).c_str() : "submenu",
            line.bGrayed ? ", greyed" : "");
    }
}

// Opens the send popup of a host by a click on its send item (the item at
// the end of its menu bar, or its send button), takes the picture with the
// popup open, and closes it again.
void ShowOpenedPopup(const char* pszWhose, const char* pszPicture, HWND hHost) {
    const demo::SendItemView view = demo::AskSendItem(hHost);
    const bool bButton = view.bValid && view.bButton;
    if (bButton)
        Say("   %s shows the send button in its tool bar at (%ld, %ld), %ld by %ld pixels.", pszWhose,
            view.rcItem.left, view.rcItem.top, view.rcItem.right - view.rcItem.left,
            view.rcItem.bottom - view.rcItem.top);
    ListPopup(pszWhose, view);
    if (!view.bValid) {
        Picture(pszPicture, AroundWindow(hHost));
        return;
    }
    const char* pszItem = bButton ? "the send button" : "the send item at the end of the menu bar";
    HWND hPopup = demo::OpenByClick(hHost, view.rcItem);
    if (hPopup == nullptr) {
        Say("   The popup did not open on a click of %s.", pszItem);
        Picture(pszPicture, AroundWindow(hHost));
        return;
    }
    Say("   A click on %s opened the popup.", pszItem);
    Picture(pszPicture, Union(AroundWindow(hHost), AroundWindow(hPopup)));
    demo::CloseMenus(hHost);
}

std::string DefaultPrinter() {
    char szDevice[260] = {};
    GetProfileStringA("windows", "device", "", szDevice, sizeof szDevice);
    return szDevice;
}

std::string CommandText(const demo::SendItemView& view, UINT uId) {
    for (const demo::PopupLine& line : view.lines)
        if (line.uId == uId) return line.text;
    return "command " + std::to_string(uId);
}

// Closes what the host shows while its Print command runs (its print dialog,
// a message), each by its Cancel or OK button, and says what it was.
void CloseHostDialogs(DWORD dwProcessId) {
    for (int i = 0; i < 3; ++i) {
        HWND hDialog = e2e::WaitForDialogWithText(dwProcessId, i == 0 ? 0 : 1500);
        if (hDialog == nullptr) return;
        char szTitle[128] = {};
        GetWindowTextA(hDialog, szTitle, sizeof szTitle);
        Say("   The host shows \"%s\" (%s); the demo closes it.", szTitle, e2e::DialogText(hDialog).c_str());
        PostMessageA(hDialog, WM_COMMAND, GetDlgItem(hDialog, IDCANCEL) != nullptr ? IDCANCEL : IDOK, 0);
        e2e::WaitUntil([&] { return !IsWindow(hDialog); }, 5000);
    }
}

// The host's Print shows its print dialog while the send printer is the
// default; the demo presses its Print button, as a person would.
void PrintFromPopup(const Program& host, const demo::SendItemView& view) {
    const UINT uId = view.aCmdID[0];
    if (uId == 0) {
        Say("   The popup has no print command.");
        return;
    }
    const std::string before = DefaultPrinter();
    Say("   Before: the default printer is \"%s\".", before.c_str());
    Say("   Picking \"%s\" from the send popup.", CommandText(view, uId).c_str());
    PostMessageA(host.hWnd, WM_COMMAND, uId, 0);
    // The host's own Print runs while the send printer is the default: the
    // host shows its print dialog then, and the default is read meanwhile.
    HWND hDialog = e2e::WaitForDialogWithText(host.process->Id(), 15000);
    Say("   During: the host runs its own Print command; the default printer is \"%s\".", DefaultPrinter().c_str());
    if (hDialog != nullptr) {
        Picture("notepad-printing", Union(AroundWindow(host.hWnd), AroundWindow(hDialog)));
        char szTitle[128] = {};
        GetWindowTextA(hDialog, szTitle, sizeof szTitle);
        Say("   The host shows \"%s\"; the demo presses its Print button.", szTitle);
        PostMessageA(hDialog, WM_COMMAND, IDOK, 0);
        e2e::WaitUntil([&] { return !IsWindow(hDialog); }, 10000);
    }
    CloseHostDialogs(host.process->Id());
    e2e::WaitUntil([&] { return DefaultPrinter() == before; }, 10000);
    Say("   After: the default printer is \"%s\"%s.", DefaultPrinter().c_str(),
        DefaultPrinter() == before ? " again" : ", not the one from before");
}

// The job file named on the sending program's command line.
std::string JobFileOf(const std::string& commandLine) {
    const size_t nAt = commandLine.find(send::kJobFilePrefix);
    if (nAt == std::string::npos) return std::string();
    size_t nStart = commandLine.find_last_of(" \"", nAt);
    nStart = nStart == std::string::npos ? 0 : nStart + 1;
    const size_t nEnd = commandLine.find_first_of(" \"", nAt);
    return commandLine.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
}

void MailFromPopup(const Program& host, const demo::SendItemView& view) {
    const UINT uId = view.aCmdID[5];
    if (uId == 0) {
        Say("   The popup has no mail command.");
        return;
    }
    e2e::ClearStandinLog();
    Say("   Picking \"%s\" from the send popup.", CommandText(view, uId).c_str());
    PostMessageA(host.hWnd, WM_COMMAND, uId, 0);
    std::vector<std::string> log;
    if (!e2e::WaitUntil([&] { return !(log = e2e::ReadStandinLog()).empty(); }, 15000)) {
        Say("   No suite program was started.");
        CloseHostDialogs(host.process->Id());
        return;
    }
    for (const std::string& line : log) {
        Say("   The sending program's stand-in logs: %s", line.c_str());
        const std::string job = JobFileOf(line);
        if (job.empty()) continue;
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (GetFileAttributesExA(job.c_str(), GetFileExInfoStandard, &data))
            Say("   The job file %s holds %lu bytes.", job.c_str(), data.nFileSizeLow);
        else
            Say("   The job file %s is not there (any more).", job.c_str());
    }
}

void ShowDistributorItems() {
    Say("\n9. The distributor's items, from resource 27170 of PavRes32.dll:");
    HMENU hBar = LoadMenuA(g_hResourceModule, MAKEINTRESOURCEA(IDM_SEND_MENU));
    HMENU hPopup = hBar != nullptr ? GetSubMenu(hBar, 0) : nullptr;
    if (hPopup == nullptr) {
        Say("   menu 27021 was not found in the resource module");
        return;
    }
    InsertOemMenuItems(&OemMenuSet, hPopup);
    // The placeholder only marks where the items go; the popup builder
    // deletes it after the insertion.
    DeleteMenu(hPopup, IDM_OEM_PLACEHOLDER, MF_BYCOMMAND);
    HMENU hItems = FindMenuWithCommand(hPopup, IDM_EXTRA_FIRST);
    UINT uRunId = 0;
    for (int i = 0; hItems != nullptr && i < GetMenuItemCount(hItems); ++i) {
        char szText[128] = {};
        GetMenuStringA(hItems, static_cast<UINT>(i), szText, sizeof szText, MF_BYPOSITION);
        const UINT uId = GetMenuItemID(hItems, i);
        if (uId == 0 && szText[0] == '\0') {
            Say("   ----------");
            continue;
        }
        const char* pszCommand = GetOemCommandText(&OemMenuSet, uId);
        Say("   %u  %-24s -> %s", uId, szText, pszCommand != nullptr ? pszCommand : "(the template's own)");
        if (uRunId == 0 && pszCommand != nullptr && std::string(pszCommand).find(".exe") != std::string::npos)
            uRunId = uId;
    }
    DestroyMenu(hBar);
    if (uRunId == 0) return;
    e2e::ClearStandinLog();
    Say("Picking item %u runs its command; the suite program it names logs:", uRunId);
    RunOemCommand(nullptr, uRunId);
    std::vector<std::string> log;
    e2e::WaitUntil([&] { return !(log = e2e::ReadStandinLog()).empty(); }, 10000);
    for (const std::string& line : log) Say("   %s", line.c_str());
    if (log.empty()) Say("   (nothing was logged)");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pfcdemo <picture directory> <document for notepad>\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IONBF, 0);
    g_pictureDir = argv[1];

    Say("1. The suite's controller installs the shell hook (pfcctl --hook).");
    e2e::ControllerSession controller;
    if (!controller.Installed()) {
        Say("   The hook did not come up; nothing more to show.");
        return 1;
    }
    Say("   Installed: the mutex \"VXPFCWSetHooking\" exists.");

    // Every suite program any host starts logs to the one file the demo reads.
    SetEnvironmentVariableA("PFC_STANDIN_LOG", e2e::StandinLogPath().c_str());
    Say("\n2. Programs start; the profile decides which get the send command.");
    std::vector<Program> programs;
    auto add = [&](const char* pszName, const char* pszWhat, std::string command) {
        programs.push_back({pszName, pszWhat, std::move(command), nullptr, nullptr, {}});
    };
    add("PFCMENUHOST.EXE", "menu-bar sample host", Quoted(e2e::BuildPath("tools/hosts/PFCMENUHOST.exe")));
    add("PFCBROWSE.EXE", "browser-like sample host", Quoted(e2e::BuildPath("tools/hosts/PFCBROWSE.exe")));
    add("PFCVIEWER.EXE", "viewer sample host", Quoted(e2e::BuildPath("tools/hosts/PFCVIEWER.exe")));
    add("PFCOFFICE.EXE", "Office-like sample host", Quoted(e2e::BuildPath("tools/hosts/PFCOFFICE.exe")));
    add("PFCWIDE.EXE", "Unicode sample host", Quoted(e2e::BuildPath("tools/hosts/PFCWIDE.exe")));
    add("OTHERHOST.EXE", "a program no include entry names", Quoted(e2e::BuildPath("tools/hosts/OTHERHOST.exe")));
    add("NOTEPAD.EXE", "Wine's notepad", "notepad.exe " + Quoted(argv[2]));
    // Wordpad is on no path. "C:\Program Files\Windows NT\Accessories" holds
    // the 64-bit one, which only a 64-bit hook reaches; the hook installed here
    // is the 32-bit module's, so the 32-bit copy of the same program is started.
    add("WORDPAD.EXE", "Wine's wordpad",
        Quoted(sizeof(void*) == 8 ? "C:\\Program Files\\Windows NT\\Accessories\\wordpad.exe"
                                  : "C:\\Program Files (x86)\\Windows NT\\Accessories\\wordpad.exe"));
    for (Program& program : programs) program.process = std::make_unique<e2e::Process>(program.command);
    int nTile = 0;
    for (Program& program : programs) {
        program.hWnd = program.process->WaitForMainWindow(20000);
        program.state = demo::WaitForHostState(program.hWnd, program.pszName);
        ReportProgram(program);
        // Side by side, so that one picture shows every program.
        if (program.hWnd != nullptr)
            SetWindowPos(program.hWnd, nullptr, (nTile % 4) * 320, (nTile / 4) * 400, 315, 390,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        ++nTile;
    }
    Sleep(500);
    Picture("programs", {0, 0, GetSystemMetrics(SM_CXSCREEN), 800});

    auto find = [&](const char* pszName) -> Program& {
        for (Program& program : programs)
            if (std::string(program.pszName) == pszName) return program;
        return programs.front();
    };
    Program& notepad = find("NOTEPAD.EXE");
    Program& wordpad = find("WORDPAD.EXE");
    Program& menuHost = find("PFCMENUHOST.EXE");

    Say("\n3. Notepad: the send popup, opened.");
    SetWindowPos(notepad.hWnd, HWND_TOP, 40, 40, 560, 420, SWP_SHOWWINDOW);
    ShowOpenedPopup("notepad", "notepad-popup", notepad.hWnd);

    const demo::SendItemView notepadView = demo::AskSendItem(notepad.hWnd);
    Say("\n4. Notepad: one print command from its send popup.");
    PrintFromPopup(notepad, notepadView);
    Say("\n5. Notepad: the mail command from its send popup.");
    MailFromPopup(notepad, notepadView);

    Say("\n6. Wordpad: what it gets.");
    SetWindowPos(wordpad.hWnd, HWND_TOP, 40, 40, 700, 460, SWP_SHOWWINDOW);
    ShowOpenedPopup("wordpad", "wordpad-popup", wordpad.hWnd);

    Say("\n7. The menu-bar sample host: the send popup, opened.");
    SetWindowPos(menuHost.hWnd, HWND_TOP, 40, 40, 520, 380, SWP_SHOWWINDOW);
    ShowOpenedPopup("the menu-bar sample host", "menu-host-popup", menuHost.hWnd);

    Say("\n8. The browser-like and Office-like sample hosts: the send button.");
    Program& browser = find("PFCBROWSE.EXE");
    SetWindowPos(browser.hWnd, HWND_TOP, 40, 40, 640, 400, SWP_SHOWWINDOW);
    ShowOpenedPopup("the browser-like host", "browser-button", browser.hWnd);
    Program& office = find("PFCOFFICE.EXE");
    SetWindowPos(office.hWnd, HWND_TOP, 40, 40, 640, 400, SWP_SHOWWINDOW);
    ShowOpenedPopup("the Office-like host", "office-button", office.hWnd);

    // This process runs the module's start-up itself to read the
    // distributor's set exactly as a host process does. The start-up takes
    // the resource module from the folder of the module it runs for: the
    // installed one, which the hook has loaded here already.
    const std::string installedModule = e2e::InstalledModule("PVPFCW32.dll");
    HMODULE hInstalled = LoadLibraryA(installedModule.c_str());
    OnModuleLoad(hInstalled);
    if (hInstalled != nullptr && StartModuleInProcess()) {
        ShowDistributorItems();
        ExitModuleInProcess();
    } else {
        Say("\n9. The distributor's items cannot be read here: %s or its resource module PavRes32.dll beside it "
            "did not load (error %lu).",
            installedModule.c_str(), GetLastError());
    }
    if (hInstalled != nullptr) FreeLibrary(hInstalled);

    Say("\n10. The controller removes the hook (pfcctl --unhook).");
    controller.Unhook();
    Say("   Removed: the mutex %s.", e2e::HookMutexExists() ? "still exists" : "is gone");
    for (Program& program : programs) {
        if (program.hWnd == nullptr) continue;
        e2e::WaitUntil([&] { return !demo::AskHostState(program.hWnd).bHooked; }, 10000);
        program.state = demo::AskHostState(program.hWnd);
        ReportProgram(program, true);
    }
    OnModuleUnload();
    return 0;
}
