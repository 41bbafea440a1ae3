// The configuration dialog and command, driven as a person would: the dialog
// runs modally on the test thread while a second thread finds it, presses its
// buttons and closes it; what was written is read back from the profile.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "config/config_command.h"
#include "config/config_dialog.h"
#include "hook/shared_state.h"
#include "seam_recorder.h"
#include "suite_key_sandbox.h"
#include "built_modules.h"

namespace {

constexpr char kDialogCaption[] = "Send Command Settings";

std::vector<std::string> ListEntries(HWND hDialog, int nId) {
    std::vector<std::string> entries;
    const LRESULT nCount = SendDlgItemMessageA(hDialog, nId, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < nCount; ++i) {
        char szText[260] = {};
        SendDlgItemMessageA(hDialog, nId, LB_GETTEXT, i, reinterpret_cast<LPARAM>(szText));
        entries.push_back(szText);
    }
    return entries;
}

void Press(HWND hDialog, int nId) {
    SendMessageA(hDialog, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDialog, nId)));
}

class ConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_hSavedResources = g_hResourceModule;
        m_hResources = test_support::LoadBuiltResourceModule();
        ASSERT_NE(nullptr, m_hResources);
        g_hResourceModule = m_hResources;
        std::memcpy(&m_savedShared, &g_SharedSection, sizeof m_savedShared);
        m_ini = m_dir.path() + "\\PvPfcW32.ini";
        lstrcpynA(g_szIniPath, m_ini.c_str(), kPathSize);
        m_seams->pfnExitWindowsEx = RecordExitWindows;
        // The brand label reads the suite flags; without them it would
        // report the missing value.
        test_support::SuiteKeySandbox::SetBinary(kRootLocalMachine, "ParvaneInfo", {1, 0, 0, 0});
        s_nRestarts = 0;
    }
    void TearDown() override {
        std::memcpy(&g_SharedSection, &m_savedShared, sizeof m_savedShared);
        g_hResourceModule = m_hSavedResources;
        FreeLibrary(m_hResources);
        DeleteFileA(m_ini.c_str());
    }
    void SetIncludeList(const std::vector<std::string>& entries) {
        std::memset(g_szIncludeList, 0, kSharedListSize);
        char* p = g_szIncludeList;
        for (const std::string& entry : entries) {
            lstrcpyA(p, entry.c_str());
            p += entry.size() + 1;
        }
    }
    std::string Profile(const char* pszSection, const char* pszKey) const {
        char szValue[260] = {};
        GetPrivateProfileStringA(pszSection, pszKey, "<none>", szValue, sizeof szValue, m_ini.c_str());
        return szValue;
    }
    std::vector<std::string> KeyList(const char* pszSection) const {
        char szList[4096] = {};
        GetPrivateProfileStringA(pszSection, nullptr, "", szList, sizeof szList, m_ini.c_str());
        std::vector<std::string> keys;
        for (const char* p = szList; *p != '\0'; p += lstrlenA(p) + 1) keys.push_back(p);
        return keys;
    }

    // Runs the dialog (through pfnRun) while drive() acts on it from another
    // thread; drive gets the dialog window and must close it.
    void RunDriven(const std::function<void()>& pfnRun, const std::function<void(HWND)>& drive) {
        std::atomic<bool> bFound{false};
        std::thread driver([&] {
            HWND hDialog = nullptr;
            // A modal dialog shows itself only once its set-up has run.
            for (int i = 0; i < 800 && hDialog == nullptr; ++i) {
                Sleep(25);
                hDialog = FindWindowA("#32770", kDialogCaption);
                if (hDialog != nullptr && !IsWindowVisible(hDialog)) hDialog = nullptr;
            }
            if (hDialog == nullptr) return;
            bFound = true;
            drive(hDialog);
        });
        pfnRun();
        driver.join();
        ASSERT_TRUE(bFound) << "the dialog never showed";
    }

    static BOOL WINAPI RecordExitWindows(UINT, DWORD) {
        ++s_nRestarts;
        return TRUE;
    }
    static inline int s_nRestarts = 0;

    test_support::SuiteKeySandbox m_suiteKey;
    test_support::TempDirectory m_dir;
    test_support::SeamRecorder m_recorder;
    platform::ScopedSeams m_seams;
    std::string m_ini;
    HINSTANCE m_hSavedResources = nullptr;
    HMODULE m_hResources = nullptr;
    SharedSection m_savedShared;
};

