// Hooking seen from outside: with the controller's hook in place, each sample
// host started afterwards has its main window subclassed with the host index
// its profile entry gives it, or is left alone; removing the hook gives every
// window its own procedure back; a closed window takes its record with it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../../tools/hosts/host_report.h"
#include "e2e_support.h"
#include "hook/base/hook_names.h"

namespace {

constexpr int kNotHooked = -1;

LRESULT AskHost(HWND hWnd, WPARAM wAsk) {
    DWORD_PTR dwResult = 0;
    if (!SendMessageTimeoutA(hWnd, host_report::kReportMessage, wAsk, 0, SMTO_ABORTIFHUNG, 5000, &dwResult)) return 0;
    return static_cast<LRESULT>(dwResult);
}

struct HostCase {
    const char* pszProgram;
    const char* pszSwitches;
    int nIndex;  // kNotHooked: the window keeps its own procedure
};

// Host indices follow the order of [PFCModules] in the installed profile:
// PFCBROWSE 0, PFCVIEWER 1, PFCMENUHOST 2, PFCOFFICE 3; the include entry
// "(PFC)" takes in every sample host but OTHERHOST.
const HostCase kHosts[] = {
    {"PFCMENUHOST", "", 2},
    {"PFCMENUHOST", "--no-menu", kNotHooked},
    {"OTHERHOST", "", kNotHooked},
    {"PFCBROWSE", "", 0},
    {"PFCBROWSE", "--no-rebar", 2},
    {"PFCVIEWER", "", 1},
    {"PFCOFFICE", "", 3},
    {"PFCOFFICE", "--hidden-menubar", 3},
    {"PFCOFFICE", "--no-dock", 2},
    {"PFCWIDE", "", 2},
};

std::string Describe(const HostCase& c) { return std::string(c.pszProgram) + " " + c.pszSwitches; }

struct RunningHost {
    const HostCase* pCase;
    std::unique_ptr<e2e::Process> process;
    HWND hWnd = nullptr;
};

std::vector<RunningHost> StartHosts() {
    std::vector<RunningHost> hosts;
    // Each Wine process takes a second or two to start: start them all first.
    for (const HostCase& c : kHosts) {
        const std::string command =
            "\"" + e2e::BuildPath(std::string("tools/hosts/") + c.pszProgram + ".exe") + "\" " + c.pszSwitches;
        hosts.push_back({&c, std::make_unique<e2e::Process>(command)});
    }
    for (RunningHost& host : hosts) {
        if (host.process->Started()) host.hWnd = host.process->WaitForMainWindow(20000);
    }
    return hosts;
}

TEST(HookingE2E, HostsAreHookedWithTheirIndexAndGivenBackWhenTheHookGoes) {
    e2e::ControllerSession controller;
    ASSERT_TRUE(controller.Installed());
    std::vector<RunningHost> hosts = StartHosts();

    for (const RunningHost& host : hosts) {
        ASSERT_NE(host.hWnd, nullptr) << Describe(*host.pCase) << ": no main window";
        const bool bExpectHooked = host.pCase->nIndex != kNotHooked;
        LRESULT lAnswer = 0;
        e2e::WaitUntil(
            [&] {
                lAnswer = AskHost(host.hWnd, host_report::kAskIdentity);
                return (lAnswer & host_report::kValid) && (!bExpectHooked || host_report::Hooked(lAnswer));
            },
            10000);
        ASSERT_TRUE(lAnswer & host_report::kValid) << Describe(*host.pCase) << ": no answer";
        EXPECT_EQ(host_report::ProcInModule(lAnswer), bExpectHooked) << Describe(*host.pCase);
        EXPECT_EQ(host_report::Hooked(lAnswer), bExpectHooked) << Describe(*host.pCase);
        if (bExpectHooked) {
            EXPECT_EQ(host_report::Value(lAnswer), host.pCase->nIndex) << Describe(*host.pCase);
        }
    }

    ASSERT_TRUE(controller.Unhook());
    // The module leaves each host when it next runs; its exit gives the
    // window back.
    for (const RunningHost& host : hosts) {
        const bool bGivenBack = e2e::WaitUntil(
            [&] {
                const LRESULT lAnswer = AskHost(host.hWnd, host_report::kAskIdentity);
                return (lAnswer & host_report::kValid) && !host_report::ProcInModule(lAnswer) &&
                       !host_report::Hooked(lAnswer);
            },
            15000);
        EXPECT_TRUE(bGivenBack) << Describe(*host.pCase);
    }
}

TEST(HookingE2E, ClosedWindowTakesItsRecordWithIt) {
    e2e::ControllerSession controller;
    ASSERT_TRUE(controller.Installed());
    e2e::Process process("\"" + e2e::BuildPath("tools/hosts/PFCMENUHOST.exe") + "\"");
    HWND hWnd = process.WaitForMainWindow(20000);
    ASSERT_NE(hWnd, nullptr);
    auto records = [hWnd] {
        const LRESULT lAnswer = AskHost(hWnd, host_report::kAskRecordCount);
        return host_report::Hooked(lAnswer) ? host_report::Value(lAnswer) : -1;
    };
    EXPECT_TRUE(e2e::WaitUntil([&] { return records() == 1; }, 10000)) << records();
    for (int nRound = 0; nRound < 3; ++nRound) {
        DWORD_PTR dwSecond = 0;
        ASSERT_TRUE(SendMessageTimeoutA(hWnd, host_report::kOpenSecondWindow, 0, 0, SMTO_ABORTIFHUNG, 5000, &dwSecond));
        ASSERT_NE(dwSecond, 0u);
        EXPECT_EQ(records(), 2) << "round " << nRound;
        DWORD_PTR dwIgnored = 0;
        ASSERT_TRUE(SendMessageTimeoutA(hWnd, host_report::kCloseSecondWindow, 0, 0, SMTO_ABORTIFHUNG, 5000, &dwIgnored));
        EXPECT_EQ(records(), 1) << "round " << nRound;
    }
    // Closing the main window ends the host cleanly.
    PostMessageA(hWnd, WM_CLOSE, 0, 0);
    DWORD dwExit = 1;
    EXPECT_TRUE(process.WaitForExit(10000, &dwExit));
    EXPECT_EQ(dwExit, 0u);
}

}  // namespace

