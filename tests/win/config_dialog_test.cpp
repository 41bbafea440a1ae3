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
#include "config/quarantine_marks.h"
#include "hook/configure_hooking.h"
#include "hook/base/hook_messages.h"
#include "hook/module_lifetime.h"
#include "hook/base/shared_state.h"
#include "screen_wait.h"
#include "seam_recorder.h"
#include "suite/safe_mode.h"
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
                  included = ListEntries(hDialog, IDC_INCLUDE_LIST);
                  excluded = ListEntries(hDialog, IDC_EXCLUDE_LIST);
                  bTextChecked = IsDlgButtonChecked(hDialog, IDC_TEXT_MENU) == BST_CHECKED;
                  bHelpVisible = IsWindowVisible(GetDlgItem(hDialog, IDHELP)) != FALSE;
                  bMoveInEnabled = IsWindowEnabled(GetDlgItem(hDialog, IDC_MOVE_ALL_IN)) != FALSE;
                  bMoveOutEnabled = IsWindowEnabled(GetDlgItem(hDialog, IDC_MOVE_ALL_OUT)) != FALSE;
                  char szLabel[260] = {};
                  GetWindowTextA(GetWindow(GetWindow(GetDlgItem(hDialog, IDC_BITMAP_MENU), GW_HWNDPREV), GW_HWNDPREV),
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
                  Press(hDialog, IDC_MOVE_ALL_OUT);
                  bOutEnabledAfter = IsWindowEnabled(GetDlgItem(hDialog, IDC_MOVE_ONE_OUT)) != FALSE;
                  bInEnabledAfter = IsWindowEnabled(GetDlgItem(hDialog, IDC_MOVE_ONE_IN)) != FALSE;
                  excludedShown = ListEntries(hDialog, IDC_EXCLUDE_LIST);
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
                  Press(hDialog, IDC_MOVE_ONE_IN);
                  Press(hDialog, IDC_BITMAP_MENU);
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
                  Press(hDialog, IDC_MOVE_ALL_IN);
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

// What a control shows of its text: the mnemonic marks are not drawn.
std::string ShownText(HWND hControl) {
    char szText[260] = {};
    GetWindowTextA(hControl, szText, sizeof szText);
    std::string shown;
    for (const char* p = szText; *p != '\0'; ++p) {
        if (*p == '&' && p[1] != '\0') ++p;
        shown += *p;
    }
    return shown;
}

// Why a label or button of the dialog does not show its whole text at its
// own font; empty when it does.
std::string TextCutOff(HWND hControl) {
    char szClass[32] = {};
    GetClassNameA(hControl, szClass, sizeof szClass);
    const std::string text = ShownText(hControl);
    const LONG lStyle = GetWindowLongA(hControl, GWL_STYLE);
    const bool bStatic = lstrcmpiA(szClass, "Static") == 0;
    const bool bButton = lstrcmpiA(szClass, "Button") == 0;
    if (text.empty() || (!bStatic && !bButton) || (bButton && (lStyle & BS_TYPEMASK) == BS_GROUPBOX)) return "";
    RECT rcClient{};
    GetClientRect(hControl, &rcClient);
    HDC hDC = GetDC(hControl);
    HGDIOBJ hOldFont = SelectObject(hDC, reinterpret_cast<HFONT>(SendMessageA(hControl, WM_GETFONT, 0, 0)));
    int nNeededWidth = 0, nNeededHeight = 0;
    if (bStatic) {
        // A label wraps at word breaks, as it is drawn.
        RECT rcText = rcClient;
        DrawTextA(hDC, text.c_str(), -1, &rcText, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        nNeededWidth = rcText.right - rcText.left;
        nNeededHeight = rcText.bottom - rcText.top;
    } else {
        SIZE size{};
        GetTextExtentPoint32A(hDC, text.c_str(), static_cast<int>(text.size()), &size);
        const LONG lType = lStyle & BS_TYPEMASK;
        const bool bRadio = lType == BS_AUTORADIOBUTTON || lType == BS_RADIOBUTTON;
        // Beside a radio button's text its circle; around a push button's its edges.
        nNeededWidth = size.cx + (bRadio ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 2 * GetSystemMetrics(SM_CXEDGE) + 2);
        nNeededHeight = size.cy;
    }
    SelectObject(hDC, hOldFont);
    ReleaseDC(hControl, hDC);
    if (nNeededWidth <= rcClient.right && nNeededHeight <= rcClient.bottom) return "";
    return "\"" + text + "\" needs " + std::to_string(nNeededWidth) + "x" + std::to_string(nNeededHeight) + ", has " +
           std::to_string(rcClient.right) + "x" + std::to_string(rcClient.bottom);
}

// Every label shows the brand instead of "%s", and every label and button its
// whole text, with the longer brand name too.
TEST_F(ConfigDialogTest, EveryTextShowsWholeWithTheBrandFilledIn) {
    struct Case {
        BYTE nParvaneInfo;
        const char* pszBrand;
        const char* pszPicture;
    };
    const Case kCases[] = {{1, "Tellarine", "config_dialog"}, {2, "Tellarine Messenger", "config_dialog_messenger"}};
    test_support::SuiteKeySandbox::SetBinary(kRootCurrentUser, "InstallVersion", {0x03, 0x00, 0x04, 0x02});
    for (const Case& c : kCases) {
        test_support::SuiteKeySandbox::SetBinary(kRootLocalMachine, "ParvaneInfo", {c.nParvaneInfo, 0, 0, 0});
        SetIncludeList({"Notepad (NOTEPAD)", "Word (WINWORD)", "Sample hosts (PFC)", "WordPad (WORDPAD)"});
        WritePrivateProfileStringA("PFCExclude", "PowerPoint (POWERPNT)", "1", m_ini.c_str());
        std::vector<std::string> labels, cutOff;
        bool bPicture = false;
        RunDriven([&] { RunConfigDialog(nullptr, ""); },
                  [&](HWND hDialog) {
                      for (HWND h = GetWindow(hDialog, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) {
                          char szClass[32] = {};
                          GetClassNameA(h, szClass, sizeof szClass);
                          if (lstrcmpiA(szClass, "Static") == 0) labels.push_back(ShownText(h));
                          const std::string why = TextCutOff(h);
                          if (!why.empty()) cutOff.push_back(why);
                      }
                      RedrawWindow(hDialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
                      Sleep(200);  // the dialog's thread paints what the redraw asked for
                      bPicture = test_support::SaveScreenshot(hDialog, c.pszPicture);
                      Press(hDialog, IDCANCEL);
                  });
        ASSERT_EQ(labels.size(), 3u) << c.pszBrand;
        for (const std::string& label : labels) EXPECT_EQ(label.find("%s"), std::string::npos) << label;
        EXPECT_EQ(labels[0], std::string("Programs with the ") + c.pszBrand + " send command:");
        EXPECT_EQ(labels[2], std::string("Show the ") + c.pszBrand + " menu:");
        EXPECT_EQ(cutOff, std::vector<std::string>{}) << c.pszBrand;
        EXPECT_TRUE(bPicture) << c.pszBrand;
    }
}

// Help and F1 open the help page that the package puts beside the profile.
TEST_F(ConfigDialogTest, HelpButtonAndF1OpenTheHelpPage) {
    test_support::SuiteKeySandbox::SetBinary(kRootCurrentUser, "InstallVersion", {0x03, 0x00, 0x04, 0x02});
    test_support::SuiteKeySandbox::SetString(kRootLocalMachine, "CommonDirectory", m_dir.path());
    const std::string page = m_dir.AddFile("PvPfcW32.htm", "<html></html>");
    bool bHelpVisible = false;
    size_t nAfterButton = 0, nAfterF1 = 0;
    RunDriven([&] { RunConfigDialog(nullptr, ""); },
              [&](HWND hDialog) {
                  HWND hHelp = GetDlgItem(hDialog, IDHELP);
                  bHelpVisible = IsWindowVisible(hHelp) && IsWindowEnabled(hHelp);
                  Press(hDialog, IDHELP);
                  nAfterButton = m_recorder.launches.size();
                  // F1 as typed, into the dialog in front.
                  SetForegroundWindow(hDialog);
                  for (int i = 0; i < 200 && GetForegroundWindow() != hDialog; ++i) Sleep(10);
                  keybd_event(VK_F1, 0x3B, 0, 0);
                  keybd_event(VK_F1, 0x3B, KEYEVENTF_KEYUP, 0);
                  for (int i = 0; i < 300 && m_recorder.launches.size() < 2; ++i) Sleep(10);
                  nAfterF1 = m_recorder.launches.size();
                  Press(hDialog, IDCANCEL);
              });
    EXPECT_TRUE(bHelpVisible);
    EXPECT_EQ(nAfterButton, 1u);
    EXPECT_EQ(nAfterF1, 2u);
    ASSERT_EQ(m_recorder.launches.size(), 2u);
    for (const auto& launch : m_recorder.launches) {
        EXPECT_EQ(launch.verb, "open");
        EXPECT_EQ(lstrcmpiA(launch.file.c_str(), page.c_str()), 0) << launch.file;
    }
    EXPECT_TRUE(m_recorder.messageBoxes.empty());
}

// An entry too long for the fixed reading buffer (a hand-edited key) goes
// back to the file whole, and the entries after it stay.
TEST_F(ConfigDialogTest, LongEntriesAreWrittenBackWhole) {
    const std::string longKey = "Long (" + std::string(300, 'L') + ")";
    for (const char* pszSection : {"PFCInclude", "PFCExclude"}) {
        WritePrivateProfileStringA(pszSection, "A (AAA)", "1", m_ini.c_str());
        WritePrivateProfileStringA(pszSection, longKey.c_str(), "1", m_ini.c_str());
        WritePrivateProfileStringA(pszSection, "Z (ZZZ)", "1", m_ini.c_str());
    }
    ASSERT_EQ(KeyList("PFCInclude"), (std::vector<std::string>{"A (AAA)", longKey, "Z (ZZZ)"}));
    LoadIncludeList();
    RunDriven([&] { RunConfigDialog(nullptr, ""); }, [&](HWND hDialog) { Press(hDialog, IDOK); });
    for (const char* pszSection : {"PFCInclude", "PFCExclude"})
        EXPECT_EQ(KeyList(pszSection), (std::vector<std::string>{"Z (ZZZ)", longKey, "A (AAA)"})) << pszSection;
}

// Each bitness's hook is its controller's: switching hooking off tells every
// top-level window, so that the controllers of both bitnesses take theirs out.
// Stands in for a controller here: a hidden top-level window that counts it.
int g_nControllersTold = 0;
LRESULT CALLBACK ControllerStandInProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    static const UINT s_uHookingOff = RegisterWindowMessageA(kHookingOffMessageName);
    if (uMsg == s_uHookingOff) ++g_nControllersTold;
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

TEST_F(ConfigDialogTest, SwitchingHookingOffTellsTheControllersOfBothBitnesses) {
    int& s_nTold = g_nControllersTold;
    s_nTold = 0;
    WNDCLASSA wc{};
    wc.lpfnWndProc = ControllerStandInProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "PfcControllerStandIn";
    RegisterClassA(&wc);
    HWND hController = CreateWindowA(wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                     wc.hInstance, nullptr);
    ASSERT_NE(hController, nullptr);
    struct Case {
        const char* pszWhat;
        int nButton;
        int nTold;
    };
    const Case kCases[] = {{"left on", IDC_MOVE_ALL_IN, 0}, {"switched off", IDC_MOVE_ALL_OUT, 1}};
    for (const Case& c : kCases) {
        s_nTold = 0;
        SetIncludeList({"Word (WINWORD)"});
        WritePrivateProfileStringA("PFCExclude", "Paint (MSPAINT)", "1", m_ini.c_str());
        RunDriven([&] { ConfigureHooking(nullptr); },
                  [&](HWND hDialog) {
                      Press(hDialog, c.nButton);
                      Press(hDialog, IDOK);
                  });
        test_support::PumpUntil([] { return s_nTold > 0; }, c.nTold > 0 ? 5000 : 300);
        EXPECT_EQ(s_nTold, c.nTold) << c.pszWhat;
    }
    DestroyWindow(hController);
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

TEST_F(ConfigDialogTest, CancelledCommandLeavesTheSharedListAlone) {
    SetIncludeList({"Word (WINWORD)"});
    WritePrivateProfileStringA("PFCInclude", "Other (OTHER)", "1", m_ini.c_str());
    RunDriven([&] { VXPFCWConfig(); }, [&](HWND hDialog) { Press(hDialog, IDCANCEL); });
    EXPECT_STREQ("Word (WINWORD)", g_szIncludeList);
    EXPECT_TRUE(m_recorder.messageBoxes.empty());
}

// A quarantined program's entry is shown with the suffix; moved out and back
// in, it loses the suffix, and OK releases that program only.
TEST_F(ConfigDialogTest, QuarantinedEntriesAreMarkedAndAnEntryMovedBackReleasesItsProgram) {
    SetIncludeList({"Notepad (NOTEPAD)", "Word (WINWORD)"});
    const ULONGLONG ullNow = safe_mode::CurrentTime();
    for (const char* pszName : {"NOTEPAD.EXE", "WINWORD.EXE"}) {
        safe_mode::RecordIncident(pszName, 0xC0000005u, ullNow);
        ASSERT_TRUE(safe_mode::RecordIncident(pszName, 0xC0000005u, ullNow + 1)) << pszName;
    }
    const std::string suffix = QuarantinedSuffix();
    ASSERT_FALSE(suffix.empty());
    std::vector<std::string> shown;
    RunDriven([&] { RunConfigDialog(nullptr, ""); },
              [&](HWND hDialog) {
                  shown = ListEntries(hDialog, IDC_INCLUDE_LIST);
                  // Word, the second entry of the sorted list, goes out and
                  // comes back.
                  SendDlgItemMessageA(hDialog, IDC_INCLUDE_LIST, LB_SETCURSEL, 1, 0);
                  Press(hDialog, IDC_MOVE_ONE_OUT);
                  SendDlgItemMessageA(hDialog, IDC_EXCLUDE_LIST, LB_SETCURSEL, 0, 0);
                  Press(hDialog, IDC_MOVE_ONE_IN);
                  Press(hDialog, IDOK);
              });
    EXPECT_EQ((std::vector<std::string>{"Notepad (NOTEPAD)" + suffix, "Word (WINWORD)" + suffix}), shown);
    EXPECT_EQ((std::vector<std::string>{"NOTEPAD.EXE"}), safe_mode::QuarantinedPrograms());
    const std::vector<std::string> included = KeyList("PFCInclude");
    EXPECT_EQ(2u, included.size());
    for (const std::string& entry : included) EXPECT_EQ(std::string::npos, entry.find(suffix)) << entry;
}

}  // namespace
