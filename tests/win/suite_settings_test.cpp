// The suite key: numbers as REG_BINARY, strings as REG_SZ, paths that must
// exist, and the installation check that may start the installer.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "seam_recorder.h"
#include "suite/library_frame.h"
#include "suite/suite_settings.h"
#include "suite_key_sandbox.h"

using test_support::SeamRecorder;
using test_support::SuiteKeySandbox;
using test_support::TempDirectory;

namespace {

constexpr int HKLM = kRootLocalMachine;
constexpr int HKCU = kRootCurrentUser;

std::string LongPathOf(const std::string& path) {
    char szLong[MAX_PATH] = {};
    GetLongPathNameA(path.c_str(), szLong, MAX_PATH);
    return szLong;
}

class SuiteSettingsTest : public ::testing::Test {
protected:
    SuiteKeySandbox sandbox;
};

// --- installed version ------------------------------------------------------

struct VersionCase {
    const char* pszName;
    DWORD dwType;
    std::vector<BYTE> bytes;
    LibraryErrorCode dwCode;
    int nMajor, nMinor, bIsCurrent, bFlag;
};

class InstallVersionTest : public SuiteSettingsTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(InstallVersionTest, DecodesTheStoredWord) {
    const VersionCase& c = GetParam();
    if (c.dwType != REG_NONE)
        SuiteKeySandbox::Set(HKCU, "InstallVersion", c.dwType, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
    int nMajor = -1, nMinor = -1, bIsCurrent = -1, bFlag = -1;
    EXPECT_EQ(c.dwCode, GetInstallVersion(&nMajor, &nMinor, &bIsCurrent, &bFlag));
    if (c.dwCode == LIBERR_OK) {
        EXPECT_EQ(c.nMajor, nMajor);
        EXPECT_EQ(c.nMinor, nMinor);
        EXPECT_EQ(c.bIsCurrent, bIsCurrent);
        EXPECT_EQ(c.bFlag, bFlag);
    } else {
        // A failed read hands nothing out.
        EXPECT_EQ(-1, nMajor);
        EXPECT_EQ(-1, bFlag);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Words, InstallVersionTest,
    ::testing::Values(
        VersionCase{"v24_installed_flag_clear", REG_BINARY, {0x01, 0x00, 0x04, 0x02}, LIBERR_OK, 2, 4, 1, 0},
        VersionCase{"v23_flag_set", REG_BINARY, {0x03, 0x00, 0x03, 0x02}, LIBERR_OK, 2, 3, 0, 1},
        VersionCase{"v30_is_current", REG_BINARY, {0x01, 0x00, 0x00, 0x03}, LIBERR_OK, 3, 0, 1, 0},
        VersionCase{"v19_is_old", REG_BINARY, {0x01, 0x00, 0x09, 0x01}, LIBERR_OK, 1, 9, 0, 0},
        VersionCase{"longer_value_uses_first_four", REG_BINARY, {0x01, 0x00, 0x05, 0x02, 0xFF}, LIBERR_OK, 2, 5, 1, 0},
        VersionCase{"not_installed_bit", REG_BINARY, {0x02, 0x00, 0x04, 0x02}, LIBERR_INVALID_DATA, 0, 0, 0, 0},
        VersionCase{"three_bytes", REG_BINARY, {0x01, 0x00, 0x04}, LIBERR_INVALID_DATA, 0, 0, 0, 0},
        VersionCase{"dword_reads_as_missing", REG_DWORD, {0x01, 0x00, 0x04, 0x02}, LIBERR_INVALID_DATA, 0, 0, 0, 0},
        VersionCase{"missing", REG_NONE, {}, LIBERR_INVALID_DATA, 0, 0, 0, 0}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.pszName); });

TEST_F(SuiteSettingsTest, InstallVersionIsReadFromTheUserRootOnly) {
    SuiteKeySandbox::SetBinary(HKLM, "InstallVersion", {0x01, 0x00, 0x04, 0x02});
    int nMajor = 0, nMinor = 0;
    EXPECT_EQ(LIBERR_INVALID_DATA, GetInstallVersion(&nMajor, &nMinor, nullptr, nullptr));
}

// --- installation check -----------------------------------------------------

class InstallationCheckTest : public SuiteSettingsTest {
protected:
    void SetUp() override {
        installer = dir.AddFile("Setup.exe");
        SuiteKeySandbox::SetString(HKLM, "CommonDirectory", dir.path());
        SuiteKeySandbox::SetString(HKLM, "InstallerName", "Setup.exe");
    }
    TempDirectory dir;
    std::string installer;
    SeamRecorder recorder;
};

TEST_F(InstallationCheckTest, OldVersionWithoutLaunchIsAMismatch) {
    SuiteKeySandbox::SetBinary(HKCU, "InstallVersion", {0x03, 0x00, 0x03, 0x02});
    int bFlag = -1;
    EXPECT_EQ(LIBERR_VERSION, CheckInstallation(false, &bFlag));
    EXPECT_TRUE(recorder.launches.empty());
}

TEST_F(InstallationCheckTest, OldVersionWithLaunchStartsTheUpdateAndCancels) {
    SuiteKeySandbox::SetBinary(HKCU, "InstallVersion", {0x03, 0x00, 0x03, 0x02});
    EXPECT_EQ(LIBERR_CANCELLED, CheckInstallation(true, nullptr));
    ASSERT_EQ(1u, recorder.launches.size());
    const auto& launch = recorder.launches[0];
    EXPECT_EQ(GetDesktopWindow(), launch.hWnd);
    EXPECT_EQ("open", launch.verb);
    EXPECT_STRCASEEQ(LongPathOf(installer).c_str(), launch.file.c_str());
    EXPECT_EQ("/UPDATE", launch.parameters);
    EXPECT_EQ("<null>", launch.directory);
    EXPECT_EQ(SW_SHOW, launch.nShowCmd);
}

TEST_F(InstallationCheckTest, MissingVersionWithLaunchAlsoStartsTheUpdate) {
    EXPECT_EQ(LIBERR_CANCELLED, CheckInstallation(true, nullptr));
    EXPECT_EQ(1u, recorder.launches.size());
}

TEST_F(InstallationCheckTest, CurrentVersionLaunchesNothing) {
    SuiteKeySandbox::SetBinary(HKCU, "InstallVersion", {0x03, 0x00, 0x04, 0x02});
    int bFlag = -1;
    EXPECT_EQ(LIBERR_OK, CheckInstallation(true, &bFlag));
    EXPECT_EQ(1, bFlag);
    EXPECT_TRUE(recorder.launches.empty());
}

TEST_F(InstallationCheckTest, InstallerThatCannotBeFoundOrStartedIsNotFound) {
    SuiteKeySandbox::SetBinary(HKCU, "InstallVersion", {0x01, 0x00, 0x03, 0x02});
    recorder.nShellResult = SE_ERR_FNF;
    EXPECT_EQ(LIBERR_NOT_FOUND, CheckInstallation(true, nullptr));
    EXPECT_EQ(1u, recorder.launches.size());

    recorder.nShellResult = 42;
    SuiteKeySandbox::SetString(HKLM, "InstallerName", "Absent.exe");
    EXPECT_EQ(LIBERR_NOT_FOUND, CheckInstallation(true, nullptr));
    EXPECT_EQ(1u, recorder.launches.size()) << "no launch of a file that is not there";
}

TEST_F(InstallationCheckTest, LaunchWithoutSwitchPassesNoParameters) {
    EXPECT_EQ(LIBERR_OK, LaunchInstaller(false));
    ASSERT_EQ(1u, recorder.launches.size());
    EXPECT_EQ("<null>", recorder.launches[0].parameters);
}

// --- printers and flags -------------------------------------------------------

TEST_F(SuiteSettingsTest, SendPrinterNamesByKind) {
    const char* const kValues[] = {"ParvanePrinter", "QOVISendPrinter", "OEM1Printer", "OEM2Printer", "OEM3Printer"};
    for (int nKind = 1; nKind <= 5; ++nKind)
        SuiteKeySandbox::SetString(HKLM, kValues[nKind - 1], std::string("Printer ") + char('0' + nKind));
    for (int nKind = 1; nKind <= 5; ++nKind) {
        std::string name;
        EXPECT_EQ(LIBERR_OK, GetSendPrinterName(nKind, &name)) << nKind;
        EXPECT_EQ(std::string("Printer ") + char('0' + nKind), name);
    }
}

TEST_F(SuiteSettingsTest, SendPrinterFailures) {
    const std::string kUntouched = "untouched";
    for (int nKind : {0, 6, -1}) {
        std::string name = kUntouched;
        EXPECT_EQ(LIBERR_BAD_ARGUMENT, GetSendPrinterName(nKind, &name)) << nKind;
        EXPECT_EQ(kUntouched, name);
    }
    std::string name = kUntouched;
    EXPECT_EQ(LIBERR_NOT_FOUND, GetSendPrinterName(1, &name));  // missing
    SuiteKeySandbox::SetString(HKLM, "ParvanePrinter", "");
    EXPECT_EQ(LIBERR_NOT_FOUND, GetSendPrinterName(1, &name));  // empty
    SuiteKeySandbox::SetString(HKLM, "ParvanePrinter", "Fax", REG_EXPAND_SZ);
    EXPECT_EQ(LIBERR_NOT_FOUND, GetSendPrinterName(1, &name));  // wrong type
    SuiteKeySandbox::SetString(HKCU, "QOVISendPrinter", "Fax");
    EXPECT_EQ(LIBERR_NOT_FOUND, GetSendPrinterName(2, &name));  // wrong root
}

TEST_F(SuiteSettingsTest, StringStoredWithoutTerminatorReadsBounded) {
    // Some writers leave out the NUL; the value must still end where it ends.
    SuiteKeySandbox::Set(HKLM, "OEM1Printer", REG_SZ, "LongerValue", 11);
    SuiteKeySandbox::Set(HKLM, "OEM2Printer", REG_SZ, "Short", 5);
    std::string name;
    ASSERT_EQ(LIBERR_OK, GetSendPrinterName(3, &name));
    EXPECT_EQ("LongerValue", name);
    ASSERT_EQ(LIBERR_OK, GetSendPrinterName(4, &name));
    EXPECT_EQ("Short", name);
}

TEST_F(SuiteSettingsTest, ParvaneInfoIsALocalMachineNumber) {
    DWORD dwInfo = 0xDEAD;
    EXPECT_EQ(LIBERR_INVALID_DATA, GetParvaneInfo(&dwInfo));
    EXPECT_EQ(0xDEADu, dwInfo);
    SuiteKeySandbox::SetDword(HKLM, "ParvaneInfo", 2);
    EXPECT_EQ(LIBERR_INVALID_DATA, GetParvaneInfo(&dwInfo));
    SuiteKeySandbox::SetBinary(HKLM, "ParvaneInfo", {0x02, 0x01, 0x00, 0x80});
    EXPECT_EQ(LIBERR_OK, GetParvaneInfo(&dwInfo));
    EXPECT_EQ(0x80000102u, dwInfo);
}

// --- last output options --------------------------------------------------------

struct OptionsCase {
    const char* pszName;
    DWORD dwOldType;  // REG_NONE: missing
    DWORD dwOld;
    DWORD dwSet, dwClear;
    DWORD dwExpected;
};

class LastOutputOptionsTest : public SuiteSettingsTest, public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(LastOutputOptionsTest, WritesFourLittleEndianBytes) {
    const OptionsCase& c = GetParam();
    if (c.dwOldType != REG_NONE) SuiteKeySandbox::Set(HKCU, "LastOutputOptions", c.dwOldType, &c.dwOld, 4);
    ASSERT_EQ(LIBERR_OK, UpdateLastOutputOptions(c.dwSet, c.dwClear));
    const auto stored = SuiteKeySandbox::Get(HKCU, "LastOutputOptions");
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), stored.dwType);
    const std::vector<BYTE> expected = {BYTE(c.dwExpected), BYTE(c.dwExpected >> 8), BYTE(c.dwExpected >> 16),
                                        BYTE(c.dwExpected >> 24)};
    EXPECT_EQ(expected, stored.data);
}

