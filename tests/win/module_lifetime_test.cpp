// Process start-up pieces and the hook control that do not need a second
// process: the module list lookup, the hook switch and the exit's wait for
// busy menu threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>
#include <string>

#include "hook/module_lifetime.h"
#include "hook/base/shared_state.h"
#include "hook/base/hook_names.h"
#include "hook_test_support.h"

namespace {

// Gives the test its own profile and shared lists, and puts the process's
// shared section back afterwards.
class SharedStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memcpy(&m_saved, &g_SharedSection, sizeof m_saved);
        char szTemp[MAX_PATH];
        GetTempPathA(MAX_PATH, szTemp);
        GetTempFileNameA(szTemp, "pfc", 0, m_szIni);
        lstrcpynA(g_szIniPath, m_szIni, kPathSize);
    }
    void TearDown() override {
        if (g_ShellHook != nullptr) VXPFCWSetHooking(FALSE, 0, 0, 0);
        std::memcpy(&g_SharedSection, &m_saved, sizeof m_saved);
        DeleteFileA(m_szIni);
    }
    void SetModuleList(const char* pszList, size_t cb) {
        std::memset(g_szModuleList, 0, kSharedListSize);
        std::memcpy(g_szModuleList, pszList, cb);
    }
    char m_szIni[MAX_PATH] = {};

private:
    SharedSection m_saved;
};

TEST_F(SharedStateTest, ModuleEntryByPositionAndEmptyPastTheEnd) {
    const char kList[] = "IEXPLORE.EXE\0VIEWER.EXE\0GENERIC.EXE\0";
    SetModuleList(kList, sizeof kList);
    EXPECT_STREQ("IEXPLORE.EXE", GetModuleEntry(0));
    EXPECT_STREQ("GENERIC.EXE", GetModuleEntry(2));
    EXPECT_STREQ("", GetModuleEntry(3));
    EXPECT_STREQ("", GetModuleEntry(400));
    EXPECT_STREQ("", GetModuleEntry(-1));
}

TEST_F(SharedStateTest, ModuleEntryNeverRunsPastAListWithoutTerminator) {
    std::memset(g_szModuleList, 'A', kSharedListSize);
    std::memcpy(g_szModuleList, "FIRST.EXE", 10);
    EXPECT_STREQ("FIRST.EXE", GetModuleEntry(0));
    EXPECT_STREQ("", GetModuleEntry(1));  // runs to the end of the block
    EXPECT_STREQ("", GetModuleEntry(2));
}

TEST_F(SharedStateTest, SetHookingStoresTheParameterAndAlwaysAnswersZero) {
    struct Case {
        const char* pszEnable;  // null: key missing
        bool bInstalls;
    } const kCases[] = {{nullptr, true}, {"1", true}, {"yes", true}, {"", true}, {"0", false}, {"0 off", false}};
    DWORD dwParam = 100;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszEnable != nullptr ? c.pszEnable : "(missing)");
        WritePrivateProfileStringA("PFCWatch", "Enable", c.pszEnable, m_szIni);
        EXPECT_EQ(0u, VXPFCWSetHooking(TRUE, 7, 8, ++dwParam));
        EXPECT_EQ(dwParam, g_dwHookParam);
        EXPECT_EQ(c.bInstalls, g_ShellHook != nullptr);
        EXPECT_EQ(c.bInstalls, g_hHookMutex != nullptr);
        if (c.bInstalls) {
            HANDLE hMutex = OpenMutexA(SYNCHRONIZE, FALSE, kSetHookingMutexName);
            EXPECT_NE(nullptr, hMutex);
            if (hMutex != nullptr) CloseHandle(hMutex);
        }
        EXPECT_EQ(0u, VXPFCWSetHooking(FALSE, 0, 0, ++dwParam));
        EXPECT_EQ(dwParam, g_dwHookParam);
        EXPECT_EQ(nullptr, g_ShellHook);
        EXPECT_EQ(nullptr, g_hHookMutex);
    }
}

