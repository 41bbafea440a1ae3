// The library's registry layer and the typed value operations over it.
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/shell_calls.h"
#include "suite/system_errors.h"
#include "suite/suite_settings.h"

namespace {

constexpr DWORD kKeyReadAccess = KEY_READ;                // 0x20019
constexpr DWORD kKeyWriteAccess = KEY_READ | KEY_WRITE;   // 0x2001F
constexpr DWORD kPathChars = MAX_PATH;

// Several user-interface threads of a host build popups, refresh items and
// look up the send printer at once, so the layer keeps nothing shared that a
// read changes: the library's default key path is set at its start (under
// the lock) and copied out, a key scope is the thread's own, and each value
// is read into its caller's buffer.
SRWLOCK g_DefaultKeyPathLock = SRWLOCK_INIT;
char g_szDefaultKeyPath[kPathChars] = {};
// The innermost key scope of the thread, or null for the default.
thread_local const char* t_pszScopedKeyPath = nullptr;

// One spare byte past the value always holds a NUL, so a REG_SZ stored
// without its terminator still reads as a bounded string.
BYTE* SizeValueBuffer(std::vector<BYTE>* pValue, DWORD cbValue) {
    if (cbValue == 0xFFFFFFFFu) ThrowLibraryError(LIBERR_OUT_OF_MEMORY, nullptr);
    pValue->assign(static_cast<size_t>(cbValue) + 1, 0);
    return pValue->data();
}

// The thread's key path, copied: the default may change under us.
void CopyCurrentKeyPath(char (&szPath)[kPathChars]) {
    if (t_pszScopedKeyPath != nullptr) {
        std::memcpy(szPath, t_pszScopedKeyPath, kPathChars);
        return;
    }
    platform::SharedSrwLock lock(g_DefaultKeyPathLock);
    std::memcpy(szPath, g_szDefaultKeyPath, kPathChars);
}

HKEY RootKey(int nRoot) { return nRoot == kRootLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

// --- long form of a path ---------------------------------------------------

using GetLongPathNameAProc = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);

struct LongPathState {
    bool bLookedUp = false;
    GetLongPathNameAProc pfnGetLongPathName = nullptr;
    // The shell fallback's interfaces, kept for the process and released at
    // library teardown.
    IMalloc* pShellMalloc = nullptr;
    IShellFolder* pDesktopFolder = nullptr;
};
LongPathState g_LongPath;
bool g_bForceShellLongPath = false;

GetLongPathNameAProc LookUpGetLongPathName() {
    if (!g_LongPath.bLookedUp) {
        // Looked up by name: older systems lack the call, and the shell then
        // does the work.
        HMODULE hKernel = GetModuleHandleA("kernel32.dll");
        if (hKernel != nullptr)
            g_LongPath.pfnGetLongPathName = reinterpret_cast<GetLongPathNameAProc>(
                reinterpret_cast<void*>(GetProcAddress(hKernel, "GetLongPathNameA")));
        g_LongPath.bLookedUp = true;
    }
    return g_bForceShellLongPath ? nullptr : g_LongPath.pfnGetLongPathName;
}

bool ShellLongPath(const char* pszPath, char* pszOut /*260*/) {
    if (g_LongPath.pShellMalloc == nullptr && FAILED(platform::ShellGetMallocOnDemand(&g_LongPath.pShellMalloc))) {
        g_LongPath.pShellMalloc = nullptr;
        return false;
    }
    if (g_LongPath.pDesktopFolder == nullptr && FAILED(platform::ShellGetDesktopFolderOnDemand(&g_LongPath.pDesktopFolder))) {
        g_LongPath.pDesktopFolder = nullptr;
        return false;
    }
    WCHAR wszPath[kPathChars];
    if (MultiByteToWideChar(CP_ACP, 0, pszPath, -1, wszPath, kPathChars) == 0) return false;
    LPITEMIDLIST pidl = nullptr;
    ULONG cchEaten = 0;
    if (FAILED(g_LongPath.pDesktopFolder->ParseDisplayName(nullptr, nullptr, wszPath, &cchEaten, &pidl, nullptr)) ||
        pidl == nullptr)
        return false;
    const BOOL bGot = platform::ShellGetPathFromIDListOnDemand(pidl, pszOut);
    g_LongPath.pShellMalloc->Free(pidl);
    return bGot != FALSE && pszOut[0] != '\0';
}

bool MakeLongPath(const char* pszPath, char* pszOut /*260*/) {
    if (GetLongPathNameAProc pfn = LookUpGetLongPathName()) {
        const DWORD cch = pfn(pszPath, pszOut, kPathChars);
        // A result of 260 or more is the size it would need: nothing usable
        // was written.
        return cch != 0 && cch < kPathChars;
    }
    return ShellLongPath(pszPath, pszOut);
}

void CopyBounded(char* pszDest, const char* pszSource) {
    std::size_t cch = std::strlen(pszSource);
    if (cch > kPathChars - 1) cch = kPathChars - 1;
    std::memcpy(pszDest, pszSource, cch);
    pszDest[cch] = '\0';
}

}  // namespace

