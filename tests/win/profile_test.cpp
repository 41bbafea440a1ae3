// "PvPfcW32.ini" through g_szIniPath: defaults, key lists, numbered lists and
// the rewriting of list sections; the OEM id of the registry profile.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/profile.h"
#include "hook/base/shared_state.h"
#include "suite_key_sandbox.h"

using test_support::TempDirectory;

namespace {

std::vector<std::string> SplitKeyList(const char* pszList) {
    std::vector<std::string> keys;
    for (const char* p = pszList; *p != '\0'; p += std::strlen(p) + 1) keys.push_back(p);
    return keys;
}

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memcpy(m_szSavedIniPath, g_szIniPath, sizeof m_szSavedIniPath);
        ini = dir.Track("PvPfcW32.ini");
        lstrcpynA(g_szIniPath, ini.c_str(), kPathSize);
    }
    void TearDown() override {
        // Drop the system's cached copy before the file goes.
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
        std::memcpy(g_szIniPath, m_szSavedIniPath, sizeof m_szSavedIniPath);
    }
    void Write(const char* pszSection, const char* pszKey, const char* pszValue) {
        WritePrivateProfileStringA(pszSection, pszKey, pszValue, ini.c_str());
    }
    std::string Raw(const char* pszSection, const char* pszKey) {
        char sz[256] = {};
        GetPrivateProfileStringA(pszSection, pszKey, "<missing>", sz, sizeof sz, ini.c_str());
        return sz;
    }
    std::vector<std::string> Keys(const char* pszSection) {
        char szList[4096] = {};
        ReadProfileKeyList(pszSection, szList, sizeof szList);
        return SplitKeyList(szList);
    }

    TempDirectory dir;
    std::string ini;
    char m_szSavedIniPath[kPathSize];
};

struct EnableCase {
    const char* pszValue;  // null: key missing
    bool bEnabled;
};

TEST_F(ProfileTest, EnableIsOffOnlyForALeadingZero) {
    const EnableCase kCases[] = {{nullptr, true}, {"", true},  {"1", true},   {"0", false},
                                 {"0x", false},   {"00", false}, {"yes", true}, {"1 0", true}};
    for (const EnableCase& c : kCases) {
        Write(kSectionWatch, kKeyEnable, nullptr);
        if (c.pszValue != nullptr) Write(kSectionWatch, kKeyEnable, c.pszValue);
        EXPECT_EQ(c.bEnabled, ReadHookingEnabled()) << (c.pszValue ? c.pszValue : "<missing>");
    }
}

TEST_F(ProfileTest, WrittenBooleansAreOneAndZero) {
    WriteHookingEnabled(false);
    EXPECT_EQ("0", Raw(kSectionWatch, kKeyEnable));
    EXPECT_FALSE(ReadHookingEnabled());
    WriteHookingEnabled(true);
    EXPECT_EQ("1", Raw(kSectionWatch, kKeyEnable));
    WriteBitmapMenuSetting(false);
    EXPECT_EQ("0", Raw(kSectionWatch, kKeyBitmapMenu));
    WriteBitmapMenuSetting(true);
    EXPECT_EQ("1", Raw(kSectionWatch, kKeyBitmapMenu));
}

TEST_F(ProfileTest, BitmapMenuDefaultsToOneAndKeepsNegatives) {
    const struct {
        const char* pszValue;
        int nExpected;
    } kCases[] = {{nullptr, 1}, {"0", 0}, {"-1", -1}, {"5", 5}};
    for (const auto& c : kCases) {
        Write(kSectionWatch, kKeyBitmapMenu, c.pszValue);
        EXPECT_EQ(c.nExpected, ReadBitmapMenuSetting()) << (c.pszValue ? c.pszValue : "<missing>");
    }
}

