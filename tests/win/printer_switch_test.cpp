// The shared record of default-printer switches: whatever order several
// switches open and close in, and whether their hosts live to close them,
// the user's own default is back at the end, and while a switch is open the
// default is a send printer of an open switch.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/fault_guard.h"
#include "platform/unique_handle.h"
#include "send/printer_switch.h"
#include "suite_key_sandbox.h"
#include "system_profile_sandbox.h"

using send::DefaultPrinterSwitch;
using test_support::SuiteKeySandbox;
using test_support::WinIniSandbox;

namespace {

constexpr char kUserDefault[] = "User Laser,winspool,LPT1:";
const char* const kDevices[] = {"Tellarine Send,PFCSEND,FAX1:", "Tellarine Fax,PFCFAX,FAX2:",
                                "Partner Fax,PFCOEM,FAX3:"};

class PrinterSwitchTest : public ::testing::Test {
protected:
    void SetUp() override { m_winIni.Set("windows", "device", kUserDefault); }
    static std::string Current() { return send::ReadDefaultPrinterDevice(); }
    static bool RecordGone() {
        return SuiteKeySandbox::Get(kRootCurrentUser, send::kPrinterSwitchValueName).dwType == REG_NONE;
    }
    // A host that dies after its switch never restores: its switch object
    // is left in place, never destroyed.
    static void SwitchAndDie(const send::SwitchHolder& holder, const char* pszDevice) {
        DefaultPrinterSwitch::Open(holder).release()->Switch(pszDevice);
    }
    static send::SwitchHolder DeadHolder() {
        send::SwitchHolder holder = send::MakeSwitchHolder();
        holder.ullCreationTime += 1;  // this pid, but an earlier process
        return holder;
    }

