// Printing through a send printer: which messages reach the host window and
// what WIN.INI's default printer is while the host prints and afterwards;
// the companion program for Office-type hosts; the message for a printer
// that is not there.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "hook/base/hooked_wnd.h"
#include "hook/base/shared_state.h"
#include "platform/fault_guard.h"
#include "platform/seams.h"
#include "seam_recorder.h"
#include "send/print_dispatch.h"
#include "send/printer_switch.h"
#include "suite_key_sandbox.h"
#include "system_profile_sandbox.h"

using test_support::SeamRecorder;
using test_support::SuiteKeySandbox;
using test_support::TempDirectory;
using test_support::WinIniSandbox;

namespace {

constexpr UINT kHostPrintCmd = 101;
constexpr char kUserDefault[] = "User Laser,winspool,LPT1:";
constexpr char kSendDevice[] = "Tellarine Send,PFCSEND,FAX1:";

// What the host window saw: "INI <section>" for WM_WININICHANGE and
// "PRINT <default printer>" for its Print command.
std::vector<std::string> g_hostLog;
bool g_bFaultInPrint = false;

LRESULT CALLBACK HostWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_WININICHANGE)
        g_hostLog.push_back(std::string("INI ") + (lParam != 0 ? reinterpret_cast<const char*>(lParam) : ""));
    if (uMsg == WM_COMMAND && LOWORD(wParam) == kHostPrintCmd) {
        g_hostLog.push_back("PRINT " + send::ReadDefaultPrinterDevice());
        if (g_bFaultInPrint) *static_cast<volatile int*>(nullptr) = 1;
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

class PrintDispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_hSavedResources = g_hResourceModule;
        g_hResourceModule = GetModuleHandleA(nullptr);
        WNDCLASSA wc{};
        wc.lpfnWndProc = HostWndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "PfcPrintTestHost";
        RegisterClassA(&wc);
        m_hWnd = CreateWindowExA(0, "PfcPrintTestHost", "host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_hWnd, nullptr);
        g_hostLog.clear();
        g_bFaultInPrint = false;

        SuiteKeySandbox::SetString(kRootLocalMachine, "ParvanePrinter", "Tellarine Fax");
        SuiteKeySandbox::SetString(kRootLocalMachine, "QOVISendPrinter", "Tellarine Send");
        SuiteKeySandbox::SetString(kRootLocalMachine, "OEM1Printer", "Partner Fax");
        m_companion = m_common.AddFile("PvPfcOle.exe");
        SuiteKeySandbox::SetString(kRootLocalMachine, "CommonDirectory", m_common.path());
        SuiteKeySandbox::SetBinary(kRootCurrentUser, "LastOutputOptions", {0x00, 0x12, 0x34, 0x56});
        m_winIni.Set("devices", "Tellarine Send", "PFCSEND,FAX1:");
        m_winIni.Set("devices", "Tellarine Fax", "PFCFAX,FAX2:");
        m_winIni.Set("devices", "Partner Fax", nullptr);
        m_winIni.Set("windows", "device", kUserDefault);

        m_info = {};
        m_info.hWnd = m_hWnd;
        m_info.nModule = kHostGeneric;
        m_info.uPrintCmd = kHostPrintCmd;
    }
    void TearDown() override {
        if (m_hWnd != nullptr) DestroyWindow(m_hWnd);
        g_hResourceModule = m_hSavedResources;
    }

    SuiteKeySandbox m_suiteKey;
    WinIniSandbox m_winIni;
    TempDirectory m_common;
    std::string m_companion;
    SeamRecorder recorder;
    HWND m_hWnd = nullptr;
    HookedWndInfo m_info{};
    HINSTANCE m_hSavedResources = nullptr;
};