INSTANTIATE_TEST_SUITE_P(
    Options, LastOutputOptionsTest,
    ::testing::Values(OptionsCase{"missing_starts_from_zero", REG_NONE, 0, 2, 255, 2},
                      OptionsCase{"clears_then_sets", REG_BINARY, 0x0000010F, 0x10, 0x03, 0x0000011C},
                      OptionsCase{"high_bytes_survive", REG_BINARY, 0xA5000001, 0x02, 0x01, 0xA5000002},
                      OptionsCase{"dword_counts_as_missing", REG_DWORD, 0xFF, 0x04, 0, 0x04}),
    [](const ::testing::TestParamInfo<OptionsCase>& info) { return std::string(info.param.pszName); });

// --- composed paths -------------------------------------------------------------

class SuitePathTest : public SuiteSettingsTest {
protected:
    TempDirectory dir;
    char szPath[MAX_PATH] = "untouched";
};

TEST_F(SuitePathTest, ProfilePathJoinsWithOneBackslash) {
    const std::string ini = dir.AddFile("PvPfcW32.ini");
    for (const std::string& directory : {dir.path(), dir.path() + "\\"}) {
        SuiteKeySandbox::SetString(HKLM, "CommonDirectory", directory);
        ASSERT_EQ(LIBERR_OK, GetProfilePath(szPath)) << directory;
        EXPECT_STRCASEEQ(LongPathOf(ini).c_str(), szPath);
        EXPECT_EQ(nullptr, std::strstr(szPath, "\\\\")) << szPath;
    }
}

