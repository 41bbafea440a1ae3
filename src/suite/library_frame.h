// The suite library's frame on Windows: system errors mapped onto library
// codes, the error lock, the private heap, start and stop, and the library's
// own string table.
#pragma once

#include <windows.h>

#include "suite/library_error.h"
#include "suite/system_errors.h"

// Module load and unload. Initialisation: instance handle, private heap, error
// state and lock, fault translation, and the per-executable named mutex.
bool InitializeLibrary();
void TeardownLibrary();

// Allocation from the library's private heap; failure raises a library error.
void* LibraryAlloc(size_t cb);
void LibraryFree(void* pBlock);

LibraryErrorCode StartLibrary(const char* pszKeyPath, UINT uKeyStringId);
LibraryErrorCode StopLibrary();
bool IsLibraryStarted();

int SelectStringLanguage();
// The offset for a primary language: its block when the library instance
// holds that block's first string, else the default block (512).
UINT ChooseStringOffset(BYTE bPrimaryLanguage);
// Buffer of at least 260 bytes. Raises LIBERR_BAD_ARGUMENT when bMustExist and
// the string is absent.
char* LoadLibraryString(UINT uId, char* pszBuffer, bool bMustExist);

// The name of the mutex that marks a process as running the library: the
// executable's full path with every backslash replaced by the letter a.
void MakeExecutableMutexName(const char* pszExecutablePath, char* pszName, size_t cchName);

