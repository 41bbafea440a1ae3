// Starting the sending program (its program, option word and launcher), the
// per-user settings it is chosen by, and the mail-system test.
#include <gtest/gtest.h>
#include <windows.h>
#include <winnetwk.h>

#include <string>

#include "seam_recorder.h"
#include "send/mail_program.h"
#include "system_profile_sandbox.h"

using test_support::RegistryValueSandbox;
using test_support::SeamRecorder;
using test_support::WinIniSandbox;

namespace {

std::string NetworkUserName() {
    char szUser[80] = {};
    DWORD cch = sizeof szUser;
    return WNetGetUserA(nullptr, szUser, &cch) == NO_ERROR ? szUser : "";
}

class MailProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The per-user key holds the user's name on this system.
        ASSERT_FALSE(NetworkUserName().empty());
        EXPECT_EQ(send::UserSettingKeyPath(NetworkUserName().c_str(), send::kSettingMailEngine),
                  send::CurrentUserSettingKeyPath(send::kSettingMailEngine));
        m_programDir.SetString("C:\\Suite\\Send");
    }
    void SetMailEngine(const char* pszValue) { m_mailEngine.SetString(pszValue); }

    RegistryValueSandbox m_programDir{HKEY_CLASSES_ROOT, send::kProgramDirectoryKey, nullptr};
    RegistryValueSandbox m_mailEngine{HKEY_CLASSES_ROOT, send::CurrentUserSettingKeyPath(send::kSettingMailEngine),
                                      nullptr};
    SeamRecorder recorder;
};

TEST(MailProgramOptions, LettersInFixedOrderThenTheNumber) {
    const struct {
        DWORD dwFlags;
        const char* pszWord;
    } kCases[] = {
        {0x6600, "-de6"},
        {0, "-0"},
        {0x10 | 0x100 | 0x200 | 0x400 | 0x800 | 0x7000, "-ndemu7"},
        {0x810, "-mu0"},  // m before u, whatever the bit order
        {0x18000 | 0x1000, "-1"},
    };
    for (const auto& c : kCases) EXPECT_EQ(c.pszWord, send::BuildLaunchOptionWord(c.dwFlags)) << c.dwFlags;
}

TEST(MailProgramSettings, PerUserKeyWithAndWithoutUserName) {
    EXPECT_EQ("Software\\vorland\\User.anna\\MailEngine", send::UserSettingKeyPath("anna", "MailEngine"));
    EXPECT_EQ("Software\\vorland\\User.MailEngine", send::UserSettingKeyPath(nullptr, "MailEngine"));
}

TEST_F(MailProgramTest, UserSettingsAreReadUnderTheNetworkUserName) {
    char szValue[80] = {};
    SetMailEngine("260");
    EXPECT_EQ(3, send::ReadUserSetting(send::kSettingMailEngine, szValue, sizeof szValue));
    EXPECT_STREQ("260", szValue);
    EXPECT_EQ(260, send::ReadUserNumber(send::kSettingMailEngine, 7));
    SetMailEngine("12abc");
    EXPECT_EQ(12, send::ReadUserNumber(send::kSettingMailEngine, 7));
    SetMailEngine("abc");
    EXPECT_EQ(0, send::ReadUserNumber(send::kSettingMailEngine, 7));
    m_mailEngine.Remove();
    EXPECT_EQ(-1, send::ReadUserSetting(send::kSettingMailEngine, szValue, sizeof szValue));
    EXPECT_EQ(7, send::ReadUserNumber(send::kSettingMailEngine, 7));
}

TEST_F(MailProgramTest, CommandLinesStarted) {
    const struct {
        const char* pszMailEngine;  // null: absent
        DWORD dwFlags;
        const char* pszArguments;
        const char* pszFile;
        const char* pszParameters;
    } kCases[] = {
        {nullptr, 0x6600, "C:\\Temp\\~PF1.tmp", "C:\\Suite\\Send\\VXMAIL32.EXE", "-de6 C:\\Temp\\~PF1.tmp"},
        {"256", 0x6600, "C:\\Temp\\~PF1.tmp", "C:\\Suite\\Send\\VXMAIL16.EXE", "-de6 C:\\Temp\\~PF1.tmp"},
        {"260", 0x200, "job", "C:\\Suite\\Send\\VXMAIL16.EXE", "-d0 job"},
        {nullptr, 0x10000 | 0x6600, "C:\\My Jobs\\a b.tmp", "C:\\Suite\\Send\\DLLCMD32.EXE",
         "/E VXMAIL32.EXE -de6 C:\\My Jobs\\a b.tmp"},
        {"256", 0x10000, nullptr, "C:\\Suite\\Send\\DLLCMD32.EXE", "/E VXMAIL16.EXE -0 "},
    };
    for (const auto& c : kCases) {
        recorder.launches.clear();
        if (c.pszMailEngine != nullptr)
            SetMailEngine(c.pszMailEngine);
        else
            m_mailEngine.Remove();
        EXPECT_EQ(42, send::LaunchMailProgram(c.dwFlags, c.pszArguments));
        ASSERT_EQ(1u, recorder.launches.size());
        const auto& launch = recorder.launches[0];
        EXPECT_EQ(GetDesktopWindow(), launch.hWnd);
        EXPECT_EQ("open", launch.verb);
        EXPECT_EQ(c.pszFile, launch.file);
        EXPECT_EQ(c.pszParameters, launch.parameters);
        EXPECT_EQ("<null>", launch.directory);
        EXPECT_EQ(SW_SHOWNORMAL, launch.nShowCmd);
    }
}

