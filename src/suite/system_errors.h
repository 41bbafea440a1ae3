// System errors raised as library errors: the floor of the suite's Windows
// code, below both the registry layer and the library's frame, so that
// neither has to call into the other for it.
#pragma once

#include <windows.h>

#include "suite/library_error.h"

// GetLastError() is taken when dwError is this value.
constexpr DWORD kUseLastError = 0xFFFFFFFF;

LibraryErrorCode MapWin32Error(DWORD dwError);

// Raises the mapped last error, or LIBERR_OUT_OF_MEMORY when none is recorded.
[[noreturn]] void ThrowNullResult(const char* pszText);

template <class Value>
Value ThrowIfNull(Value value, const char* pszText) {
    if (value == Value{}) ThrowNullResult(pszText);
    return value;
}

// A code of 0 is replaced by the mapped last error, or LIBERR_NO_SYSTEM_ERROR.
[[noreturn]] void ThrowLastError(DWORD dwCode, const char* pszText);
