// The portable error core: how raised codes are recorded and what a facade
// returns for each kind of failure.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "suite/library_error.h"

namespace {

TEST(LibraryError, SystemErrorNumbersAreMappedWhenRecorded) {
    struct Case {
        std::uint32_t dwRaised;
        LibraryErrorCode dwRecorded;
    } const kCases[] = {{2, LIBERR_NOT_FOUND},         {3, LIBERR_NOT_FOUND},   {32, LIBERR_SYSTEM},
                        {1223, LIBERR_CANCELLED},      {122, LIBERR_BUFFER_TOO_SMALL},
                        {LIBERR_FORBIDDEN, LIBERR_FORBIDDEN}, {LIBERR_OLD_VERSION, LIBERR_OLD_VERSION}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.dwRaised);
        EXPECT_EQ(c.dwRecorded, RunLibraryFacade([&] { ThrowLibraryError(c.dwRaised, "text"); }));
        EXPECT_EQ(LIBERR_OK, GetLibraryErrorCode()) << "the facade must clear the error";
        EXPECT_STREQ("", GetLibraryErrorText());
    }
}

TEST(LibraryError, TextIsCutAtItsLimit) {
    const std::string longText(400, 'x');
    try {
        ThrowLibraryError(LIBERR_INVALID_DATA, longText.c_str());
    } catch (unsigned long dwCode) {
        EXPECT_EQ(LIBERR_INVALID_DATA, dwCode);
        EXPECT_EQ(kLibraryErrorTextMax, std::string(GetLibraryErrorText()).size());
    }
    EndLibraryError();
}

TEST(LibraryError, FacadeNeverReportsAForeignExceptionAsSuccess) {
    EXPECT_EQ(LIBERR_OUT_OF_MEMORY, RunLibraryFacade([] { throw std::bad_alloc(); }));
    EXPECT_EQ(LIBERR_SYSTEM, RunLibraryFacade([] { throw std::runtime_error("engine"); }));
    EXPECT_EQ(LIBERR_SYSTEM, RunLibraryFacade([] { throw 7; }));
    EXPECT_EQ(LIBERR_OK, RunLibraryFacade([] {}));
    auto named = [] { ThrowLibraryError(LIBERR_BAD_FORMAT, nullptr); };
    EXPECT_EQ(LIBERR_BAD_FORMAT, RunLibraryFacade(named));
}

}  // namespace
