// The suite's registry key "SOFTWARE\VORLAND\PARVANE": the library's registry
// layer, the typed value operations and the suite operations built on them.
// Every operation that returns a LibraryErrorCode is a facade operation: it
// never lets an exception out.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/fault_guard.h"
#include "platform/unique_handle.h"
#include "suite/library_error.h"

constexpr const char* kSuiteKeyPath = "SOFTWARE\\VORLAND\\PARVANE";

// Root selector: 0 = HKEY_LOCAL_MACHINE, non-zero = HKEY_CURRENT_USER.
constexpr int kRootLocalMachine = 0;
constexpr int kRootCurrentUser = 1;

// --- registry layer (raises library errors) -------------------------------

// The library's default key path, set when it starts.
void SetCurrentKeyPath(const char* pszKeyPath);
// The calling thread's key path: its innermost scope's, else the default.
std::string GetCurrentKeyPath();

// Sets the calling thread's key path for the scope's lifetime; other threads
// keep theirs.
class RegKeyScope {
public:
    explicit RegKeyScope(const char* pszKeyPath);
    ~RegKeyScope();
    RegKeyScope(const RegKeyScope&) = delete;
    RegKeyScope& operator=(const RegKeyScope&) = delete;

private:
    char m_szPath[260];
    const char* m_pszOuterPath;
    platform::FaultUndo m_undo;
};

platform::unique_hkey OpenCurrentKey(bool bForWriting, int nRoot);
// Reads the value into *pValue and returns its data, or null.
const BYTE* QueryCurrentValue(DWORD dwExpectedType, const char* pszName, DWORD* pcbMinSizeInOut, int nRoot,
                              bool bThrowIfMissing, std::vector<BYTE>* pValue);
bool SetCurrentValue(DWORD dwType, const char* pszName, const void* pData, DWORD cbData, int nRoot,
                     bool bThrowOnError);

// --- typed operations -----------------------------------------------------

LibraryErrorCode ReadSuiteDword(const char* pszKey, const char* pszName, int nRoot, DWORD* pdwOut);
// False when the value is missing or no string; *pValue is then unchanged.
bool ReadSuiteString(const char* pszKey, const char* pszName, int nRoot, std::string* pValue);
LibraryErrorCode WriteSuiteDword(const char* pszKey, const char* pszName, DWORD dwValue);
LibraryErrorCode BuildSuitePath(const char* pszKey, const char* pszDirValue, const char* pszFileValue,
                                const char* pszFileName, int nRoot, bool bWantDirectory, char* pszOut /*260*/);
// Makes BuildSuitePath take the shell's way to the long form, as on systems
// without GetLongPathNameA.
void UseShellLongPathForTesting(bool bForce);
// Released by the library teardown.
void ReleaseRegistryLayer();

// --- suite operations -----------------------------------------------------

LibraryErrorCode GetInstallVersion(int* pnMajor, int* pnMinor, int* pbIsCurrent, int* pbFlag);
LibraryErrorCode CheckInstallation(bool bLaunchUpdate, int* pbFlag);
LibraryErrorCode GetParvaneInfo(DWORD* pdwValue);
LibraryErrorCode GetSendPrinterName(int nPrinterKind, std::string* pName);
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
