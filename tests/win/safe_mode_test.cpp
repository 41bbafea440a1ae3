// Safe mode in-process: the rule that turns incidents into a quarantine, and
// the road of a guard's fault from a hooked window to the controller and back
// as a quarantine that unhooks the window and keeps new ones unhooked.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "../../tools/controller/safe_mode_watch.h"
#include "built_modules.h"
#include "hook/base/hook_messages.h"
#include "hook/quarantine.h"
#include "hook/shell_proc.h"
#include "hook/base/target_selection.h"
#include "hook_test_support.h"
#include "platform/fault_guard.h"
#include "platform/seams.h"
#include "platform/unique_handle.h"
#include "shared_lists.h"
#include "suite/safe_mode.h"
#include "suite_key_sandbox.h"
#include "window_tree.h"

namespace {

constexpr ULONGLONG kHour = 60ULL * 60 * 10000000;

TEST(SafeModeRecordTest, TwoIncidentsWithinADayBeginAQuarantineOnce) {
    const std::string kName = "PFCSAFEMODETEST.EXE";
    struct Case {
        const char* pszWhat;
        std::vector<ULONGLONG> times;  // hours after the first
        std::vector<bool> began;       // RecordIncident's answer for each
        bool bQuarantined;
    } const kCases[] = {
        {"one", {0}, {false}, false},
        {"two within a day", {0, 23}, {false, true}, true},
        {"two a day apart exactly", {0, 24}, {false, true}, true},
        {"two more than a day apart", {0, 25}, {false, false}, false},
        {"the last two count", {0, 30, 40}, {false, false, true}, true},
        {"a third adds nothing to say", {0, 1, 2}, {false, true, false}, true},
    };
    const ULONGLONG ullStart = safe_mode::CurrentTime();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszWhat);
        safe_mode::Release(kName);
        for (size_t i = 0; i < c.times.size(); ++i)
            EXPECT_EQ(c.began[i], safe_mode::RecordIncident(kName, 0xC0000005u + static_cast<DWORD>(i),
                                                            ullStart + c.times[i] * kHour))
                << "incident " << i;
        const std::vector<std::string> quarantined = safe_mode::QuarantinedPrograms();
        EXPECT_EQ(c.bQuarantined, std::find(quarantined.begin(), quarantined.end(), kName) != quarantined.end());
        bool bFound = false;
        for (const safe_mode::ProgramRecord& record : safe_mode::ReadRecords()) {
            if (record.name != kName) continue;
            bFound = true;
            ASSERT_FALSE(record.incidents.empty());
            EXPECT_EQ(0xC0000005u + c.times.size() - 1, record.incidents.back().dwCode) << "the last code is kept";
        }
        EXPECT_TRUE(bFound);
    }
    EXPECT_TRUE(safe_mode::Release("pfcsafemodetest.exe")) << "names are matched without regard to case";
    EXPECT_FALSE(safe_mode::Release(kName)) << "released once";
}