TEST_F(ProfileTest, BitmapMenuFromAnotherPath) {
    const std::string other = dir.Track("Other.ini");
    WritePrivateProfileStringA(kSectionWatch, kKeyBitmapMenu, "0", other.c_str());
    Write(kSectionWatch, kKeyBitmapMenu, "1");
    EXPECT_EQ(0, ReadBitmapMenuSettingFrom(other.c_str()));
    EXPECT_EQ(1, ReadBitmapMenuSettingFrom(dir.Child("Absent.ini").c_str()));
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, other.c_str());
}

TEST_F(ProfileTest, HostPrintCommandDefaultsAndRoundTrip) {
    EXPECT_EQ(0u, ReadHostPrintCmd("KESTRUNE.EXE", 0));
    EXPECT_EQ(kBrowserPrintCmdDefault, ReadHostPrintCmd("KESTRUNE.EXE", kBrowserPrintCmdDefault));
    WriteHostPrintCmd("KESTRUNE.EXE", 57607);
    EXPECT_EQ("57607", Raw("KESTRUNE.EXE", kKeyPrintCmd));
    EXPECT_EQ(57607u, ReadHostPrintCmd("KESTRUNE.EXE", 260));
}

TEST_F(ProfileTest, KeyListsKeepTheFileOrder) {
    Write(kSectionModules, "IEXPLORE.EXE", "1");
    Write(kSectionModules, "KESTRUNE.EXE", "1");
    Write(kSectionModules, "NOTEPAD.EXE", "1");
    EXPECT_EQ((std::vector<std::string>{"IEXPLORE.EXE", "KESTRUNE.EXE", "NOTEPAD.EXE"}), Keys(kSectionModules));
    EXPECT_TRUE(Keys(kSectionInclude).empty());
}

TEST_F(ProfileTest, NoProfileMeansEmptyLists) {
    char szList[16];
    std::memset(szList, 'x', sizeof szList);
    EXPECT_EQ(0u, ReadProfileKeyList(kSectionModules, szList, sizeof szList));  // file absent
    EXPECT_EQ('\0', szList[0]);
    Write(kSectionModules, "NOTEPAD.EXE", "1");
    g_szIniPath[0] = '\0';
    std::memset(szList, 'x', sizeof szList);
    EXPECT_EQ(0u, ReadProfileKeyList(kSectionModules, szList, sizeof szList));
    EXPECT_EQ('\0', szList[0]);
    EXPECT_EQ('\0', szList[1]);
    EXPECT_TRUE(ReadHookingEnabled());
    EXPECT_EQ(1, ReadBitmapMenuSetting());
}

struct NumberedCase {
    const char* pszName;
    const char* pszWatchPrint;              // null: missing
    std::vector<const char*> hostValues;    // Print1, Print2, ...; null: missing
    const char* pszExpected;                // the joined list, in reading order
};

class NumberedListTest : public ProfileTest, public ::testing::WithParamInterface<NumberedCase> {};

TEST_P(NumberedListTest, JoinsInReadingOrder) {
    const NumberedCase& c = GetParam();
    if (c.pszWatchPrint != nullptr) Write(kSectionWatch, kKeyPrint, c.pszWatchPrint);
    for (size_t i = 0; i < c.hostValues.size(); ++i) {
        if (c.hostValues[i] == nullptr) continue;
        const std::string key = "Print" + std::to_string(i + 1);
        Write("HOST.EXE", key.c_str(), c.hostValues[i]);
    }
    EXPECT_EQ(c.pszExpected, ReadJoinedNumberedKeys(kSectionWatch, kKeyPrint, "HOST.EXE", kStemPrint));
}

