// The mail job file handed to the sending program, the save-a-copy route
// without a mail system, the file dialog it asks through, and the phone book.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hook/base/shared_state.h"
#include "seam_recorder.h"
#include "send/mail_program.h"
#include "send/send_job.h"
#include "suite_key_sandbox.h"
#include "system_profile_sandbox.h"

using test_support::RegistryValueSandbox;
using test_support::SeamRecorder;
using test_support::SuiteKeySandbox;
using test_support::TempDirectory;

namespace {

std::vector<BYTE> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

bool CanOpenExclusively(const std::string& path) {
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return false;
    CloseHandle(hFile);
    return true;
}

// Points the temporary directory of this process somewhere for one test.
class ScopedTempVariable {
public:
    explicit ScopedTempVariable(const std::string& directory) {
        m_bHad = GetEnvironmentVariableA("TMP", m_szSaved, MAX_PATH) > 0;
        SetEnvironmentVariableA("TMP", directory.c_str());
    }
    ~ScopedTempVariable() { SetEnvironmentVariableA("TMP", m_bHad ? m_szSaved : nullptr); }

private:
    char m_szSaved[MAX_PATH] = {};
    bool m_bHad = false;
};

class SendJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_hSavedResources = g_hResourceModule;
        g_hResourceModule = GetModuleHandleA(nullptr);
        m_programDir.SetString(m_suite.path());
    }
    void TearDown() override {
        g_hResourceModule = m_hSavedResources;
        WIN32_FIND_DATAA data;
        HANDLE hFind = FindFirstFileA(m_temp.Child("~PF*.tmp").c_str(), &data);
        if (hFind == INVALID_HANDLE_VALUE) return;
        do {
            DeleteFileA(m_temp.Child(data.cFileName).c_str());
        } while (FindNextFileA(hFind, &data));
        FindClose(hFind);
    }
    // The job path is the last parameter of the sending program.
    std::string JobPathStarted() const {
        const std::string& parameters = recorder.launches.at(0).parameters;
        return parameters.substr(parameters.find(' ') + 1);
    }

    SuiteKeySandbox m_suiteKey;
    TempDirectory m_suite;
    TempDirectory m_temp;
    ScopedTempVariable m_tempVariable{m_temp.path()};
    RegistryValueSandbox m_programDir{HKEY_CLASSES_ROOT, send::kProgramDirectoryKey, nullptr};
    RegistryValueSandbox m_mailEngine{HKEY_CLASSES_ROOT, send::CurrentUserSettingKeyPath(send::kSettingMailEngine), nullptr};
    SeamRecorder recorder;
    HINSTANCE m_hSavedResources = nullptr;
};

TEST_F(SendJobTest, JobFileLayoutWithAnEmptyText) {
    // The test's resources have no string 27104: the text is the prefix alone.
    send::SendByMail();
    EXPECT_TRUE(recorder.messageBoxes.empty());
    ASSERT_EQ(1u, recorder.launches.size());
    EXPECT_EQ(m_suite.Child("VXMAIL32.EXE"), recorder.launches[0].file);
    const std::string path = JobPathStarted();
    EXPECT_EQ(0, path.rfind(m_temp.Child("~PF"), 0)) << path;
    EXPECT_EQ("-de6 " + path, recorder.launches[0].parameters);
    EXPECT_TRUE(CanOpenExclusively(path));  // closed before the program starts

    std::vector<BYTE> expected = {0x01, 0x00, 0x10, 0x00};
    expected.resize(4 + 552, 0);
    const std::string text = "{coversubject} ";
    expected.insert(expected.end(), text.begin(), text.end());
    expected.push_back(0);
    EXPECT_EQ(572u, expected.size());
    EXPECT_EQ(expected, ReadWholeFile(path));
}

TEST_F(SendJobTest, NoTemporaryNameStopsWithTheCreationMessage) {
    const std::string missing = m_temp.Child("does-not-exist\\");
    ScopedTempVariable noTemp(missing);
    send::SendByMail();
    EXPECT_TRUE(recorder.launches.empty());
    ASSERT_EQ(2u, recorder.messageBoxes.size());
    EXPECT_EQ("Job " + missing + " not created.", recorder.messageBoxes[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), recorder.messageBoxes[0].uType);
    EXPECT_EQ("The suite library reported an error.", recorder.messageBoxes[1].text);
    EXPECT_EQ(static_cast<UINT>(MB_SYSTEMMODAL), recorder.messageBoxes[1].uType);
}