TEST(SafeModeRecordTest, ExitCodesOfUnhandledExceptionsOnly) {
    struct Case {
        DWORD dwExitCode;
        bool bIncident;
    } const kCases[] = {{0, false}, {1, false}, {0x40010004, false}, {0x80000003, false},
                        {0xC0000005, true}, {0xC00000FD, true}, {0xC0000374, true}};
    for (const Case& c : kCases) EXPECT_EQ(c.bIncident, safe_mode::IsExceptionExitCode(c.dwExitCode)) << c.dwExitCode;
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

LRESULT CALLBACK ControllerProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    LRESULT lResult = 0;
    if (controller::OnSafeModeMessage(hWnd, uMsg, wParam, lParam, &lResult)) return lResult;
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

volatile LONG g_nAnnouncements = 0;
std::string g_announcement;
int WINAPI RecordMessageBox(HWND, LPCSTR pszText, LPCSTR, UINT) {
    g_announcement = pszText;
    InterlockedIncrement(&g_nAnnouncements);
    return IDOK;
}

// This test program is the host, the controller's watch runs on a window of
// its own: two faults the guard takes while it handles the host's window are
// two incidents, which put the program in quarantine.
TEST(SafeModeGuardTest, TwoGuardFaultsQuarantineTheHost) {
    test_support::HookSeamRecorder seams;
    test_support::SharedListsScope lists;
    test_support::WindowTree tree;
    platform::ScopedSeams boxes;
    boxes->pfnMessageBoxA = RecordMessageBox;
    // The controller's word comes from the resource module the package ships.
    platform::unique_hmodule hResources(test_support::LoadBuiltResourceModule());
    g_hResourceModule = hResources.get();
    char szName[kPathSize] = {};
    ASSERT_TRUE(GetModuleName(szName, nullptr));
    safe_mode::Release(szName);
    lists.Include({std::string("test (") + szName + ")"});

    tree.RegisterWithProc(OwnControllerWindowClass(), ControllerProc);
    HWND hController = CreateWindowExA(0, OwnControllerWindowClass(), "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                       GetModuleHandleA(nullptr), nullptr);
    tree.Adopt(hController);
    ASSERT_TRUE(controller::StartSafeModeWatch(hController, &g_SharedSection));

    tree.RegisterWithProc("PfcQuarantineHost", test_support::RecordingHostProcA);
    auto makeHost = [&] {
        HMENU hMenu = CreateMenu();
        AppendMenuA(hMenu, MF_STRING, 101, "&File");
        HWND hWnd = CreateWindowExA(0, "PfcQuarantineHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                    nullptr, hMenu, GetModuleHandleA(nullptr), nullptr);
        tree.Adopt(hWnd);
        return hWnd;
    };
    HWND hHost = makeHost();
    ChooseAndHookWindow(hHost);
    ASSERT_NE(nullptr, FindHookedWnd(hHost, nullptr));

    for (int i = 0; i < 2; ++i) {
        platform::ArmFaultPoint(platform::FaultPoint::kRefresh);
        SendMessageA(hHost, g_uRefreshMsg, 0, 0);
        EXPECT_EQ(platform::FaultPoint::kNone, platform::ArmFaultPoint(platform::FaultPoint::kNone));
        Pump();  // the guard's note, posted to the controller
    }
    const DWORD dwStart = GetTickCount();
    while (g_nAnnouncements == 0 && GetTickCount() - dwStart < 5000) Sleep(10);
    EXPECT_EQ(1, g_nAnnouncements) << "said once, where the quarantine begins";
    EXPECT_NE(std::string::npos, g_announcement.find(szName)) << g_announcement;
    EXPECT_TRUE(safe_mode::KeyListHolds(g_SharedSection.szQuarantineList, kSharedListSize, szName));

    // The hooked window is given back at its next message, which it still gets.
    test_support::HostLog().clear();
    EXPECT_EQ(2, SendMessageA(hHost, test_support::kProbeMessage, 1, 0));
    EXPECT_EQ(nullptr, FindHookedWnd(hHost, nullptr));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(test_support::RecordingHostProcA), GetWindowLongPtrA(hHost, GWLP_WNDPROC));
    HWND hLater = makeHost();
    ChooseAndHookWindow(hLater);
    EXPECT_EQ(nullptr, FindHookedWnd(hLater, nullptr)) << "a new window of the program is not hooked";

    // Released, the program is served again.
    EXPECT_TRUE(safe_mode::Release(szName));
    controller::PublishSafeMode(&g_SharedSection, "");
    ChooseAndHookWindow(hLater);
    EXPECT_NE(nullptr, FindHookedWnd(hLater, nullptr));
    UnhookAllWindows();
    g_SharedSection.dwSafeModeWatch = 0;
    g_hResourceModule = nullptr;
}

}  // namespace

namespace {

// [PFCWatch] SafeMode=0 turns it off: the controller publishes no quarantine
// and takes no notes, whatever the records say; anything else keeps it on.
TEST(SafeModeSwitchTest, OffPublishesNoQuarantineAndNoWatch) {
    test_support::SuiteKeySandbox keys;
    test_support::TempDirectory dir;
    const std::string kName = "PFCSWITCHTEST.EXE";
    const ULONGLONG ullNow = safe_mode::CurrentTime();
    safe_mode::RecordIncident(kName, 0xC0000005u, ullNow);
    ASSERT_TRUE(safe_mode::RecordIncident(kName, 0xC0000005u, ullNow + 1));
    const struct {
        const char* pszWatch;  // the [PFCWatch] section's text
        bool bOn;
    } kCases[] = {{"", true}, {"SafeMode=1\r\n", true}, {"SafeMode=0\r\n", false}};
    int nProfile = 0;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszWatch);
        // A file of its own each: the system may keep a profile it read
        // within the same second.
        const std::string profile = dir.AddFile("switch" + std::to_string(nProfile++) + ".ini",
                                                std::string("[PFCWatch]\r\n") + c.pszWatch);
        SharedSection shared{};
        controller::PublishSafeMode(&shared, profile);
        EXPECT_EQ(c.bOn ? 1u : 0u, shared.dwSafeModeWatch);
        EXPECT_EQ(c.bOn, safe_mode::KeyListHolds(shared.szQuarantineList, kSharedListSize, kName.c_str()));
    }
}

}  // namespace
