// The send item seen from outside: with the controller's hook in place, the
// sample hosts show the send popup at the end of their menu bar or a send
// button in their tool bar, and a distributor's item chosen in a hooked host
// really starts its program (seen in the stand-ins' log).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "../../tools/hosts/host_report.h"
#include "e2e_support.h"
#include "hook/base/send_command_table.h"

namespace {

int SendItemOf(HWND hWnd) {
    DWORD_PTR dwResult = 0;
    if (!SendMessageTimeoutA(hWnd, host_report::kReportMessage, host_report::kAskSendItem, 0, SMTO_ABORTIFHUNG, 5000,
                             &dwResult))
        return -1;
    return (dwResult & host_report::kValid) ? host_report::Value(static_cast<LRESULT>(dwResult)) : -1;
}

// The installed suite offers every command: four print commands, the
// messages group and the options group.
constexpr int kFullPopupItems = 6;
// The distributor's second item of the installed set opens the sending
// program's stand-in; no sample host uses identifiers near it.
constexpr UINT kOemSecondItem = SendCommandAt(kCmdFirstExtra + 1).uBaseId;

struct HostCase {
    const char* pszProgram;
    int nExpected;
};

TEST(SendItemE2E, EachHostKindShowsItsItemAndAnItemStartsItsProgram) {
    e2e::ControllerSession controller;
    ASSERT_TRUE(controller.Installed());
    e2e::ClearStandinLog();
    const HostCase cases[] = {{"PFCMENUHOST", kFullPopupItems},
                              {"PFCBROWSE", host_report::kSendButton},
                              {"PFCOFFICE", host_report::kSendButton}};
    std::vector<std::unique_ptr<e2e::Process>> processes;
    for (const HostCase& c : cases)
        processes.push_back(std::make_unique<e2e::Process>("\"" + e2e::BuildPath(std::string("tools/hosts/") + c.pszProgram + ".exe") + "\""));

    std::vector<HWND> windows;
    for (size_t i = 0; i < processes.size(); ++i) {
        HWND hWnd = processes[i]->WaitForMainWindow(20000);
        ASSERT_NE(hWnd, nullptr) << cases[i].pszProgram;
        // Side by side, as a person arranges them: the pictures are taken of
        // the screen. The new size makes the host look at its item again.
        SetWindowPos(hWnd, HWND_TOP, static_cast<int>(i) * 420, 0, 410, 360, SWP_SHOWWINDOW);
        windows.push_back(hWnd);
    }
    for (size_t i = 0; i < windows.size(); ++i) {
        // A button comes with the first refresh, a moment after the window.
        EXPECT_TRUE(e2e::WaitUntil([&] { return SendItemOf(windows[i]) == cases[i].nExpected; }, 10000))
            << cases[i].pszProgram << " shows " << SendItemOf(windows[i]);
    }

    // What a person sees, in the build tree for people to look at: the
    // buttons, and the menu host with its send popup opened.
    EXPECT_TRUE(e2e::WaitForSteadyPicture(windows[1], 5000) && e2e::WaitForSteadyPicture(windows[2], 5000));
    EXPECT_TRUE(e2e::SaveWindowPicture(windows[1], e2e::BuildPath("tests/e2e/send-item-browser-host.png")));
    EXPECT_TRUE(e2e::SaveWindowPicture(windows[2], e2e::BuildPath("tests/e2e/send-item-office-host.png")));
    HWND hMenuHost = windows[0];
    EXPECT_TRUE(e2e::OpenLastMenuOfMenuBar(hMenuHost, 20000)) << "the send popup opens from the keyboard";
    EXPECT_TRUE(e2e::WaitForSteadyPicture(hMenuHost, 5000));
    EXPECT_TRUE(e2e::SaveWindowPicture(hMenuHost, e2e::BuildPath("tests/e2e/send-item-menu-host.png")));
    for (int i = 0; i < 3; ++i) PostMessageA(hMenuHost, WM_KEYDOWN, VK_ESCAPE, 0);

    PostMessageA(hMenuHost, WM_COMMAND, MAKEWPARAM(kOemSecondItem, 0), 0);
    const bool bStarted = e2e::WaitUntil(
        [] {
            const std::vector<std::string> log = e2e::ReadStandinLog();
            return std::any_of(log.begin(), log.end(),
                               [](const std::string& line) { return line.find("Yarrow.exe") != std::string::npos; });
        },
        15000);
    EXPECT_TRUE(bStarted);
}

}  // namespace