TEST_F(MailProgramTest, FacadeResultOfTheLaunch) {
    EXPECT_EQ(LIBERR_OK, send::StartMailProgram(0x6600, "job"));
    recorder.nShellResult = 31;
    EXPECT_EQ(LIBERR_LAUNCH_FAILED, send::StartMailProgram(0x6600, "job"));
    recorder.nShellResult = 42;
    m_programDir.Remove();
    recorder.launches.clear();
    EXPECT_EQ(0, send::LaunchMailProgram(0x6600, "job"));
    EXPECT_EQ(LIBERR_LAUNCH_FAILED, send::StartMailProgram(0x6600, "job"));
    EXPECT_TRUE(recorder.launches.empty());
    char szDirectory[MAX_PATH] = "x";
    EXPECT_EQ(0, send::GetProgramDirectory(szDirectory));
}

TEST_F(MailProgramTest, MailSystemOutsideWin32sIsThereUnlessTheEngineIsFour) {
    EXPECT_EQ(send::kPlatformWindowsNT, send::GetPlatformKind());
    const struct {
        const char* pszMailEngine;
        bool bPresent;
    } kCases[] = {{nullptr, true}, {"0", true}, {"4", false}, {"260", true}, {"3", true}};
    for (const auto& c : kCases) {
        if (c.pszMailEngine != nullptr)
            SetMailEngine(c.pszMailEngine);
        else
            m_mailEngine.Remove();
        EXPECT_EQ(c.bPresent, send::IsMailSystemPresent()) << (c.pszMailEngine ? c.pszMailEngine : "absent");
        EXPECT_EQ(c.bPresent, send::QueryMailSystemPresent());
        EXPECT_EQ(c.bPresent, send::IsMailSystemPresentOn(send::kPlatformWindows95));
    }
}

TEST_F(MailProgramTest, MailSystemOnWin32sAsksTheMailSystems) {
    RegistryValueSandbox mapi(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows Messaging Subsystem", "MAPI");
    RegistryValueSandbox notes(HKEY_LOCAL_MACHINE, "Software\\Lotus\\Notes", "Name");
    WinIniSandbox winIni;
    const struct {
        const char* pszMailEngine;
        const char* pszMapi;   // null: absent
        const char* pszNotes;  // null: absent
        const char* pszWinIniKey;  // [Mail] key set to 1, or null
        bool bPresent;
    } kCases[] = {
        {"0", "1", nullptr, nullptr, true},
        {"0", "0", nullptr, nullptr, false},
        {"0", "0", nullptr, "MAPI", true},
        {"0", nullptr, nullptr, "MAPI", true},
        {"256", "1", nullptr, nullptr, true},  // only the low byte is the kind
        {"1", nullptr, "Anna", nullptr, true},
        {"1", nullptr, "", nullptr, false},
        {"1", nullptr, "0123456789ABC", nullptr, false},  // does not fit: WIN.INI decides
        {"1", nullptr, "0123456789ABC", "SMI", true},
        {"2", "1", "Anna", nullptr, false},
        {"2", nullptr, nullptr, "CMC", true},
        {"3", nullptr, nullptr, nullptr, true},
        {"4", "1", "Anna", "MAPI", false},
    };
    for (const auto& c : kCases) {
        SetMailEngine(c.pszMailEngine);
        c.pszMapi != nullptr ? mapi.SetString(c.pszMapi) : mapi.Remove();
        c.pszNotes != nullptr ? notes.SetString(c.pszNotes) : notes.Remove();
        for (const char* pszKey : {"MAPI", "SMI", "CMC"})
            winIni.Set("Mail", pszKey, c.pszWinIniKey != nullptr && lstrcmpA(pszKey, c.pszWinIniKey) == 0 ? "1" : "0");
        EXPECT_EQ(c.bPresent, send::IsMailSystemPresentOn(send::kPlatformWin32s))
            << c.pszMailEngine << " " << (c.pszMapi ? c.pszMapi : "-") << " " << (c.pszNotes ? c.pszNotes : "-");
    }
}

}  // namespace
