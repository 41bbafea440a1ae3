// Safe mode seen from outside: a served host that dies of an unhandled fault
// in its own code is counted, and after the second such death its program is
// left alone (hosts started later get no send item, hosts still running lose
// it) until the user releases it; hosts ended from outside with an ordinary
// exit code or closed normally are not counted.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../../tools/hosts/host_report.h"
#include "e2e_support.h"
#include "suite/safe_mode.h"

namespace {

constexpr DWORD kWaitMs = 20000;
constexpr char kCrashingExe[] = "PFCMENUHOST.EXE";

LRESULT AskHost(HWND hWnd, WPARAM wAsk) {
    DWORD_PTR dwResult = 0;
    if (!SendMessageTimeoutA(hWnd, host_report::kReportMessage, wAsk, 0, SMTO_ABORTIFHUNG, 5000, &dwResult)) return 0;
    return static_cast<LRESULT>(dwResult);
}

int SendItemOf(HWND hWnd) {
    const LRESULT lAnswer = AskHost(hWnd, host_report::kAskSendItem);
    return (lAnswer & host_report::kValid) ? host_report::Value(lAnswer) : -1;
}

// A sample host with its main window, created to the end (the shell hook has
// made its decision about it when this returns).
struct StartedHost {
    std::unique_ptr<e2e::Process> process;
    HWND hWnd = nullptr;
};

StartedHost StartHost(const char* pszProgram) {
    StartedHost host;
    host.process = std::make_unique<e2e::Process>("\"" + e2e::BuildPath(std::string("tools/hosts/") + pszProgram +
                                                                          ".exe") + "\" --crash-on-request");
    if (host.process->Started()) host.hWnd = host.process->WaitForMainWindow(kWaitMs);
    if (host.hWnd != nullptr) host.process->WaitForIdle(kWaitMs);
    return host;
}

bool WaitUntilServed(HWND hWnd) {
    return hWnd != nullptr && e2e::WaitUntil([hWnd] { return SendItemOf(hWnd) > 0; }, kWaitMs);
}

enum class Ending { kCrash, kKilled, kClosed };

// Ends the host as asked; its exit code out.
DWORD EndHost(StartedHost& host, Ending ending) {
    switch (ending) {
        case Ending::kCrash: PostMessageA(host.hWnd, host_report::kCrashNow, 0, 0); break;
        case Ending::kKilled: TerminateProcess(host.process->Handle(), 1); break;
        case Ending::kClosed: PostMessageA(host.hWnd, WM_CLOSE, 0, 0); break;
    }
    DWORD dwExitCode = 0;
    if (!host.process->WaitForExit(kWaitMs, &dwExitCode)) return STILL_ACTIVE;
    return dwExitCode;
}

std::vector<safe_mode::Incident> IncidentsOf(const char* pszName) {
    for (const safe_mode::ProgramRecord& record : safe_mode::ReadRecords())
        if (record.name == pszName) return record.incidents;
    return {};
}

std::string Controller(const std::string& arguments, DWORD* pdwExitCode = nullptr) {
    const e2e::CommandResult result = e2e::RunCommand(e2e::InstalledController() + " " + arguments, 30000);
    if (pdwExitCode != nullptr) *pdwExitCode = result.bEnded ? result.dwExitCode : STILL_ACTIVE;
    return result.output;
}

TEST(SafeModeE2E, OnlyADeathByAnUnhandledExceptionIsAnIncident) {
    e2e::ControllerSession controller;
    ASSERT_TRUE(controller.Installed());
    struct Case {
        Ending ending;
        DWORD dwExitCode;
    } const kCases[] = {{Ending::kKilled, 1}, {Ending::kClosed, 0}, {Ending::kCrash, EXCEPTION_ACCESS_VIOLATION}};
    for (const Case& c : kCases) {
        StartedHost host = StartHost("PFCMENUHOST");
        ASSERT_TRUE(WaitUntilServed(host.hWnd)) << "case " << static_cast<int>(c.ending);
        EXPECT_EQ(c.dwExitCode, EndHost(host, c.ending)) << "case " << static_cast<int>(c.ending);
    }
    // The controller looks at every ended host on each round, so once the
    // crash is recorded the two ends before it have been looked at too.
    ASSERT_TRUE(e2e::WaitUntil([] { return !IncidentsOf(kCrashingExe).empty(); }, kWaitMs));
    const std::vector<safe_mode::Incident> incidents = IncidentsOf(kCrashingExe);
    ASSERT_EQ(1u, incidents.size());
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), incidents[0].dwCode);
    EXPECT_NE(std::string::npos, Controller("--status").find("quarantined: none"));
}

TEST(SafeModeE2E, ProgramThatCrashesTwiceIsLeftAloneUntilReleased) {
    e2e::ControllerSession controller;
    ASSERT_TRUE(controller.Installed());
    // Served from before, it stays open through both crashes of its siblings.
    StartedHost survivor = StartHost("PFCMENUHOST");
    ASSERT_TRUE(WaitUntilServed(survivor.hWnd));
    for (int i = 0; i < 2; ++i) {
        StartedHost host = StartHost("PFCMENUHOST");
        ASSERT_TRUE(WaitUntilServed(host.hWnd)) << "start " << i + 1;
        ASSERT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), EndHost(host, Ending::kCrash)) << "start " << i + 1;
    }

    // The controller says so once, naming the program; by then the
    // quarantine is in force.
    HWND hBox = e2e::WaitForDialogWithText(controller.ProcessId(), kWaitMs);
    ASSERT_NE(nullptr, hBox) << "no word from the controller";
    EXPECT_NE(std::string::npos, e2e::DialogText(hBox).find(kCrashingExe)) << e2e::DialogText(hBox);
    PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(e2e::WaitUntil([&] { return !IsWindow(hBox); }, kWaitMs));
    const std::string status = Controller("--status");
    EXPECT_NE(std::string::npos, status.find(std::string("quarantined: ") + kCrashingExe + ", last incident "))
        << status;
    EXPECT_NE(std::string::npos, status.find("code 0xC0000005")) << status;

    // The third start gets nothing, while another program is still served;
    // the host still running loses its item at its next message.
    StartedHost third = StartHost("PFCMENUHOST");
    StartedHost other = StartHost("PFCWIDE");
    ASSERT_TRUE(WaitUntilServed(other.hWnd));
    ASSERT_NE(nullptr, third.hWnd);
    EXPECT_FALSE(host_report::Hooked(AskHost(third.hWnd, host_report::kAskIdentity)));
    EXPECT_EQ(0, SendItemOf(third.hWnd));
    EXPECT_TRUE(e2e::WaitUntil([&] { return SendItemOf(survivor.hWnd) == 0; }, kWaitMs));
    EXPECT_FALSE(host_report::ProcInModule(AskHost(survivor.hWnd, host_report::kAskIdentity)));
    EXPECT_EQ(nullptr, e2e::FindWindowOfProcess(controller.ProcessId(), "#32770")) << "said only once";

    DWORD dwExitCode = 0;
    Controller(std::string("--release ") + kCrashingExe, &dwExitCode);
    EXPECT_EQ(0u, dwExitCode);
    EXPECT_TRUE(IncidentsOf(kCrashingExe).empty());
    StartedHost released = StartHost("PFCMENUHOST");
    EXPECT_TRUE(WaitUntilServed(released.hWnd)) << "the send item is back after --release";
    Controller(std::string("--release ") + kCrashingExe, &dwExitCode);
    EXPECT_EQ(10u, dwExitCode) << "nothing left to release";
}

}  // namespace