TEST_F(ConfigDialogTest, SetUpShowsExcludedFromTheFileAndIncludedFromMemory) {
    WritePrivateProfileStringA("PFCExclude", "Paint (MSPAINT)", "1", m_ini.c_str());
    WritePrivateProfileStringA("PFCInclude", "Stale (FILEONLY)", "1", m_ini.c_str());
    WritePrivateProfileStringA("PFCWatch", "BitmapMenu", "0", m_ini.c_str());
    SetIncludeList({"Word (WINWORD)", "Notepad (NOTEPAD)"});
    std::vector<std::string> included, excluded;
    bool bTextChecked = false, bHelpVisible = true, bMoveInEnabled = false, bMoveOutEnabled = false;
    std::string label;
    INT_PTR nResult = 0;
    RunDriven([&] { nResult = RunConfigDialog(nullptr, ""); },
              [&](HWND hDialog) {
                  included = ListEntries(hDialog, kIdcIncludeList);
                  excluded = ListEntries(hDialog, kIdcExcludeList);
                  bTextChecked = IsDlgButtonChecked(hDialog, kIdcTextMenu) == BST_CHECKED;
                  bHelpVisible = IsWindowVisible(GetDlgItem(hDialog, IDHELP)) != FALSE;
                  bMoveInEnabled = IsWindowEnabled(GetDlgItem(hDialog, kIdcMoveAllIn)) != FALSE;
                  bMoveOutEnabled = IsWindowEnabled(GetDlgItem(hDialog, kIdcMoveAllOut)) != FALSE;
                  char szLabel[260] = {};
                  GetWindowTextA(GetWindow(GetWindow(GetDlgItem(hDialog, kIdcBitmapMenu), GW_HWNDPREV), GW_HWNDPREV),
                                 szLabel, sizeof szLabel);
                  label = szLabel;
                  Press(hDialog, IDCANCEL);
              });
    EXPECT_EQ(IDCANCEL, nResult);
    // The list box sorts; what matters is which entries are where.
    EXPECT_EQ((std::vector<std::string>{"Notepad (NOTEPAD)", "Word (WINWORD)"}), included);
    EXPECT_EQ((std::vector<std::string>{"Paint (MSPAINT)"}), excluded);
    EXPECT_TRUE(bTextChecked);
    EXPECT_FALSE(bHelpVisible) << "no installation flag: no Help button";
    EXPECT_TRUE(bMoveInEnabled);
    EXPECT_TRUE(bMoveOutEnabled);
    EXPECT_EQ(std::string::npos, label.find("%s")) << label;
    EXPECT_NE(std::string::npos, label.find("Tellarine")) << label;
    EXPECT_TRUE(m_recorder.messageBoxes.empty());
    // Cancel writes nothing.
    EXPECT_EQ((std::vector<std::string>{"Stale (FILEONLY)"}), KeyList("PFCInclude"));
    EXPECT_EQ("0", Profile("PFCWatch", "BitmapMenu"));
}