namespace {

// Asks the module itself, for programs that answer no report of their own.
int ModuleHostIndex(HWND hWnd) {
    static const UINT uQuery = RegisterWindowMessageA(kTestQueryMessageName);
    DWORD_PTR dwAnswer = 0;
    if (!SendMessageTimeoutA(hWnd, uQuery, 0, 0, SMTO_ABORTIFHUNG, 2000, &dwAnswer)) return kNotHooked;
    if ((dwAnswer & 0x7F000000) != 0x40000000) return kNotHooked;
    return static_cast<short>(dwAnswer & 0xFFFF);
}

// Wine tells the hook of a window when it is created, before a program that
// makes its main window hidden shows it; such a window is looked at again once
// it is shown. Notepad is one; the sample host shows its window 300 ms late.
TEST(HookingE2E, WindowsShownAfterTheirCreationAreHookedOnceShown) {
    e2e::ControllerSession controller;
    ASSERT_TRUE(controller.Installed());
    struct Case {
        std::string command;
        int nIndex;  // entries 2 (PFCMENUHOST) and 8 (NOTEPAD.EXE) of [PFCModules]
    };
    const Case kCases[] = {
        {"\"" + e2e::BuildPath("tools/hosts/PFCMENUHOST.exe") + "\" --show-later", 2},
        {"notepad.exe", 8},
    };
    std::vector<std::unique_ptr<e2e::Process>> processes;
    for (const Case& c : kCases) processes.push_back(std::make_unique<e2e::Process>(c.command));
    for (size_t i = 0; i < processes.size(); ++i) {
        HWND hWnd = processes[i]->WaitForMainWindow(20000);
        ASSERT_NE(hWnd, nullptr) << kCases[i].command;
        int nIndex = kNotHooked;
        EXPECT_TRUE(e2e::WaitUntil([&] { return (nIndex = ModuleHostIndex(hWnd)) != kNotHooked; }, 5000))
            << kCases[i].command;
        EXPECT_EQ(nIndex, kCases[i].nIndex) << kCases[i].command;
    }
}

// Processes classify their windows against the lists the controller keeps
// in the shared block; they read no profile of their own. A hand edit of
// either list reaches windows created 2 s after it.
TEST(HookingE2E, HandEditsOfTheListsReachWindowsCreatedTwoSecondsLater) {
    e2e::ProfileBackup backup;
    const std::string profile = e2e::InstalledPath("PvPfcW32.ini");
    e2e::ControllerSession controller;
    ASSERT_TRUE(controller.Installed());
    struct Case {
        const char* pszEdit;
        std::function<void()> edit;
        int nIndex;  // OTHERHOST's window afterwards
    };
    const Case kCases[] = {
        {"OTHERHOST included", [&] { WritePrivateProfileStringA("PFCInclude", "Other (OTHERHOST)", "1", profile.c_str()); },
         2},
        // Listed second, a host needs a document view, which OTHERHOST lacks.
        {"OTHERHOST listed second",
         [&] {
             WritePrivateProfileStringA("PFCModules", nullptr, nullptr, profile.c_str());
             for (const char* pszName : {"PFCBROWSE.EXE", "OTHERHOST.EXE", "PFCMENUHOST.EXE"})
                 WritePrivateProfileStringA("PFCModules", pszName, "1", profile.c_str());
         },
         kNotHooked},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszEdit);
        c.edit();
        Sleep(2000);
        e2e::Process process("\"" + e2e::BuildPath("tools/hosts/OTHERHOST.exe") + "\"");
        HWND hWnd = process.WaitForMainWindow(20000);
        ASSERT_NE(hWnd, nullptr);
        ASSERT_TRUE(process.WaitForIdle(10000));
        LRESULT lAnswer = 0;
        e2e::WaitUntil(
            [&] {
                lAnswer = AskHost(hWnd, host_report::kAskIdentity);
                return (lAnswer & host_report::kValid) && (c.nIndex == kNotHooked || host_report::Hooked(lAnswer));
            },
            10000);
        ASSERT_TRUE(lAnswer & host_report::kValid) << "no answer";
        EXPECT_EQ(c.nIndex != kNotHooked, host_report::Hooked(lAnswer));
        if (c.nIndex != kNotHooked) {
            EXPECT_EQ(c.nIndex, host_report::Value(lAnswer));
        }
        process.Terminate();
    }
}

}  // namespace
