// The library frame: system errors mapped onto codes, raising and recording,
// the facade's catch of machine faults, and start and stop.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>

#include "seam_recorder.h"
#include "suite/library_frame.h"
#include "suite/suite_settings.h"
#include "suite/user_messages.h"

namespace {

TEST(LibraryFrameTest, SystemErrorsMapOntoCodes) {
    const struct {
        DWORD dwError;
        LibraryErrorCode dwCode;
    } kCases[] = {
        {0, LIBERR_OK},          {1, LIBERR_INVALID_FUNCTION}, {2, LIBERR_NOT_FOUND},      {3, LIBERR_NOT_FOUND},
        {5, LIBERR_ACCESS_DENIED}, {8, LIBERR_OUT_OF_MEMORY},  {14, LIBERR_OUT_OF_MEMORY}, {11, LIBERR_BAD_FORMAT},
        {13, LIBERR_INVALID_DATA}, {38, LIBERR_END_OF_FILE},   {63, LIBERR_CANCELLED},     {1223, LIBERR_CANCELLED},
        {87, LIBERR_BAD_ARGUMENT}, {122, LIBERR_BUFFER_TOO_SMALL}, {32, LIBERR_SYSTEM},    {4, LIBERR_SYSTEM},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(c.dwCode, MapWin32Error(c.dwError)) << c.dwError;
        SetLastError(c.dwError);
        EXPECT_EQ(c.dwCode, MapWin32Error(kUseLastError)) << "last error " << c.dwError;
    }
}

// Runs pfnRaise as a facade operation and returns the code it gave.
template <class Raise>
LibraryErrorCode CodeOf(Raise raise) {
    return RunLibraryFacade(std::move(raise));
}

TEST(LibraryFrameTest, RaisedCodesAreRecordedMapped) {
    EXPECT_EQ(LIBERR_NOT_FOUND, CodeOf([] { ThrowLibraryError(2, nullptr); }));
    EXPECT_EQ(LIBERR_FORBIDDEN, CodeOf([] { ThrowLibraryError(LIBERR_FORBIDDEN, nullptr); }));
    EXPECT_EQ(LIBERR_SYSTEM, CodeOf([] { ThrowLibraryError(ERROR_SHARING_VIOLATION, nullptr); }));
    EXPECT_EQ(LIBERR_OK, GetLibraryErrorCode()) << "the facade clears the error state";
}

TEST(LibraryFrameTest, ErrorTextIsCutAt259) {
    const std::string longText(400, 't');
    try {
        ThrowLibraryError(LIBERR_NOT_FOUND, longText.c_str());
    } catch (unsigned long dwThrown) {
        EXPECT_EQ(LIBERR_NOT_FOUND, dwThrown);
        EXPECT_EQ(std::string(259, 't'), GetLibraryErrorText());
    }
    EndLibraryError();
    EXPECT_STREQ("", GetLibraryErrorText());
}

TEST(LibraryFrameTest, NullResultsAndLastErrors) {
    // The last error is set inside the operation, as the failing call would.
    EXPECT_EQ(LIBERR_OUT_OF_MEMORY, CodeOf([] {
                  SetLastError(0);
                  ThrowIfNull(static_cast<void*>(nullptr), nullptr);
              }));
    EXPECT_EQ(LIBERR_NOT_FOUND, CodeOf([] {
                  SetLastError(ERROR_FILE_NOT_FOUND);
                  ThrowIfNull(static_cast<HANDLE>(nullptr), nullptr);
              }));
    int nValue = 0;
    int* pValue = nullptr;
    EXPECT_EQ(LIBERR_OK, CodeOf([&] { pValue = ThrowIfNull(&nValue, nullptr); }));
    EXPECT_EQ(&nValue, pValue);

    EXPECT_EQ(LIBERR_NO_SYSTEM_ERROR, CodeOf([] {
                  SetLastError(0);
                  ThrowLastError(0, nullptr);
              }));
    EXPECT_EQ(LIBERR_ACCESS_DENIED, CodeOf([] {
                  SetLastError(ERROR_ACCESS_DENIED);
                  ThrowLastError(0, nullptr);
              }));
    EXPECT_EQ(LIBERR_BAD_PASSWORD, CodeOf([] { ThrowLastError(LIBERR_BAD_PASSWORD, nullptr); }));
}

TEST(LibraryFrameTest, AccessViolationInAFacadeIsAMachineFault) {
    test_support::SeamRecorder recorder;
    const LibraryErrorCode dwCode = CodeOf([] {
        RegKeyScope scope("Somewhere");
        volatile int* pNowhere = nullptr;
        *pNowhere = 1;
    });
    EXPECT_EQ(LIBERR_MACHINE_FAULT, dwCode);
    EXPECT_EQ(LIBERR_OK, GetLibraryErrorCode());
    EXPECT_FALSE(CheckLibraryResult(dwCode));
    EXPECT_TRUE(recorder.messageBoxes.empty()) << "a machine fault is silent";
    // The next operation runs normally, and the fault's landing gave the
    // thread its key path back.
    EXPECT_EQ(LIBERR_OK, CodeOf([] {}));
    EXPECT_EQ("", GetCurrentKeyPath());
}

TEST(LibraryFrameTest, StartAndStopTwice) {
    const bool bWasStarted = IsLibraryStarted();
    if (bWasStarted) {
        ASSERT_EQ(LIBERR_OK, StopLibrary());
    }

    EXPECT_EQ(LIBERR_OK, StartLibrary("First\\Key", 0));
    EXPECT_EQ("First\\Key", GetCurrentKeyPath());
    EXPECT_EQ(LIBERR_OK, StartLibrary("Second\\Key", 0));
    EXPECT_EQ("First\\Key", GetCurrentKeyPath()) << "the second start does nothing";
    EXPECT_TRUE(IsLibraryStarted());

    EXPECT_EQ(LIBERR_OK, StopLibrary());
    EXPECT_EQ(LIBERR_BAD_ARGUMENT, StopLibrary());
    EXPECT_FALSE(IsLibraryStarted());

    // A stopped library may start again.
    EXPECT_EQ(LIBERR_OK, StartLibrary(nullptr, 0));
    EXPECT_EQ("", GetCurrentKeyPath());
    if (!bWasStarted) StopLibrary();
}

TEST(LibraryFrameTest, MissingLibraryStringThatMustExist) {
    char szBuffer[MAX_PATH] = "junk";
    EXPECT_EQ(LIBERR_BAD_ARGUMENT, CodeOf([&] { LoadLibraryString(400, szBuffer, true); }));
    EXPECT_STREQ("", szBuffer);
    EXPECT_EQ(LIBERR_OK, CodeOf([&] { LoadLibraryString(400, szBuffer, false); }));
}

TEST(LibraryFrameTest, ExecutableMutexIsNamedAfterThePath) {
    char szName[MAX_PATH];
    MakeExecutableMutexName("C:\\suite\\bin\\host.exe", szName, sizeof szName);
    EXPECT_STREQ("C:asuiteabinahost.exe", szName);

    char szPath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, szPath, MAX_PATH - 1);
    MakeExecutableMutexName(szPath, szName, sizeof szName);
    HANDLE hMutex = OpenMutexA(SYNCHRONIZE, FALSE, szName);
    EXPECT_NE(nullptr, hMutex) << szName;
    if (hMutex != nullptr) CloseHandle(hMutex);
}

}  // namespace

namespace {

// The library's strings come from the executable: a language is chosen only
// when the executable holds its block.
TEST(LibraryStrings, LanguageBlockIsUsedOnlyWhenTheExecutableHoldsIt) {
    ASSERT_EQ(0u, StartLibrary(nullptr, 0));
    struct Case {
        BYTE bLanguage;
        UINT uOffset;
    } const kCases[] = {{LANG_GERMAN, 1536}, {LANG_FRENCH, 512}, {LANG_ENGLISH, 512}, {LANG_POLISH, 512}};
    for (const Case& c : kCases) EXPECT_EQ(c.uOffset, ChooseStringOffset(c.bLanguage)) << int{c.bLanguage};
    StopLibrary();
}

}  // namespace