TEST_F(ConfigDialogTest, MovingEveryEntryOutAndConfirmingSwitchesHookingOff) {
    SetIncludeList({"A (AAA)", "B (BBB)", "C (CCC)"});
    bool bOutEnabledAfter = true, bInEnabledAfter = false;
    std::vector<std::string> excludedShown;
    INT_PTR nResult = 0;
    RunDriven([&] { nResult = RunConfigDialog(nullptr, ""); },
              [&](HWND hDialog) {
                  Press(hDialog, kIdcMoveAllOut);
                  bOutEnabledAfter = IsWindowEnabled(GetDlgItem(hDialog, kIdcMoveOneOut)) != FALSE;
                  bInEnabledAfter = IsWindowEnabled(GetDlgItem(hDialog, kIdcMoveOneIn)) != FALSE;
                  excludedShown = ListEntries(hDialog, kIdcExcludeList);
                  Press(hDialog, IDOK);
              });
    EXPECT_EQ(IDOK, nResult);
    EXPECT_FALSE(bOutEnabledAfter);
    EXPECT_TRUE(bInEnabledAfter);
    EXPECT_EQ(3u, excludedShown.size());
    EXPECT_EQ("0", Profile("PFCWatch", "Enable"));
    EXPECT_TRUE(KeyList("PFCInclude").empty());
    // Written from the last list entry to the first.
    EXPECT_EQ((std::vector<std::string>{"C (CCC)", "B (BBB)", "A (AAA)"}), KeyList("PFCExclude"));
}

TEST_F(ConfigDialogTest, MoveWithoutSelectionTakesTheFirstEntry) {
    WritePrivateProfileStringA("PFCExclude", "X (XXX)", "1", m_ini.c_str());
    WritePrivateProfileStringA("PFCExclude", "Y (YYY)", "1", m_ini.c_str());
    SetIncludeList({});
    RunDriven([&] { RunConfigDialog(nullptr, ""); },
              [&](HWND hDialog) {
                  Press(hDialog, kIdcMoveOneIn);
                  Press(hDialog, kIdcBitmapMenu);
                  Press(hDialog, IDOK);
              });
    EXPECT_EQ((std::vector<std::string>{"X (XXX)"}), KeyList("PFCInclude"));
    EXPECT_EQ((std::vector<std::string>{"Y (YYY)"}), KeyList("PFCExclude"));
    EXPECT_EQ("1", Profile("PFCWatch", "Enable"));
    EXPECT_EQ("1", Profile("PFCWatch", "BitmapMenu"));
}

TEST_F(ConfigDialogTest, SwitchingHookingOnOffersARestartAndRestartsOnOk) {
    WritePrivateProfileStringA("PFCWatch", "Enable", "0", m_ini.c_str());
    WritePrivateProfileStringA("PFCExclude", "Word (WINWORD)", "1", m_ini.c_str());
    SetIncludeList({});
    RunDriven([&] { VXPFCWConfig(); },
              [&](HWND hDialog) {
                  Press(hDialog, kIdcMoveAllIn);
                  Press(hDialog, IDOK);
              });
    EXPECT_STREQ("Word (WINWORD)", g_szIncludeList) << "the shared list is re-read after OK";
    ASSERT_EQ(1u, m_recorder.messageBoxes.size());
    EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL | MB_ICONQUESTION | MB_SYSTEMMODAL), m_recorder.messageBoxes[0].uType);
    EXPECT_EQ(1, s_nRestarts);

    // Already on before: no question, no restart.
    m_recorder.messageBoxes.clear();
    RunDriven([&] { VXPFCWConfig(); }, [&](HWND hDialog) { Press(hDialog, IDOK); });
    EXPECT_TRUE(m_recorder.messageBoxes.empty());
    EXPECT_EQ(1, s_nRestarts);
}

TEST_F(ConfigDialogTest, CancelledCommandLeavesTheSharedListAlone) {
    SetIncludeList({"Word (WINWORD)"});
    WritePrivateProfileStringA("PFCInclude", "Other (OTHER)", "1", m_ini.c_str());
    RunDriven([&] { VXPFCWConfig(); }, [&](HWND hDialog) { Press(hDialog, IDCANCEL); });
    EXPECT_STREQ("Word (WINWORD)", g_szIncludeList);
    EXPECT_TRUE(m_recorder.messageBoxes.empty());
}

}  // namespace