TEST_F(SuitePathTest, FixedFileNamesBesideTheProfile) {
    const std::string ole = dir.AddFile("PvPfcOle.exe");
    const std::string yarrow = dir.AddFile("Yarrow.exe");
    SuiteKeySandbox::SetString(HKLM, "CommonDirectory", dir.path());
    ASSERT_EQ(LIBERR_OK, GetOleHelperPath(szPath));
    EXPECT_STRCASEEQ(LongPathOf(ole).c_str(), szPath);
    ASSERT_EQ(LIBERR_OK, GetYarrowPath(szPath));
    EXPECT_STRCASEEQ(LongPathOf(yarrow).c_str(), szPath);
}

TEST_F(SuitePathTest, MissingPiecesAreNotFoundAndLeaveTheOutputAlone) {
    // No directory value at all.
    EXPECT_EQ(LIBERR_NOT_FOUND, GetProfilePath(szPath));
    // The directory exists but the profile does not.
    SuiteKeySandbox::SetString(HKLM, "CommonDirectory", dir.path());
    EXPECT_EQ(LIBERR_NOT_FOUND, GetProfilePath(szPath));
    // A directory where a file must be.
    dir.AddDirectory("PvPfcW32.ini");
    EXPECT_EQ(LIBERR_NOT_FOUND, GetProfilePath(szPath));
    // An empty or expandable directory value.
    dir.AddFile("Yarrow.exe");
    SuiteKeySandbox::SetString(HKLM, "CommonDirectory", "");
    EXPECT_EQ(LIBERR_NOT_FOUND, GetYarrowPath(szPath));
    SuiteKeySandbox::SetString(HKLM, "CommonDirectory", dir.path(), REG_EXPAND_SZ);
    EXPECT_EQ(LIBERR_NOT_FOUND, GetYarrowPath(szPath));
    EXPECT_STREQ("untouched", szPath);
}