    SuiteKeySandbox m_suiteKey;
    WinIniSandbox m_winIni;
};

// Every order in which three switches (each opened before it is closed) can
// come: 90 sequences of six events.
std::vector<std::vector<int>> AllInterleavings(int nSwitches) {
    std::vector<int> events;  // i: open of switch i, nSwitches + i: its close
    for (int i = 0; i < nSwitches; ++i) events.push_back(i), events.push_back(nSwitches + i);
    std::sort(events.begin(), events.end());
    std::vector<std::vector<int>> orders;
    do {
        bool bValid = true;
        for (int i = 0; i < nSwitches && bValid; ++i) {
            const auto open = std::find(events.begin(), events.end(), i);
            const auto close = std::find(events.begin(), events.end(), nSwitches + i);
            bValid = open < close;
        }
        if (bValid) orders.push_back(events);
    } while (std::next_permutation(events.begin(), events.end()));
    return orders;
}

TEST_F(PrinterSwitchTest, EveryOrderOfOverlappingSwitchesGivesTheUserDefaultBack) {
    const int kSwitches = 3;
    const auto orders = AllInterleavings(kSwitches);
    ASSERT_EQ(90u, orders.size());
    for (const auto& order : orders) {
        std::vector<std::unique_ptr<DefaultPrinterSwitch>> switches;
        for (int i = 0; i < kSwitches; ++i)
            switches.push_back(DefaultPrinterSwitch::Open(send::MakeSwitchHolder()));
        std::vector<int> open;
        std::string trace;
        for (int nEvent : order) {
            const int i = nEvent % kSwitches;
            trace += (nEvent < kSwitches ? "+" : "-") + std::to_string(i) + " ";
            if (nEvent < kSwitches) {
                switches[i]->Switch(kDevices[i]);
                open.push_back(i);
            } else {
                switches[i]->Restore();
                open.erase(std::find(open.begin(), open.end(), i));
            }
            // While any switch is open, the default is the newest one's.
            const std::string expected = open.empty() ? kUserDefault : kDevices[open.back()];
            ASSERT_EQ(expected, Current()) << trace;
        }
        ASSERT_TRUE(RecordGone()) << trace;
    }
}

TEST_F(PrinterSwitchTest, SameDeviceTwiceAndAlreadyDefault) {
    auto first = DefaultPrinterSwitch::Open(send::MakeSwitchHolder());
    auto second = DefaultPrinterSwitch::Open(send::MakeSwitchHolder());
    EXPECT_TRUE(first->Switch(kDevices[0]));
    EXPECT_FALSE(second->Switch(kDevices[0]));  // nothing changes for its host
    EXPECT_FALSE(first->Restore());            // the other still prints
    EXPECT_EQ(kDevices[0], Current());
    EXPECT_TRUE(second->Restore());  // its host hears the default come back
    EXPECT_EQ(kUserDefault, Current());

    m_winIni.Set("windows", "device", kDevices[1]);
    auto alreadyDefault = DefaultPrinterSwitch::Open(send::MakeSwitchHolder());
    EXPECT_FALSE(alreadyDefault->Switch(kDevices[1]));
    EXPECT_FALSE(alreadyDefault->Restore());
    EXPECT_EQ(kDevices[1], Current());
    EXPECT_TRUE(RecordGone());
}

TEST_F(PrinterSwitchTest, HostThatDiedMidPrintDoesNotKeepItsPrinterAsTheDefault) {
    const struct {
        const char* pszName;
        const char* pszUserChangeMeanwhile;  // null: the default stays as the dead host left it
        const char* pszNextDevice;
        const char* pszExpected;
    } kCases[] = {
        {"next print to another printer", nullptr, kDevices[1], kUserDefault},
        {"next print to the dead host's printer", nullptr, kDevices[0], kUserDefault},
        // The user chose a printer after the crash: that is the default now.
        {"user chose a printer meanwhile", "Other Printer,winspool,LPT2:", kDevices[1], "Other Printer,winspool,LPT2:"},
    };
    for (const auto& c : kCases) {
        m_winIni.Set("windows", "device", kUserDefault);
        SwitchAndDie(DeadHolder(), kDevices[0]);
        ASSERT_EQ(kDevices[0], Current());
        if (c.pszUserChangeMeanwhile != nullptr) m_winIni.Set("windows", "device", c.pszUserChangeMeanwhile);
        auto next = DefaultPrinterSwitch::Open(send::MakeSwitchHolder());
        next->Switch(c.pszNextDevice);
        EXPECT_EQ(c.pszNextDevice, Current()) << c.pszName;
        next->Restore();
        EXPECT_EQ(c.pszExpected, Current()) << c.pszName;
        EXPECT_TRUE(RecordGone()) << c.pszName;
    }
}

TEST_F(PrinterSwitchTest, LiveSwitchOutlastsADeadOne) {
    auto live = DefaultPrinterSwitch::Open(send::MakeSwitchHolder());
    live->Switch(kDevices[1]);
    SwitchAndDie(DeadHolder(), kDevices[0]);
    EXPECT_EQ(kDevices[0], Current());
    live->Restore();
    EXPECT_EQ(kUserDefault, Current());
    EXPECT_TRUE(RecordGone());
}

TEST_F(PrinterSwitchTest, LockAbandonedByADeadThreadIsTaken) {
    // Kept open here so that the mutex outlives the thread that abandons it.
    platform::unique_handle hMutex(CreateMutexA(nullptr, FALSE, kPrinterSwitchMutexName));
    std::thread([] {
        HANDLE hOwn = CreateMutexA(nullptr, FALSE, kPrinterSwitchMutexName);
        WaitForSingleObject(hOwn, INFINITE);
        CloseHandle(hOwn);  // the thread ends owning it: abandoned
    }).join();
    const DWORD dwStart = GetTickCount();
    auto printerSwitch = DefaultPrinterSwitch::Open(send::MakeSwitchHolder());
    EXPECT_TRUE(printerSwitch->Switch(kDevices[2]));
    EXPECT_TRUE(printerSwitch->Restore());
    EXPECT_LT(GetTickCount() - dwStart, send::kPrinterSwitchLockTimeoutMs);
    EXPECT_EQ(kUserDefault, Current());
}

TEST_F(PrinterSwitchTest, HoldersAreToldApartByProcessAndToken) {
    const send::SwitchHolder mine = send::MakeSwitchHolder();
    EXPECT_TRUE(send::IsHolderAlive(mine));
    EXPECT_FALSE(send::IsHolderAlive(DeadHolder()));
    EXPECT_FALSE(send::IsHolderAlive({0xFFFFFFF0u, mine.ullCreationTime, 1}));
    EXPECT_NE(mine.dwToken, send::MakeSwitchHolder().dwToken);
}

// A default the user picks while a switch is open is theirs: no restore,
// early or last, puts the module's idea of it back.
TEST_F(PrinterSwitchTest, DefaultChosenWhileASwitchIsOpenStands) {
    constexpr char kChosen[] = "Chosen Printer,winspool,LPT3:";
    for (int nOpen : {1, 2}) {
        m_winIni.Set("windows", "device", kUserDefault);
        std::vector<std::unique_ptr<DefaultPrinterSwitch>> switches;
        for (int i = 0; i < nOpen; ++i) {
            switches.push_back(DefaultPrinterSwitch::Open(send::MakeSwitchHolder()));
            switches.back()->Switch(kDevices[i]);
        }
        m_winIni.Set("windows", "device", kChosen);
        for (int i = nOpen; i-- > 0;) {
            switches[i]->Restore();
            EXPECT_EQ(kChosen, Current()) << nOpen << " open, restore " << i;
        }
        EXPECT_TRUE(RecordGone()) << nOpen;
    }
}

// The controller's repair: a host that died in its Print command, and the
// session ending while a host still prints.
TEST_F(PrinterSwitchTest, RepairGivesTheDefaultBackForHostsThatCannot) {
    const struct {
        const char* pszName;
        bool bHostDies;
        bool bSessionEnding;
        const char* pszUserChangeMeanwhile;
        const char* pszExpected;
    } kCases[] = {
        {"host died", true, false, nullptr, kUserDefault},
        {"host still prints", false, false, nullptr, kDevices[0]},
        {"session ends while a host prints", false, true, nullptr, kUserDefault},
        {"host died after the user chose", true, false, "Chosen,winspool,LPT3:", "Chosen,winspool,LPT3:"},
    };
    for (const auto& c : kCases) {
        m_winIni.Set("windows", "device", kUserDefault);
        SwitchAndDie(c.bHostDies ? DeadHolder() : send::MakeSwitchHolder(), kDevices[0]);
        if (c.pszUserChangeMeanwhile != nullptr) m_winIni.Set("windows", "device", c.pszUserChangeMeanwhile);
        send::RepairAbandonedSwitches(c.bSessionEnding);
        EXPECT_EQ(c.pszExpected, Current()) << c.pszName;
        EXPECT_EQ(c.bHostDies || c.bSessionEnding, RecordGone()) << c.pszName;
        if (!RecordGone()) send::RepairAbandonedSwitches(true);
    }
}

TEST_F(PrinterSwitchTest, FaultWhileTheSwitchIsOpenPutsThePrinterBack) {
    auto faultWhilePrinting = [] {
        DefaultPrinterSwitch::Open(send::MakeSwitchHolder()).release()->Switch(kDevices[1]);
        auto keep = DefaultPrinterSwitch::Open(send::MakeSwitchHolder());
        keep->Switch(kDevices[0]);
        *static_cast<volatile int*>(nullptr) = 0;
    };
    EXPECT_FALSE(platform::RunFaultGuarded(faultWhilePrinting));
    // Both were open in the guarded call when it faulted.
    EXPECT_EQ(kUserDefault, Current());
    EXPECT_TRUE(RecordGone());
}

// What each host believed the default was when last told.
std::string g_aBelief[2];
HWND g_aHost[2];
LRESULT CALLBACK BelievingHostProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_WININICHANGE)
        for (int i = 0; i < 2; ++i)
            if (g_aHost[i] == hWnd) g_aBelief[i] = send::ReadDefaultPrinterDevice();
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// Two hosts print at once: the one that started first, and ended first, is
// told too when the user's default is back.
TEST_F(PrinterSwitchTest, EveryHostToldOfASwitchHearsTheDefaultComeBack) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = BelievingHostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "PfcBelievingHost";
    RegisterClassA(&wc);
    for (HWND& hHost : g_aHost)
        hHost = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    std::unique_ptr<DefaultPrinterSwitch> switches[2];
    for (int i = 0; i < 2; ++i) {
        switches[i] = DefaultPrinterSwitch::Open(send::MakeSwitchHolder(), g_aHost[i]);
        if (switches[i]->Switch(kDevices[i])) SendMessageA(g_aHost[i], WM_WININICHANGE, 0, 0);
    }
    for (int i = 0; i < 2; ++i)
        if (switches[i]->Restore()) SendMessageA(g_aHost[i], WM_WININICHANGE, 0, 0);
    EXPECT_EQ(kUserDefault, Current());
    for (int i = 0; i < 2; ++i) EXPECT_EQ(kUserDefault, g_aBelief[i]) << "host " << i;
    for (HWND hHost : g_aHost) DestroyWindow(hHost);
}

}  // namespace