INSTANTIATE_TEST_SUITE_P(
    Lists, NumberedListTest,
    ::testing::Values(
        NumberedCase{"watch_then_host", "Print,Drucken,", {"Imprimer,"}, "Print,Drucken,Imprimer,"},
        NumberedCase{"missing_comma_runs_on", "Print,Drucken", {"Imprimer,"}, "Print,DruckenImprimer,"},
        NumberedCase{"gap_at_one_stops", "Print,", {nullptr, "Imprimer,"}, "Print,"},
        NumberedCase{"empty_value_stops", "Print,", {"", "Imprimer,"}, "Print,"},
        NumberedCase{"several_host_keys", nullptr, {"A,", "B,", "C,D,"}, "A,B,C,D,"},
        NumberedCase{"nothing", nullptr, {}, ""}),
    [](const ::testing::TestParamInfo<NumberedCase>& info) { return std::string(info.param.pszName); });

TEST_F(ProfileTest, BrowserMenuListHasNoFirstKey) {
    Write(kSectionWatch, kKeyPrint, "Print,");
    Write("HOST.EXE", "BrowserMenu1", "Favorites,");
    Write("HOST.EXE", "BrowserMenu2", "Tools,");
    EXPECT_EQ("Favorites,Tools,", ReadJoinedNumberedKeys(nullptr, nullptr, "HOST.EXE", kStemBrowserMenu));
}

TEST_F(ProfileTest, NumberedValuesAreCutAt255) {
    const std::string longValue(300, 'a');
    Write("HOST.EXE", "Print1", longValue.c_str());
    EXPECT_EQ(std::string(255, 'a'), ReadJoinedNumberedKeys(nullptr, nullptr, "HOST.EXE", kStemPrint));
}

TEST_F(ProfileTest, RewrittenListSectionHoldsEntriesInReverse) {
    Write(kSectionInclude, "(OLD)", "1");
    RewriteListSection(kSectionInclude, {"(NOTEPAD)", "(KESTRUNE)", "(WIN)"});
    EXPECT_EQ((std::vector<std::string>{"(WIN)", "(KESTRUNE)", "(NOTEPAD)"}), Keys(kSectionInclude));
    EXPECT_EQ("1", Raw(kSectionInclude, "(WIN)"));
    EXPECT_EQ("<missing>", Raw(kSectionInclude, "(OLD)"));

    RewriteListSection(kSectionInclude, {});
    char szSections[1024] = {};
    GetPrivateProfileSectionNamesA(szSections, sizeof szSections, ini.c_str());
    for (const std::string& section : SplitKeyList(szSections)) EXPECT_NE(kSectionInclude, section);
}

class ApplicationProfileTest : public ::testing::Test {
protected:
    static constexpr const char* kProfile = "PfcProfileTest";
    void TearDown() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VORLAND\\PfcProfileTest\\Settings");
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VORLAND\\PfcProfileTest");
        if (!m_bVendorExisted) RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VORLAND");
    }
    void SetValue(DWORD dwType, const void* pData, DWORD cb) {
        HKEY hKey = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VORLAND\\PfcProfileTest\\Settings", 0,
                                                 nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr));
        RegSetValueExA(hKey, "OEMID", 0, dwType, static_cast<const BYTE*>(pData), cb);
        RegCloseKey(hKey);
    }
    static bool Exists(const char* pszPath) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, pszPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
        RegCloseKey(hKey);
        return true;
    }
    bool m_bVendorExisted = Exists("Software\\VORLAND");
};

TEST_F(ApplicationProfileTest, OemIdIsADwordReadWithoutCreatingTheKey) {
    EXPECT_EQ(0u, ReadApplicationProfileInt("VORLAND", kProfile, "Settings", "OEMID", 0));
    EXPECT_FALSE(Exists("Software\\VORLAND\\PfcProfileTest")) << "a read must not create the profile";

    const DWORD dwId = 7;
    SetValue(REG_DWORD, &dwId, sizeof dwId);
    EXPECT_EQ(7u, ReadApplicationProfileInt("VORLAND", kProfile, "Settings", "OEMID", 0));
    SetValue(REG_SZ, "7", 2);
    EXPECT_EQ(0u, ReadApplicationProfileInt("VORLAND", kProfile, "Settings", "OEMID", 0));
}

}  // namespace