TEST_F(SuitePathTest, FileNameFromASecondValue) {
    const std::string book = dir.AddFile("Book.exe");
    SuiteKeySandbox::SetString(HKLM, "QOVISendDirectory", dir.path());
    EXPECT_EQ(LIBERR_NOT_FOUND, GetPhonebookPath(szPath));  // no file value
    SuiteKeySandbox::SetString(HKLM, "QOVIPhonebookName", "");
    EXPECT_EQ(LIBERR_NOT_FOUND, GetPhonebookPath(szPath));  // empty file value
    SuiteKeySandbox::SetString(HKLM, "QOVIPhonebookName", "Book.exe");
    ASSERT_EQ(LIBERR_OK, GetPhonebookPath(szPath));
    EXPECT_STRCASEEQ(LongPathOf(book).c_str(), szPath);
}

TEST_F(SuitePathTest, LastSaveFileIsAWholePathUnderTheUserRoot) {
    const std::string saved = dir.AddFile("Saved document.txt");
    SuiteKeySandbox::SetString(HKLM, "LastSaveFilePath", saved);
    EXPECT_EQ(LIBERR_NOT_FOUND, GetLastSaveFilePath(szPath));
    SuiteKeySandbox::SetString(HKCU, "LastSaveFilePath", saved);
    ASSERT_EQ(LIBERR_OK, GetLastSaveFilePath(szPath));
    EXPECT_STRCASEEQ(LongPathOf(saved).c_str(), szPath);
}

TEST_F(SuitePathTest, ShortNamesComeBackInLongForm) {
    const std::string longName = dir.AddFile("A rather long file name.document");
    char szShort[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA(longName.c_str(), szShort, MAX_PATH));
    ASSERT_STRCASENE(longName.c_str(), szShort) << "the file system gives no short names";
    SuiteKeySandbox::SetString(HKCU, "LastSaveFilePath", szShort);
    for (bool bShell : {false, true}) {
        UseShellLongPathForTesting(bShell);
        std::strcpy(szPath, "untouched");
        const LibraryErrorCode dwCode = GetLastSaveFilePath(szPath);
        UseShellLongPathForTesting(false);
        ASSERT_EQ(LIBERR_OK, dwCode) << (bShell ? "shell" : "kernel");
        EXPECT_STRCASEEQ(LongPathOf(longName).c_str(), szPath) << (bShell ? "shell" : "kernel");
    }
}

