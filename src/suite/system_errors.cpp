#include "suite/system_errors.h"

LibraryErrorCode MapWin32Error(DWORD dwError) {
    if (dwError == kUseLastError) dwError = GetLastError();
    return MapSystemErrorNumber(dwError);
}

void ThrowNullResult(const char* pszText) {
    const LibraryErrorCode dwCode = MapWin32Error(kUseLastError);
    ThrowLibraryError(dwCode != LIBERR_OK ? dwCode : LIBERR_OUT_OF_MEMORY, pszText);
}

void ThrowLastError(DWORD dwCode, const char* pszText) {
    if (dwCode == 0) {
        dwCode = MapWin32Error(kUseLastError);
        if (dwCode == 0) dwCode = LIBERR_NO_SYSTEM_ERROR;
    }
    ThrowLibraryError(dwCode, pszText);
}