// --- registry layer ---------------------------------------------------------

void SetCurrentKeyPath(const char* pszKeyPath) {
    platform::ExclusiveSrwLock lock(g_DefaultKeyPathLock);
    CopyBounded(g_szDefaultKeyPath, pszKeyPath != nullptr ? pszKeyPath : "");
}

std::string GetCurrentKeyPath() {
    char szPath[kPathChars];
    CopyCurrentKeyPath(szPath);
    return szPath;
}

// A fault that skips the scope's end still gives the thread its outer path
// back: the guard's landing runs this with the outer scope's path.
namespace {
void RestoreScopedKeyPath(void* pszOuterPath) { t_pszScopedKeyPath = static_cast<const char*>(pszOuterPath); }
}  // namespace

RegKeyScope::RegKeyScope(const char* pszKeyPath)
    : m_pszOuterPath(t_pszScopedKeyPath),
      m_undo(&RestoreScopedKeyPath, const_cast<char*>(t_pszScopedKeyPath)) {
    CopyBounded(m_szPath, pszKeyPath != nullptr ? pszKeyPath : "");
    t_pszScopedKeyPath = m_szPath;
}

RegKeyScope::~RegKeyScope() {
    m_undo.Settle();
    t_pszScopedKeyPath = m_pszOuterPath;
}

platform::unique_hkey OpenCurrentKey(bool bForWriting, int nRoot) {
    char szPath[kPathChars];
    CopyCurrentKeyPath(szPath);
    platform::unique_hkey key;
    const LONG lResult = RegCreateKeyExA(RootKey(nRoot), szPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         bForWriting ? kKeyWriteAccess : kKeyReadAccess, nullptr, key.put(), nullptr);
    if (lResult != ERROR_SUCCESS) ThrowLibraryError(MapWin32Error(static_cast<DWORD>(lResult)), szPath);
    return key;
}

const BYTE* QueryCurrentValue(DWORD dwExpectedType, const char* pszName, DWORD* pcbMinSizeInOut, int nRoot,
                              bool bThrowIfMissing, std::vector<BYTE>* pValue) {
    try {
        platform::unique_hkey key = OpenCurrentKey(false, nRoot);
        DWORD dwType = REG_NONE;
        DWORD cbValue = 0;
        const LONG lProbe = RegQueryValueExA(key.get(), pszName, nullptr, &dwType, nullptr, &cbValue);
        const bool bAccepted = lProbe == ERROR_SUCCESS && cbValue >= *pcbMinSizeInOut && dwType == dwExpectedType;
        if (!bAccepted) {
            if (bThrowIfMissing) ThrowLibraryError(LIBERR_INVALID_DATA, pszName);
            return nullptr;
        }
        BYTE* pData = SizeValueBuffer(pValue, cbValue);
        DWORD cbRead = cbValue;
        const LONG lRead = RegQueryValueExA(key.get(), pszName, nullptr, &dwType, pData, &cbRead);
        if (lRead != ERROR_SUCCESS) ThrowLibraryError(MapWin32Error(static_cast<DWORD>(lRead)), pszName);
        // The value may have changed between the two queries: only what was
        // read counts, and it must still satisfy the caller.
        if (dwType != dwExpectedType || cbRead < *pcbMinSizeInOut) ThrowLibraryError(LIBERR_INVALID_DATA, pszName);
        pData[cbRead] = 0;
        *pcbMinSizeInOut = cbRead;
        return pData;
    } catch (...) {
        if (bThrowIfMissing) throw;
        EndLibraryError();
        return nullptr;
    }
}

bool SetCurrentValue(DWORD dwType, const char* pszName, const void* pData, DWORD cbData, int nRoot,
                     bool bThrowOnError) {
    try {
        platform::unique_hkey key = OpenCurrentKey(true, nRoot);
        const LONG lResult =
            RegSetValueExA(key.get(), pszName, 0, dwType, static_cast<const BYTE*>(pData), cbData);
        if (lResult != ERROR_SUCCESS) ThrowLibraryError(MapWin32Error(static_cast<DWORD>(lResult)), pszName);
        return true;
    } catch (...) {
        if (bThrowOnError) throw;
        EndLibraryError();
        return false;
    }
}

void ReleaseRegistryLayer() {
    if (g_LongPath.pDesktopFolder != nullptr) g_LongPath.pDesktopFolder->Release();
    if (g_LongPath.pShellMalloc != nullptr) g_LongPath.pShellMalloc->Release();
    g_LongPath = LongPathState{};
}

