// Messages by number with their inserts, the library-result check, shell
// launches and the brand choice, recorded through the seams.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "hook/base/shared_state.h"
#include "seam_recorder.h"
#include "suite/user_messages.h"
#include "suite_key_sandbox.h"

using test_support::SeamRecorder;
using test_support::SuiteKeySandbox;

namespace {

constexpr UINT kIdsTwoInserts = 60901;
constexpr UINT kIdsNoInserts = 60902;

class UserMessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_hSavedResources = g_hResourceModule;
        g_hResourceModule = GetModuleHandleA(nullptr);
    }
    void TearDown() override { g_hResourceModule = m_hSavedResources; }

    SeamRecorder recorder;
    HINSTANCE m_hSavedResources = nullptr;
};

struct InsertCase {
    UINT uId;
    const char* pszInsert1;
    const char* pszInsert2;
    const char* pszExpected;
};

TEST_F(UserMessagesTest, InsertsReplacePlaceholdersLiterally) {
    const InsertCase kCases[] = {
        {kIdsTwoInserts, "a.txt", "b.txt", "Copy a.txt to b.txt (a.txt)."},
        {kIdsTwoInserts, nullptr, nullptr, "Copy  to  ()."},
        // An inserted text is not searched again, and printf directives in it
        // or in the template are plain text.
        {kIdsTwoInserts, "%2 %s %d", "x", "Copy %2 %s %d to x (%2 %s %d)."},
        {kIdsNoInserts, "unused", nullptr, "No inserts here: 100%."},
        {IDS_LAUNCH_FAILED, "C:\\Tools\\run.exe", nullptr, "Cannot start C:\\Tools\\run.exe."},
    };
    for (const InsertCase& c : kCases) {
        recorder.messageBoxes.clear();
        ShowFormattedMessage(c.uId, c.pszInsert1, MB_OK, c.pszInsert2);
        ASSERT_EQ(1u, recorder.messageBoxes.size());
        EXPECT_EQ(c.pszExpected, recorder.messageBoxes[0].text);
    }
}

TEST_F(UserMessagesTest, TitleTypeAndAnswerPassThrough) {
    recorder.nMessageBoxResult = IDCANCEL;
    EXPECT_EQ(IDCANCEL, ShowFormattedMessage(kIdsNoInserts, nullptr, MB_OKCANCEL | MB_SYSTEMMODAL));
    ASSERT_EQ(1u, recorder.messageBoxes.size());
    EXPECT_EQ("Tellarine", recorder.messageBoxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL | MB_SYSTEMMODAL), recorder.messageBoxes[0].uType);
}

TEST_F(UserMessagesTest, LibraryResultsSilentOrShown) {
    const struct {
        LibraryErrorCode dwCode;
        BOOL bResult;
        bool bShown;
    } kCases[] = {
        {LIBERR_OK, TRUE, false},          {LIBERR_CANCELLED, FALSE, false}, {LIBERR_FORBIDDEN, FALSE, false},
        {LIBERR_MACHINE_FAULT, FALSE, false}, {LIBERR_BAD_ARGUMENT, FALSE, true}, {LIBERR_NOT_FOUND, FALSE, true},
        {LIBERR_VERSION, FALSE, true},     {LIBERR_INVALID_DATA, FALSE, true}, {LIBERR_OLD_VERSION, FALSE, true},
    };
    for (const auto& c : kCases) {
        recorder.messageBoxes.clear();
        EXPECT_EQ(c.bResult, CheckLibraryResult(c.dwCode)) << c.dwCode;
        ASSERT_EQ(c.bShown ? 1u : 0u, recorder.messageBoxes.size()) << c.dwCode;
        if (c.bShown) {
            EXPECT_EQ("The suite library reported an error.", recorder.messageBoxes[0].text);
            EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), recorder.messageBoxes[0].uType);
        }
    }
}

TEST_F(UserMessagesTest, ShellLaunchesAndTheirFailureMessage) {
    HWND hOwner = GetDesktopWindow();
    EXPECT_TRUE(ShellOpenFile(hOwner, "C:\\docs\\readme.txt"));
    EXPECT_TRUE(RunProgram(hOwner, "C:\\suite\\book.exe", "/a b"));
    ASSERT_EQ(2u, recorder.launches.size());
    EXPECT_TRUE(recorder.messageBoxes.empty());
    const auto& open = recorder.launches[0];
    EXPECT_EQ(hOwner, open.hWnd);
    EXPECT_EQ("open", open.verb);
    EXPECT_EQ("C:\\docs\\readme.txt", open.file);
    EXPECT_EQ("<null>", open.parameters);
    EXPECT_EQ("<null>", open.directory);
    EXPECT_EQ(SW_SHOWNORMAL, open.nShowCmd);
    const auto& run = recorder.launches[1];
    EXPECT_EQ("<null>", run.verb);
    EXPECT_EQ("/a b", run.parameters);
    EXPECT_EQ(SW_SHOWNORMAL, run.nShowCmd);

    // 32 is the first success; anything below is a failure with message 61729.
    for (INT_PTR nResult : {INT_PTR(32), INT_PTR(31), INT_PTR(0)}) {
        recorder.messageBoxes.clear();
        recorder.nShellResult = nResult;
        EXPECT_EQ(nResult >= 32, RunProgram(hOwner, "C:\\x.exe", nullptr) != FALSE) << nResult;
        ASSERT_EQ(nResult >= 32 ? 0u : 1u, recorder.messageBoxes.size());
        if (nResult < 32) {
            EXPECT_EQ("Cannot start C:\\x.exe.", recorder.messageBoxes[0].text);
            EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), recorder.messageBoxes[0].uType);
        }
    }
}

TEST_F(UserMessagesTest, BrandFollowsTheSuiteFlags) {
    SuiteKeySandbox sandbox;
    const struct {
        BYTE bInfo;
        UINT uBrand;
    } kCases[] = {{0, IDS_BRAND_DEFAULT},
                  {1, IDS_BRAND_DEFAULT},
                  {2, IDS_BRAND_ALTERNATE},
                  {3, IDS_BRAND_DEFAULT},
                  {6, IDS_BRAND_ALTERNATE}};
    for (const auto& c : kCases) {
        SuiteKeySandbox::SetBinary(kRootLocalMachine, "ParvaneInfo", {c.bInfo, 0, 0, 0});
        EXPECT_EQ(c.uBrand, GetBrandResourceId()) << int(c.bInfo);
    }
    EXPECT_TRUE(recorder.messageBoxes.empty());

    SuiteKeySandbox::SetDword(kRootLocalMachine, "ParvaneInfo", 2);
    EXPECT_EQ(IDS_BRAND_DEFAULT, GetBrandResourceId());
    ASSERT_EQ(1u, recorder.messageBoxes.size()) << "an unreadable value is reported";
    EXPECT_EQ("The suite library reported an error.", recorder.messageBoxes[0].text);
}

}  // namespace