TEST_F(SendJobTest, SendingProgramThatDoesNotStartIsReported) {
    for (bool bWithDirectory : {true, false}) {
        recorder.messageBoxes.clear();
        recorder.nShellResult = 2;
        if (!bWithDirectory) m_programDir.Remove();
        send::SendByMail();
        ASSERT_EQ(1u, recorder.messageBoxes.size()) << bWithDirectory;
        EXPECT_EQ("Sender not started.", recorder.messageBoxes[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_SYSTEMMODAL), recorder.messageBoxes[0].uType);
    }
}

TEST_F(SendJobTest, WriteFailuresAreReportedAndTheTextStepAlwaysCloses) {
    const std::string path = m_temp.AddFile("job.tmp", "x");
    platform::unique_file hReadOnly(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hReadOnly);
    const BYTE block[552] = {};
    EXPECT_FALSE(send::WriteJobBlock(path.c_str(), block, sizeof block, hReadOnly));
    EXPECT_TRUE(hReadOnly);  // the block step leaves the file to the text step
    EXPECT_FALSE(send::WriteJobText(path.c_str(), "text", hReadOnly));
    EXPECT_FALSE(hReadOnly);
    ASSERT_EQ(2u, recorder.messageBoxes.size());
    for (const auto& box : recorder.messageBoxes) {
        EXPECT_EQ("Job " + path + " not written.", box.text);
        EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), box.uType);
    }
    platform::unique_file hFile;
    EXPECT_FALSE(send::WriteJobHeader(m_temp.Child("no-dir\\job.tmp").c_str(), 1, "", hFile));
    EXPECT_FALSE(hFile);
    EXPECT_EQ("Job " + m_temp.Child("no-dir\\job.tmp") + " not created.", recorder.messageBoxes.at(2).text);
}

class SaveCopyTest : public SendJobTest {
protected:
    void SetUp() override {
        SendJobTest::SetUp();
        m_mailEngine.SetString("4");
        m_viewer = m_suite.AddFile("Yarrow.exe", "the viewer");
        SuiteKeySandbox::SetString(kRootLocalMachine, "CommonDirectory", m_suite.path());
        m_saved = m_temp.AddDirectory("saved");
        m_lastSaved = m_temp.AddFile("saved\\letter.qvd");
        SuiteKeySandbox::SetString(kRootCurrentUser, "LastSaveFilePath", m_lastSaved);
    }
    std::string m_viewer;
    std::string m_saved;
    std::string m_lastSaved;
};

TEST_F(SaveCopyTest, ConfirmedDialogCopiesTheViewer) {
    recorder.fileDialogChoice = m_temp.Track("copy.exe");
    send::SendByMail();
    EXPECT_TRUE(recorder.launches.empty());
    EXPECT_TRUE(recorder.messageBoxes.empty());
    ASSERT_EQ(1u, recorder.fileDialogs.size());
    const auto& dialog = recorder.fileDialogs[0];
    EXPECT_TRUE(dialog.bSave);
    EXPECT_EQ(nullptr, dialog.hOwner);
    EXPECT_EQ("Documents (*.qvd)|*.qvd|All files (*.*)|*.*|", dialog.filter);
    EXPECT_EQ(m_saved, dialog.initialDir);
    EXPECT_EQ("Yarrow.exe", dialog.file);
    EXPECT_EQ("Save Copy As", dialog.title);  // the text after the line break
    EXPECT_EQ("qvd", dialog.defaultExtension);
    EXPECT_EQ(static_cast<DWORD>(0x8806), dialog.dwFlags);
    EXPECT_EQ(ReadWholeFile(m_viewer), ReadWholeFile(recorder.fileDialogChoice));
}

TEST_F(SaveCopyTest, LastSavePathNamingAFolderWithItsBackslash) {
    SuiteKeySandbox::SetString(kRootCurrentUser, "LastSaveFilePath", m_saved + "\\");
    recorder.bFileDialogConfirms = false;
    send::SendByMail();
    ASSERT_EQ(1u, recorder.fileDialogs.size());
    EXPECT_EQ(m_saved + "\\", recorder.fileDialogs[0].initialDir);
    EXPECT_EQ("Yarrow.exe", recorder.fileDialogs[0].file);
    // Cancelled: nothing copied, nothing shown.
    EXPECT_TRUE(recorder.messageBoxes.empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((m_saved + "\\Yarrow.exe").c_str()));
}

