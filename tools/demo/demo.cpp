// A guided run of the send command on the installed suite: the controller
// installs the hook, sample hosts start and are served or left alone as the
// profile says, the distributor's items are read from the resource module
// and one of them is run, a picture of the desktop is taken, and removing the
// hook gives every host its own window procedure back.
//
//   pfcdemo <screenshot.bmp>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../hosts/host_report.h"
#include "e2e_support.h"
#include "hook/module_lifetime.h"
#include "hook/shared_state.h"
#include "oem/oem.h"

namespace {

const char* DescribeIndex(int nIndex) {
    switch (nIndex) {
        case 0: return "browser-type host: a button in its tool bar";
        case 1: return "viewer host: a menu item once its menu passes the test";
        case 2: return "generic menu host: the send menu at the end of its menu bar";
        default: return nIndex >= 3 && nIndex <= 7 ? "Office-type host: a button in its command bar" : "listed menu host";
    }
}

void ReportHost(const char* pszName, HWND hWnd) {
    DWORD_PTR dwAnswer = 0;
    char szTitle[128] = {};
    GetWindowTextA(hWnd, szTitle, sizeof szTitle);
    if (hWnd == nullptr ||
        !SendMessageTimeoutA(hWnd, host_report::kReportMessage, host_report::kAskIdentity, 0, SMTO_ABORTIFHUNG, 5000,
                             &dwAnswer)) {
        std::printf("  %-28s no answer\n", pszName);
        return;
    }
    const LRESULT lAnswer = static_cast<LRESULT>(dwAnswer);
    if (host_report::Hooked(lAnswer) && host_report::ProcInModule(lAnswer))
        std::printf("  %-28s \"%s\": subclassed by PVPFCW32.dll, host index %d (%s)\n", pszName, szTitle,
                    host_report::Value(lAnswer), DescribeIndex(host_report::Value(lAnswer)));
    else
        std::printf("  %-28s \"%s\": left alone, its own window procedure\n", pszName, szTitle);
}

bool SaveScreenshot(const char* pszPath) {
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    HDC hScreen = GetDC(nullptr);
    HDC hMemory = CreateCompatibleDC(hScreen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* pBits = nullptr;
    HBITMAP hBitmap = CreateDIBSection(hScreen, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    bool bSaved = false;
    if (hBitmap != nullptr) {
        HGDIOBJ hOld = SelectObject(hMemory, hBitmap);
        BitBlt(hMemory, 0, 0, cx, cy, hScreen, 0, 0, SRCCOPY);
        SelectObject(hMemory, hOld);
        const DWORD cbRow = (static_cast<DWORD>(cx) * 3 + 3) & ~3u;
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + cbRow * cy;
        HANDLE hFile = CreateFileA(pszPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (hFile != INVALID_HANDLE_VALUE) {
            DWORD cb = 0;
            bSaved = WriteFile(hFile, &file, sizeof file, &cb, nullptr) &&
                     WriteFile(hFile, &info.bmiHeader, sizeof info.bmiHeader, &cb, nullptr) &&
                     WriteFile(hFile, pBits, cbRow * cy, &cb, nullptr);
            CloseHandle(hFile);
        }
        DeleteObject(hBitmap);
    }
    DeleteDC(hMemory);
    ReleaseDC(nullptr, hScreen);
    return bSaved;
}

void ShowDistributorItems() {
    std::printf("\nThe distributor's items, from resource 27170 of PavRes32.dll, in the send popup:\n");
    HMENU hBar = LoadMenuA(g_hResourceModule, MAKEINTRESOURCEA(27021));
    HMENU hPopup = hBar != nullptr ? GetSubMenu(hBar, 0) : nullptr;
    if (hPopup == nullptr) {
        std::printf("  menu 27021 not found\n");
        return;
    }
    InsertOemMenuItems(&OemMenuSet, hPopup);
    // The placeholder only marks where the items go; the popup builder
    // deletes it after the insertion.
    DeleteMenu(hPopup, kOemPlaceholderId, MF_BYCOMMAND);
    HMENU hItems = FindMenuWithCommand(hPopup, kOemFirstCommandId);
    UINT uRunId = 0;
    for (int i = 0; hItems != nullptr && i < GetMenuItemCount(hItems); ++i) {
        char szText[128] = {};
        GetMenuStringA(hItems, static_cast<UINT>(i), szText, sizeof szText, MF_BYPOSITION);
        const UINT uId = GetMenuItemID(hItems, i);
        if (uId == 0 && szText[0] == '\0') {
            std::printf("  ----------\n");
            continue;
        }
        const char* pszCommand = GetOemCommandText(&OemMenuSet, uId);
        std::printf("  %u  %-24s -> %s\n", uId, szText, pszCommand != nullptr ? pszCommand : "(the template's own)");
        if (uRunId == 0 && pszCommand != nullptr && std::string(pszCommand).find(".exe") != std::string::npos)
            uRunId = uId;
    }
    DestroyMenu(hBar);
    if (uRunId == 0) return;
    e2e::ClearStandinLog();
    std::printf("Picking item %u runs its command; the suite program it names logs:\n", uRunId);
    RunOemCommand(nullptr, uRunId);
    std::vector<std::string> log;
    e2e::WaitUntil([&] { return !(log = e2e::ReadStandinLog()).empty(); }, 10000);
    for (const std::string& line : log) std::printf("  %s\n", line.c_str());
    if (log.empty()) std::printf("  (nothing)\n");
}

std::string Program(const char* pszRelative) { return "\"" + e2e::BuildPath(pszRelative) + "\""; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pfcdemo <screenshot.bmp>\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IONBF, 0);

    std::printf("Installing the shell hook with the suite's controller (pfcctl --hook)...\n");
    e2e::ControllerSession controller;
    if (!controller.Installed()) {
        std::printf("the hook did not come up\n");
        return 1;
    }
    std::printf("Hook installed: the mutex \"VXPFCWSetHooking\" exists.\n\nStarting sample programs:\n");

    struct Host {
        const char* pszName;
        std::unique_ptr<e2e::Process> process;
        HWND hWnd;
    };
    std::vector<Host> hosts;
    for (auto [pszName, pszProgram] : std::vector<std::pair<const char*, const char*>>{
             {"PFCMENUHOST.EXE", "tools/hosts/PFCMENUHOST.exe"},
             {"PFCBROWSE.EXE", "tools/hosts/PFCBROWSE.exe"},
             {"PFCVIEWER.EXE", "tools/hosts/PFCVIEWER.exe"},
             {"PFCOFFICE.EXE", "tools/hosts/PFCOFFICE.exe"},
             {"PFCWIDE.EXE (Unicode)", "tools/hosts/PFCWIDE.exe"},
             {"OTHERHOST.EXE (not included)", "tools/hosts/OTHERHOST.exe"}})
        hosts.push_back({pszName, std::make_unique<e2e::Process>(Program(pszProgram)), nullptr});
    int nTile = 0;
    for (Host& host : hosts) {
        host.hWnd = host.process->WaitForMainWindow(20000);
        ReportHost(host.pszName, host.hWnd);
        // Side by side, so that the picture shows every program.
        if (host.hWnd != nullptr)
            SetWindowPos(host.hWnd, nullptr, (nTile % 3) * 425, (nTile / 3) * 340, 420, 330,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        ++nTile;
    }

    // This process runs the module's start-up itself to read the
    // distributor's set exactly as a host process does.
    OnModuleLoad(GetModuleHandleA(nullptr));
    if (StartModuleInProcess()) {
        ShowDistributorItems();
        ExitModuleInProcess();
    } else {
        std::printf("\nThe module did not start in this process.\n");
    }

    std::printf("\nScreenshot of the desktop: %s\n", SaveScreenshot(argv[1]) ? argv[1] : "(failed)");

    std::printf("\nRemoving the hook (pfcctl --unhook)...\n");
    controller.Unhook();
    std::printf("Hook removed: the mutex %s.\n", e2e::HookMutexExists() ? "still exists" : "is gone");
    for (Host& host : hosts) {
        e2e::WaitUntil(
            [&] {
                DWORD_PTR dwAnswer = 0;
                return SendMessageTimeoutA(host.hWnd, host_report::kReportMessage, host_report::kAskIdentity, 0,
                                           SMTO_ABORTIFHUNG, 2000, &dwAnswer) &&
                       !host_report::ProcInModule(static_cast<LRESULT>(dwAnswer));
            },
            10000);
        ReportHost(host.pszName, host.hWnd);
    }
    OnModuleUnload();
    return 0;
}
