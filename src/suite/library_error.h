// Error codes of the suite library and the process-wide error state.
//
// Portable: the document engine raises the same codes on every platform, so
// nothing here may depend on windows.h. The Windows side plugs its error lock
// in through SetLibraryErrorLockHooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

using LibraryErrorCode = std::uint32_t;

enum : LibraryErrorCode {
    LIBERR_OK = 0,
    LIBERR_OUT_OF_MEMORY = 103001,
    LIBERR_BAD_ARGUMENT = 103002,
    LIBERR_INVALID_FUNCTION = 103003,
    LIBERR_SYSTEM = 103004,
    LIBERR_BUFFER_TOO_SMALL = 103005,
    LIBERR_CANCELLED = 103006,
    LIBERR_END_OF_FILE = 103007,
    LIBERR_ACCESS_DENIED = 103008,
    LIBERR_INVALID_DATA = 103009,
    LIBERR_BAD_FORMAT = 103010,
    LIBERR_NOT_FOUND = 103011,
    LIBERR_NO_SYSTEM_ERROR = 103012,
    LIBERR_FORBIDDEN = 103015,
    LIBERR_BAD_PASSWORD = 103016,
    LIBERR_LAUNCH_FAILED = 103017,
    LIBERR_VERSION = 103018,
    LIBERR_MACHINE_FAULT = 103019,
    // Raised by the document engine for documents older than it can read.
    LIBERR_OLD_VERSION = 1019003,
};

// Longest text kept with an error, without its terminator.
constexpr std::size_t kLibraryErrorTextMax = 259;

// Win32 system error numbers that have a code of their own; every other
// number maps to LIBERR_SYSTEM.
LibraryErrorCode MapSystemErrorNumber(std::uint32_t dwSystemError);

// True for 0 and for the library's own codes, which are recorded unchanged.
bool IsLibraryErrorCode(std::uint32_t dwCode);

// Raising. Each records the code (a system error number is mapped first) and
// the text (null: empty), then throws the code as an unsigned long.
[[noreturn]] void ThrowLibraryError(std::uint32_t dwCode, const char* pszText);
// The same without touching the error lock: for handlers that already hold it.
[[noreturn]] void RethrowLibraryError(std::uint32_t dwCode, const char* pszText);

LibraryErrorCode GetLibraryErrorCode();
const char* GetLibraryErrorText();
// Clears code and text and releases the error lock if this process holds it.
// Returns LIBERR_BUFFER_TOO_SMALL when the release itself failed.
LibraryErrorCode EndLibraryError();

// The error lock lives with the platform. Without hooks (the portable build)
// it only keeps the held flag.
struct LibraryErrorLockHooks {
    bool (*pfnTryAcquire)();  // zero-timeout attempt; true when taken
    bool (*pfnRelease)();     // false when the release failed
};
void SetLibraryErrorLockHooks(const LibraryErrorLockHooks* pHooks);

// Runs one facade operation: returns 0 when it completes, else the recorded
// code, with the error state cleared. Anything thrown that was not raised
// through ThrowLibraryError returns whatever is recorded; when nothing is, a
// failed allocation gives LIBERR_OUT_OF_MEMORY and anything else
// LIBERR_SYSTEM, never 0: a failure must not read as success.
// Machine faults are turned into LIBERR_MACHINE_FAULT by the platform's fault
// guard, which RunLibraryFacade enters when one is installed.
template <class Operation>
LibraryErrorCode RunLibraryFacade(Operation&& operation);

// --- implementation of the template --------------------------------------

namespace library_error_detail {
using GuardedCall = void (*)(void* pContext);
// Installed by the Windows frame: runs pfnCall(pContext) under the machine
// fault guard and raises LIBERR_MACHINE_FAULT when a fault hits.
using FaultGuardRunner = LibraryErrorCode (*)(GuardedCall pfnCall, void* pContext);
void SetFaultGuardRunner(FaultGuardRunner pfnRunner);
LibraryErrorCode RunGuarded(GuardedCall pfnCall, void* pContext);
// Called inside a catch block: the code to return for the exception in flight.
LibraryErrorCode FinishCaughtError();
}  // namespace library_error_detail

template <class Operation>
LibraryErrorCode RunLibraryFacade(Operation&& operation) {
    struct Context {
        std::remove_reference_t<Operation>* pOperation;
        LibraryErrorCode dwResult;
    } context{&operation, LIBERR_OK};
    auto call = [](void* pContext) {
        auto* pCtx = static_cast<Context*>(pContext);
        try {
            (*pCtx->pOperation)();
            pCtx->dwResult = LIBERR_OK;
        } catch (...) {
            pCtx->dwResult = library_error_detail::FinishCaughtError();
        }
    };
    const LibraryErrorCode dwFault = library_error_detail::RunGuarded(call, &context);
    return dwFault != LIBERR_OK ? dwFault : context.dwResult;
}