TEST_F(PrintDispatchTest, DeviceTriplesFromDevicesSection) {
    const struct {
        UINT uKind;
        const char* pszEntry;  // of "Tellarine Send"
        bool bFound;
        const char* pszName;
        const char* pszDriver;
        const char* pszPort;
    } kCases[] = {
        {2, "PFCSEND,FAX1:", true, "Tellarine Send", "PFCSEND", "FAX1:"},
        {2, "PFCSEND,FAX1:,extra", true, "Tellarine Send", "PFCSEND", "FAX1:,extra"},
        {2, "FAX1:", true, "Tellarine Send", "", "FAX1:"},  // no comma: a port alone
        {2, nullptr, false, "Tellarine Send", "", ""},      // named, but no entry
        {3, "PFCSEND,FAX1:", false, "Partner Fax", "", ""},
        {4, "PFCSEND,FAX1:", false, "", "", ""},  // no printer of that kind
        {9, "PFCSEND,FAX1:", false, "", "", ""},  // no such kind
    };
    for (const auto& c : kCases) {
        m_winIni.Set("devices", "Tellarine Send", c.pszEntry);
        send::PrinterDevice device;
        EXPECT_EQ(c.bFound, send::GetSendPrinterDevice(c.uKind, &device)) << c.uKind << " " << c.pszEntry;
        EXPECT_EQ(c.pszName, device.name);
        if (c.bFound) {
            EXPECT_EQ(c.pszDriver, device.driver);
            EXPECT_EQ(c.pszPort, device.port);
        }
    }
}

TEST_F(PrintDispatchTest, HostPrintsWhileTheSendPrinterIsTheDefault) {
    const struct {
        const char* pszUserDefault;
        const char* pszSendEntry;
        std::vector<std::string> expected;
    } kCases[] = {
        {kUserDefault, "PFCSEND,FAX1:", {"INI windows", std::string("PRINT ") + kSendDevice, "INI windows"}},
        // Letter case counts: written, and the user's spelling comes back.
        {"tellarine send,PFCSEND,FAX1:", "PFCSEND,FAX1:",
         {"INI windows", std::string("PRINT ") + kSendDevice, "INI windows"}},
        // Already the default: nothing written, nothing told.
        {kSendDevice, "PFCSEND,FAX1:", {std::string("PRINT ") + kSendDevice}},
        {kUserDefault, "FAX1:", {"INI windows", "PRINT Tellarine Send,,FAX1:", "INI windows"}},
    };
    for (const auto& c : kCases) {
        g_hostLog.clear();
        m_winIni.Set("windows", "device", c.pszUserDefault);
        m_winIni.Set("devices", "Tellarine Send", c.pszSendEntry);
        send::PrintToSendPrinter(m_info, 3, 2);
        EXPECT_EQ(c.expected, g_hostLog) << c.pszUserDefault;
        EXPECT_EQ(c.pszUserDefault, WinIniSandbox::Get("windows", "device"));
        EXPECT_TRUE(recorder.messageBoxes.empty());
    }
    // The output option went into the low byte only.
    EXPECT_EQ((std::vector<BYTE>{0x03, 0x12, 0x34, 0x56}), SuiteKeySandbox::Get(kRootCurrentUser, "LastOutputOptions").data);
    EXPECT_EQ(REG_NONE, SuiteKeySandbox::Get(kRootCurrentUser, send::kPrinterSwitchValueName).dwType);
}

TEST_F(PrintDispatchTest, FaultingPrintCommandStillGetsTheDefaultBack) {
    g_bFaultInPrint = true;
    send::PrintToSendPrinter(m_info, 3, 2);
    EXPECT_EQ((std::vector<std::string>{"INI windows", std::string("PRINT ") + kSendDevice, "INI windows"}),
              g_hostLog);
    EXPECT_EQ(kUserDefault, WinIniSandbox::Get("windows", "device"));
    EXPECT_EQ(REG_NONE, SuiteKeySandbox::Get(kRootCurrentUser, send::kPrinterSwitchValueName).dwType);
}

// A fault of our own code while the send printer is the default ends the
// send command's guarded call; its landing puts the user's printer back.
TEST_F(PrintDispatchTest, FaultOfOurOwnWhileSwitchedPutsTheDefaultBack) {
    platform::ArmFaultPoint(platform::FaultPoint::kSendCommand);
    auto sendCommand = [this] { send::PrintToSendPrinter(m_info, 3, 2); };
    EXPECT_FALSE(platform::RunFaultGuarded(sendCommand));
    EXPECT_EQ(platform::FaultPoint::kNone, platform::ArmFaultPoint(platform::FaultPoint::kNone));
    EXPECT_EQ(kUserDefault, WinIniSandbox::Get("windows", "device"));
    EXPECT_EQ(REG_NONE, SuiteKeySandbox::Get(kRootCurrentUser, send::kPrinterSwitchValueName).dwType);
}

