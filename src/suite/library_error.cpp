#include "suite/library_error.h"

#include <cstring>
#include <new>

namespace {

struct ErrorState {
    LibraryErrorCode dwCode = LIBERR_OK;
    char szText[kLibraryErrorTextMax + 1] = {};
    bool bLockHeld = false;
};

ErrorState g_ErrorState;
const LibraryErrorLockHooks* g_pLockHooks = nullptr;
library_error_detail::FaultGuardRunner g_pfnFaultGuard = nullptr;

void RecordError(std::uint32_t dwCode, const char* pszText) {
    g_ErrorState.dwCode = IsLibraryErrorCode(dwCode) ? dwCode : MapSystemErrorNumber(dwCode);
    if (pszText == nullptr) {
        g_ErrorState.szText[0] = '\0';
        return;
    }
    std::size_t cch = std::strlen(pszText);
    if (cch > kLibraryErrorTextMax) cch = kLibraryErrorTextMax;
    std::memcpy(g_ErrorState.szText, pszText, cch);
    g_ErrorState.szText[cch] = '\0';
}

}  // namespace

LibraryErrorCode MapSystemErrorNumber(std::uint32_t dwSystemError) {
    switch (dwSystemError) {
        case 0: return LIBERR_OK;
        case 1: return LIBERR_INVALID_FUNCTION;
        case 2:
        case 3: return LIBERR_NOT_FOUND;
        case 5: return LIBERR_ACCESS_DENIED;
        case 8:
        case 14: return LIBERR_OUT_OF_MEMORY;
        case 11: return LIBERR_BAD_FORMAT;
        case 13: return LIBERR_INVALID_DATA;
        case 38: return LIBERR_END_OF_FILE;
        case 63:
        case 1223: return LIBERR_CANCELLED;
        case 87: return LIBERR_BAD_ARGUMENT;
        case 122: return LIBERR_BUFFER_TOO_SMALL;
        default: return LIBERR_SYSTEM;
    }
}

bool IsLibraryErrorCode(std::uint32_t dwCode) {
    return dwCode == LIBERR_OK || (dwCode >= LIBERR_OUT_OF_MEMORY && dwCode <= LIBERR_MACHINE_FAULT) ||
           dwCode == LIBERR_OLD_VERSION;
}

void ThrowLibraryError(std::uint32_t dwCode, const char* pszText) {
    // The outcome of the attempt does not matter: a second thread raising at
    // the same moment may overwrite the code, which callers accept.
    if (g_pLockHooks != nullptr && g_pLockHooks->pfnTryAcquire != nullptr) {
        if (g_pLockHooks->pfnTryAcquire()) g_ErrorState.bLockHeld = true;
    } else {
        g_ErrorState.bLockHeld = true;
    }
    RethrowLibraryError(dwCode, pszText);
}

void RethrowLibraryError(std::uint32_t dwCode, const char* pszText) {
    RecordError(dwCode, pszText);
    throw static_cast<unsigned long>(g_ErrorState.dwCode);
}

LibraryErrorCode GetLibraryErrorCode() { return g_ErrorState.dwCode; }

const char* GetLibraryErrorText() { return g_ErrorState.szText; }

LibraryErrorCode EndLibraryError() {
    g_ErrorState.dwCode = LIBERR_OK;
    g_ErrorState.szText[0] = '\0';
    if (!g_ErrorState.bLockHeld) return LIBERR_OK;
    g_ErrorState.bLockHeld = false;
    if (g_pLockHooks != nullptr && g_pLockHooks->pfnRelease != nullptr && !g_pLockHooks->pfnRelease())
        return LIBERR_BUFFER_TOO_SMALL;
    return LIBERR_OK;
}

void SetLibraryErrorLockHooks(const LibraryErrorLockHooks* pHooks) { g_pLockHooks = pHooks; }

namespace library_error_detail {

void SetFaultGuardRunner(FaultGuardRunner pfnRunner) { g_pfnFaultGuard = pfnRunner; }

LibraryErrorCode RunGuarded(GuardedCall pfnCall, void* pContext) {
    if (g_pfnFaultGuard == nullptr) {
        pfnCall(pContext);
        return LIBERR_OK;
    }
    const LibraryErrorCode dwFault = g_pfnFaultGuard(pfnCall, pContext);
    if (dwFault != LIBERR_OK) EndLibraryError();
    return dwFault;
}

LibraryErrorCode FinishCaughtError() {
    LibraryErrorCode dwCode = GetLibraryErrorCode();
    if (dwCode == LIBERR_OK) {
        try {
            throw;
        } catch (const std::bad_alloc&) {
            dwCode = LIBERR_OUT_OF_MEMORY;
        } catch (...) {
            dwCode = LIBERR_SYSTEM;
        }
    }
    EndLibraryError();
    return dwCode;
}

}  // namespace library_error_detail