// --- registry layer -------------------------------------------------------------

TEST_F(SuiteSettingsTest, KeyScopeRestoresThePathWhenAnErrorPasses) {
    SetCurrentKeyPath("Outer\\Key");
    const LibraryErrorCode dwCode = RunLibraryFacade([] {
        RegKeyScope scope(kSuiteKeyPath);
        EXPECT_EQ(kSuiteKeyPath, GetCurrentKeyPath());
        DWORD cb = 4;
        std::vector<BYTE> value;
        QueryCurrentValue(REG_BINARY, "NoSuchValue", &cb, HKCU, true, &value);
    });
    EXPECT_EQ(LIBERR_INVALID_DATA, dwCode);
    EXPECT_EQ("Outer\\Key", GetCurrentKeyPath());
    EXPECT_EQ(LIBERR_OK, GetLibraryErrorCode()) << "the error state is left clean";
    SetCurrentKeyPath("");
}

TEST_F(SuiteSettingsTest, QueryReportsTheSizeRead) {
    SuiteKeySandbox::SetBinary(HKCU, "Blob", {1, 2, 3, 4, 5, 6});
    RegKeyScope scope(kSuiteKeyPath);
    DWORD cb = 4;
    const BYTE* pData = nullptr;
    std::vector<BYTE> value;
    EXPECT_EQ(LIBERR_OK,
              RunLibraryFacade([&] { pData = QueryCurrentValue(REG_BINARY, "Blob", &cb, HKCU, true, &value); }));
    ASSERT_NE(nullptr, pData);
    EXPECT_EQ(6u, cb);
    EXPECT_EQ(0, std::memcmp(pData, "\1\2\3\4\5\6", 6));
    cb = 7;
    EXPECT_EQ(nullptr, QueryCurrentValue(REG_BINARY, "Blob", &cb, HKCU, false, &value)) << "shorter than asked";
}

TEST_F(SuiteSettingsTest, WriteThatCannotOpenItsKeyIsAWriteFailure) {
    // A key name longer than the registry allows cannot be created.
    const std::string badKey(MAX_PATH - 1, 'x');
    EXPECT_EQ(LIBERR_ACCESS_DENIED, WriteSuiteDword(badKey.c_str(), "Value", 1));
    RegDeleteKeyA(HKEY_CURRENT_USER, badKey.c_str());
    EXPECT_EQ(LIBERR_OK, GetLibraryErrorCode());
}

// Hosts build popups and look up send printers on several threads at once:
// each read sees its own key and value, whole.
TEST_F(SuiteSettingsTest, ThreadsReadingAtOnceEachGetTheirOwnValueWhole) {
    const char* const kPrinterValues[] = {"ParvanePrinter", "QOVISendPrinter", "OEM1Printer", "OEM2Printer",
                                          "OEM3Printer"};
    for (int nKind = 1; nKind <= 5; ++nKind)
        SuiteKeySandbox::SetString(HKLM, kPrinterValues[nKind - 1],
                                   std::string(20 * nKind, static_cast<char>('A' + nKind)) + " printer");
    SuiteKeySandbox::SetBinary(HKLM, "ParvaneInfo", {3, 0, 0, 0});
    std::atomic<bool> bStop{false};
    std::atomic<long> nReads{0};
    std::atomic<long> nBad{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 8; ++t) {
        readers.emplace_back([&, t] {
            while (!bStop) {
                if (t % 3 == 2) {
                    DWORD dwInfo = 0;
                    if (GetParvaneInfo(&dwInfo) != LIBERR_OK || dwInfo != 3) ++nBad;
                } else {
                    const int nKind = t % 5 + 1;
                    std::string name;
                    if (GetSendPrinterName(nKind, &name) != LIBERR_OK ||
                        name != std::string(20 * nKind, static_cast<char>('A' + nKind)) + " printer")
                        ++nBad;
                }
                ++nReads;
            }
        });
    }
    Sleep(10000);
    bStop = true;
    for (std::thread& reader : readers) reader.join();
    EXPECT_GT(nReads.load(), 1000);
    EXPECT_EQ(0, nBad.load()) << "of " << nReads.load() << " reads";
}

}  // namespace