void UseShellLongPathForTesting(bool bForce) { g_bForceShellLongPath = bForce; }

// --- typed operations -------------------------------------------------------

LibraryErrorCode ReadSuiteDword(const char* pszKey, const char* pszName, int nRoot, DWORD* pdwOut) {
    DWORD dwValue = 0;
    const LibraryErrorCode dwCode = RunLibraryFacade([&] {
        RegKeyScope scope(pszKey);
        DWORD cbValue = 4;
        std::vector<BYTE> value;
        const BYTE* pData = QueryCurrentValue(REG_BINARY, pszName, &cbValue, nRoot, false, &value);
        if (pData == nullptr) ThrowLibraryError(LIBERR_INVALID_DATA, pszName);
        dwValue = static_cast<DWORD>(pData[0]) | static_cast<DWORD>(pData[1]) << 8 |
                  static_cast<DWORD>(pData[2]) << 16 | static_cast<DWORD>(pData[3]) << 24;
    });
    if (dwCode == LIBERR_OK && pdwOut != nullptr) *pdwOut = dwValue;
    return dwCode;
}

bool ReadSuiteString(const char* pszKey, const char* pszName, int nRoot, std::string* pValue) {
    bool bRead = false;
    RunLibraryFacade([&] {
        RegKeyScope scope(pszKey);
        DWORD cbValue = 1;
        std::vector<BYTE> value;
        const BYTE* pData = QueryCurrentValue(REG_SZ, pszName, &cbValue, nRoot, false, &value);
        if (pData == nullptr) return;
        // Up to the first NUL, which the buffer always has.
        pValue->assign(reinterpret_cast<const char*>(pData));
        bRead = true;
    });
    return bRead;
}

LibraryErrorCode WriteSuiteDword(const char* pszKey, const char* pszName, DWORD dwValue) {
    return RunLibraryFacade([&] {
        RegKeyScope scope(pszKey);
        const BYTE bytes[4] = {static_cast<BYTE>(dwValue), static_cast<BYTE>(dwValue >> 8),
                               static_cast<BYTE>(dwValue >> 16), static_cast<BYTE>(dwValue >> 24)};
        if (!SetCurrentValue(REG_BINARY, pszName, bytes, sizeof bytes, kRootCurrentUser, false))
            ThrowLibraryError(LIBERR_ACCESS_DENIED, pszName);
    });
}

LibraryErrorCode BuildSuitePath(const char* pszKey, const char* pszDirValue, const char* pszFileValue,
                                const char* pszFileName, int nRoot, bool bWantDirectory, char* pszOut) {
    char szLong[kPathChars] = {};
    const LibraryErrorCode dwCode = RunLibraryFacade([&] {
        char szWork[kPathChars] = {};
        // The file part comes from the fixed name or from the second value.
        std::string fileRead;
        auto fileValue = [&]() -> const char* {
            if (pszFileName != nullptr) return pszFileName;
            return pszFileValue != nullptr && ReadSuiteString(pszKey, pszFileValue, nRoot, &fileRead)
                       ? fileRead.c_str()
                       : nullptr;
        };
        if (pszDirValue != nullptr) {
            std::string dir;
            if (!ReadSuiteString(pszKey, pszDirValue, nRoot, &dir) || dir.empty())
                ThrowLibraryError(LIBERR_NOT_FOUND, pszDirValue);
            CopyBounded(szWork, dir.c_str());
            const char* pszFile = fileValue();
            if (pszFile == nullptr || pszFile[0] == '\0') ThrowLibraryError(LIBERR_NOT_FOUND, pszFileValue);
            const std::size_t cchDir = std::strlen(szWork);
            const bool bHasSeparator = cchDir > 0 && szWork[cchDir - 1] == '\\';
            const std::size_t cchFile = std::strlen(pszFile);
            if (cchDir + cchFile + 1 < kPathChars) {
                if (!bHasSeparator) std::strcat(szWork, "\\");
                std::strcat(szWork, pszFile);
            }
        } else {
            const char* pszFile = fileValue();
            if (pszFile == nullptr || pszFile[0] == '\0') ThrowLibraryError(LIBERR_NOT_FOUND, pszFileValue);
            CopyBounded(szWork, pszFile);
        }

        const DWORD dwAttributes = GetFileAttributesA(szWork);
        if (dwAttributes == INVALID_FILE_ATTRIBUTES ||
            ((dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != bWantDirectory)
            ThrowLibraryError(LIBERR_NOT_FOUND, szWork);
        if (!MakeLongPath(szWork, szLong)) ThrowLibraryError(LIBERR_NOT_FOUND, szWork);
    });
    if (dwCode == LIBERR_OK) std::memcpy(pszOut, szLong, sizeof szLong);
    return dwCode;
}