TEST_F(SharedStateTest, InstallCallWhileSwitchedOffRemovesAnInstalledHook) {
    WritePrivateProfileStringA("PFCWatch", "Enable", "1", m_szIni);
    VXPFCWSetHooking(TRUE, 0, 0, 0);
    ASSERT_NE(nullptr, g_ShellHook);
    WritePrivateProfileStringA("PFCWatch", "Enable", "0", m_szIni);
    EXPECT_EQ(0u, VXPFCWSetHooking(TRUE, 0, 0, 0));
    EXPECT_EQ(nullptr, g_ShellHook);
    EXPECT_EQ(nullptr, g_hHookMutex);
}

// Removal asked in a process other than the installer's (the configuration
// command runs in a host) finds the installer's handle value in the shared
// section; in this process that value is some other handle of its own.
TEST_F(SharedStateTest, RemovalNeverClosesAMutexHandleOfAnotherProcess) {
    HANDLE hUnrelated = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, hUnrelated);
    g_hHookMutex = hUnrelated;
    EXPECT_EQ(0u, VXPFCWSetHooking(FALSE, 0, 0, 0));
    EXPECT_EQ(nullptr, g_hHookMutex);
    DWORD dwFlags = 0;
    EXPECT_TRUE(GetHandleInformation(hUnrelated, &dwFlags)) << "a handle of this process was closed";
    CloseHandle(hUnrelated);
}

TEST_F(SharedStateTest, IncludeListIsReadFromTheProfile) {
    WritePrivateProfileStringA("PFCInclude", "Word (WINWORD)", "1", m_szIni);
    WritePrivateProfileStringA("PFCInclude", "All ()", "1", m_szIni);
    LoadIncludeList();
    EXPECT_STREQ("Word (WINWORD)", g_szIncludeList);
    EXPECT_STREQ("All ()", g_szIncludeList + std::strlen("Word (WINWORD)") + 1);
}

// Other processes classify windows against the shared list while a process
// that starts re-reads the profile: they must never see it half-written.
TEST_F(SharedStateTest, RereadingAnUnchangedListNeverShowsItHalfWritten) {
    for (int i = 0; i < 40; ++i) {
        const std::string key = "Program " + std::to_string(i) + " (P" + std::to_string(i) + ")";
        WritePrivateProfileStringA("PFCInclude", key.c_str(), "1", m_szIni);
    }
    LoadIncludeList();
    const std::string first = g_szIncludeList;
    ASSERT_EQ("Program 0 (P0)", first);
    std::atomic<bool> bDone{false};
    std::atomic<int> nTorn{0};
    std::thread reader([&] {
        while (!bDone) {
            if (std::strncmp(g_szIncludeList, "Program 0 (P0)", 15) != 0) ++nTorn;
        }
    });
    for (int i = 0; i < 300; ++i) LoadIncludeList();
    bDone = true;
    reader.join();
    EXPECT_EQ(0, nTorn.load());
}

// Exit waits for busy menu threads a quarter second at a time, six times at
// the most, and stops waiting as soon as none is busy. The waits are counted
// through the exit-wait seam rather than timed.
TEST(ModuleExit, WaitsAtMostSixQuarterSecondsForBusyMenuThreads) {
    static std::vector<DWORD> s_waits;
    static size_t s_nIdleAfter = 0;
    struct Case {
        const char* pszWhat;
        LONG nBusy;
        size_t nIdleAfter;  // waits after which the thread is done; 0: never
        size_t nWaits;
    };
    for (const Case& c : {Case{"none busy", 0, 0, 0}, Case{"done after two waits", 1, 2, 2},
                          Case{"never done", 1, 0, 6}}) {
        s_waits.clear();
        s_nIdleAfter = c.nIdleAfter;
        g_nBusyThreads = c.nBusy;
        {
            platform::ScopedSeams seams;
            seams->pfnExitWait = [](DWORD dwMs) {
                s_waits.push_back(dwMs);
                if (s_waits.size() == s_nIdleAfter) g_nBusyThreads = 0;
            };
            EXPECT_EQ(0, ExitModuleInProcess()) << c.pszWhat;
        }
        g_nBusyThreads = 0;
        EXPECT_EQ(s_waits, std::vector<DWORD>(c.nWaits, 250u)) << c.pszWhat;
    }
}

}  // namespace