TEST_F(SaveCopyTest, FailuresBeforeAndAfterTheDialog) {
    recorder.fileDialogChoice = m_temp.Child("no-dir\\copy.exe");
    send::SendByMail();
    ASSERT_EQ(1u, recorder.messageBoxes.size());
    EXPECT_EQ("Copy to " + recorder.fileDialogChoice + " failed.", recorder.messageBoxes[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_SYSTEMMODAL), recorder.messageBoxes[0].uType);

    for (const char* pszMissing : {"LastSaveFilePath", "CommonDirectory"}) {
        recorder.messageBoxes.clear();
        recorder.fileDialogs.clear();
        SuiteKeySandbox::Set(pszMissing == std::string("CommonDirectory") ? kRootLocalMachine : kRootCurrentUser,
                             pszMissing, REG_SZ, "", 1);
        send::SendByMail();
        EXPECT_TRUE(recorder.fileDialogs.empty()) << pszMissing;
        ASSERT_EQ(1u, recorder.messageBoxes.size()) << pszMissing;
        EXPECT_EQ("The suite library reported an error.", recorder.messageBoxes[0].text);
    }
}

TEST_F(SendJobTest, FileDialogForOpeningAndWithoutSplitOrTitle) {
    char szPath[MAX_PATH] = "report";
    recorder.fileDialogChoice = "C:\\chosen\\report.txt";
    DWORD dwFilterIndex = 0;
    EXPECT_TRUE(send::AskFileName(szPath, "Text|*|", 0, true, &dwFilterIndex));
    EXPECT_STREQ("C:\\chosen\\report.txt", szPath);
    ASSERT_EQ(1u, recorder.fileDialogs.size());
    const auto& dialog = recorder.fileDialogs[0];
    EXPECT_FALSE(dialog.bSave);
    EXPECT_EQ(static_cast<DWORD>(0x1004), dialog.dwFlags);
    EXPECT_EQ("report", dialog.file);
    EXPECT_EQ("<null>", dialog.initialDir);
    EXPECT_EQ("<null>", dialog.title);
    EXPECT_EQ("<null>", dialog.defaultExtension);  // no "." in the filter

    // A cancelled dialog leaves the file-name part in the path.
    char szProposed[MAX_PATH] = "C:\\dir\\name.qvd";
    recorder.bFileDialogConfirms = false;
    EXPECT_FALSE(send::AskFileName(szProposed, "Q|*.q|", IDS_SAVE_TITLE, false));
    EXPECT_STREQ("name.qvd", szProposed);
    EXPECT_EQ("q|", recorder.fileDialogs.at(1).defaultExtension);  // three characters, whatever they are
}

TEST_F(SendJobTest, PhonebookModesAndMissingPath) {
    const std::string phonebook = m_suite.AddFile("PvPhone.exe");
    SuiteKeySandbox::SetString(kRootLocalMachine, "QOVISendDirectory", m_suite.path());
    SuiteKeySandbox::SetString(kRootLocalMachine, "QOVIPhonebookName", "PvPhone.exe");
    const HWND hOwner = GetDesktopWindow();
    for (int nMode : {0, 1, 5}) {
        recorder.launches.clear();
        send::OpenPhonebook(hOwner, nMode);
        ASSERT_EQ(1u, recorder.launches.size());
        EXPECT_EQ(hOwner, recorder.launches[0].hWnd);
        EXPECT_EQ(0, lstrcmpiA(phonebook.c_str(), recorder.launches[0].file.c_str()));
        EXPECT_EQ(nMode == 0 ? "/B" : "", recorder.launches[0].parameters) << nMode;
    }
    recorder.launches.clear();
    DeleteFileA(phonebook.c_str());
    send::OpenPhonebook(hOwner, 0);
    EXPECT_TRUE(recorder.launches.empty());
    ASSERT_EQ(1u, recorder.messageBoxes.size());
    EXPECT_EQ("The suite library reported an error.", recorder.messageBoxes[0].text);
}

}  // namespace
