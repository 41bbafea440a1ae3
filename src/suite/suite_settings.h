// The suite's registry key "SOFTWARE\VORLAND\PARVANE": the library's registry
// layer, the typed value operations and the suite operations built on them.
// Every operation that returns a LibraryErrorCode is a facade operation: it
// never lets an exception out.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"
#include "suite/library_error.h"

constexpr const char* kSuiteKeyPath = "SOFTWARE\\VORLAND\\PARVANE";

// Root selector: 0 = HKEY_LOCAL_MACHINE, non-zero = HKEY_CURRENT_USER.
constexpr int kRootLocalMachine = 0;
constexpr int kRootCurrentUser = 1;

// --- registry layer (raises library errors) -------------------------------

void SetCurrentKeyPath(const char* pszKeyPath);
const char* GetCurrentKeyPath();

// Saves the current key path and sets another for the scope's lifetime.
class RegKeyScope {
public:
    explicit RegKeyScope(const char* pszKeyPath);
    ~RegKeyScope();
    RegKeyScope(const RegKeyScope&) = delete;
    RegKeyScope& operator=(const RegKeyScope&) = delete;

private:
    char m_szSavedPath[260];
};

platform::unique_hkey OpenCurrentKey(bool bForWriting, int nRoot);
// Returns the process-wide value buffer (valid until the next query) or null.
const BYTE* QueryCurrentValue(DWORD dwExpectedType, const char* pszName, DWORD* pcbMinSizeInOut, int nRoot,
                              bool bThrowIfMissing);
bool SetCurrentValue(DWORD dwType, const char* pszName, const void* pData, DWORD cbData, int nRoot,
                     bool bThrowOnError);

// --- typed operations -----------------------------------------------------

LibraryErrorCode ReadSuiteDword(const char* pszKey, const char* pszName, int nRoot, DWORD* pdwOut);
const char* ReadSuiteString(const char* pszKey, const char* pszName, int nRoot);
LibraryErrorCode WriteSuiteDword(const char* pszKey, const char* pszName, DWORD dwValue);
LibraryErrorCode BuildSuitePath(const char* pszKey, const char* pszDirValue, const char* pszFileValue,
                                const char* pszFileName, int nRoot, bool bWantDirectory, char* pszOut /*260*/);
// Makes BuildSuitePath take the shell's way to the long form, as on systems
// without GetLongPathNameA.
void UseShellLongPathForTesting(bool bForce);

// --- suite operations -----------------------------------------------------

LibraryErrorCode GetInstallVersion(int* pnMajor, int* pnMinor, int* pbIsCurrent, int* pbFlag);
LibraryErrorCode CheckInstallation(bool bLaunchUpdate, int* pbFlag);
LibraryErrorCode GetParvaneInfo(DWORD* pdwValue);
LibraryErrorCode GetSendPrinterName(int nPrinterKind, const char** ppszName);
LibraryErrorCode GetInstallerPath(char* pszPath);
LibraryErrorCode GetPhonebookPath(char* pszPath);
LibraryErrorCode GetProfilePath(char* pszPath);
LibraryErrorCode GetOleHelperPath(char* pszPath);
LibraryErrorCode GetYarrowPath(char* pszPath);
// The settings' help page, shipped beside the profile.
constexpr char kHelpPageName[] = "PvPfcW32.htm";
LibraryErrorCode GetHelpPagePath(char* pszPath);
LibraryErrorCode GetLastSaveFilePath(char* pszPath);
LibraryErrorCode UpdateLastOutputOptions(DWORD dwSetBits, DWORD dwClearMask);
LibraryErrorCode LaunchInstaller(bool bWithUpdateSwitch);