TEST_F(PrintDispatchTest, MissingPrinterOrPrintCommandIsReported) {
    const struct {
        UINT uKind;
        UINT uPrintCmd;
        int nModule;
        const char* pszText;
    } kCases[] = {
        {4, kHostPrintCmd, kHostGeneric, "WIN_UNIT_TESTS.EXE cannot print to []."},
        {0, kHostPrintCmd, kHostGeneric, "WIN_UNIT_TESTS.EXE cannot print to []."},
        {3, kHostPrintCmd, kHostGeneric, "WIN_UNIT_TESTS.EXE cannot print to [Partner Fax]."},
        {2, 0, kHostGeneric, "WIN_UNIT_TESTS.EXE cannot print to [Tellarine Send]."},
        // An Office-type host needs the printer too before its companion starts.
        {3, 1, 3, "WIN_UNIT_TESTS.EXE cannot print to [Partner Fax]."},
    };
    for (const auto& c : kCases) {
        recorder.messageBoxes.clear();
        m_info.uPrintCmd = c.uPrintCmd;
        m_info.nModule = c.nModule;
        send::PrintToSendPrinter(m_info, 1, c.uKind);
        ASSERT_EQ(1u, recorder.messageBoxes.size()) << c.uKind;
        EXPECT_EQ(c.pszText, recorder.messageBoxes[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_SYSTEMMODAL), recorder.messageBoxes[0].uType);
    }
    EXPECT_TRUE(g_hostLog.empty());
    EXPECT_TRUE(recorder.launches.empty());
    EXPECT_EQ(kUserDefault, WinIniSandbox::Get("windows", "device"));
}

TEST_F(PrintDispatchTest, RouteByHostKind) {
    const struct {
        int nModule;
        DWORD dwFlags;
        bool bCompanion;
    } kCases[] = {
        {3, 0, true},                 // Office-type button host
        {7, 0, true},
        {0, kHookFlagBrowser, false},  // browser host of index 0
        {kHostGeneric, 0, false},
        {1, kHookFlagBrowser, false},
    };
    for (const auto& c : kCases) {
        g_hostLog.clear();
        recorder.launches.clear();
        m_info.nModule = c.nModule;
        m_info.dwFlags = c.dwFlags;
        send::PrintToSendPrinter(m_info, 2, 1);
        if (c.bCompanion) {
            ASSERT_EQ(1u, recorder.launches.size()) << c.nModule;
            EXPECT_EQ(m_hWnd, recorder.launches[0].hWnd);
            EXPECT_EQ("<null>", recorder.launches[0].verb);
            EXPECT_EQ(0, lstrcmpiA(m_companion.c_str(), recorder.launches[0].file.c_str())) << recorder.launches[0].file;
            EXPECT_EQ(std::to_string(c.nModule) + " 1", recorder.launches[0].parameters);
            EXPECT_TRUE(g_hostLog.empty());
        } else {
            EXPECT_TRUE(recorder.launches.empty()) << c.nModule;
            EXPECT_EQ((std::vector<std::string>{"INI windows", "PRINT Tellarine Fax,PFCFAX,FAX2:", "INI windows"}),
                      g_hostLog);
        }
    }
    EXPECT_EQ(kUserDefault, WinIniSandbox::Get("windows", "device"));
}

TEST_F(PrintDispatchTest, CompanionThatIsMissingOrWontStartIsReported) {
    m_info.nModule = 3;
    recorder.nShellResult = 2;
    send::PrintToSendPrinter(m_info, 2, 2);
    ASSERT_EQ(1u, recorder.messageBoxes.size());
    EXPECT_EQ("Cannot start " + recorder.launches.at(0).file + ".", recorder.messageBoxes[0].text);

    recorder.messageBoxes.clear();
    recorder.launches.clear();
    DeleteFileA(m_companion.c_str());
    send::PrintToSendPrinter(m_info, 2, 2);
    EXPECT_TRUE(recorder.launches.empty());
    ASSERT_EQ(1u, recorder.messageBoxes.size());
    EXPECT_EQ("The suite library reported an error.", recorder.messageBoxes[0].text);
}

}  // namespace
