// The suite operations on the key "SOFTWARE\VORLAND\PARVANE".
#include "suite/suite_settings.h"

#include <shellapi.h>

#include "platform/seams.h"

namespace {

// The oldest installation the module works with.
constexpr int kRequiredMajor = 2;
constexpr int kRequiredMinor = 4;

constexpr DWORD kInstalledBit = 0x1;
constexpr DWORD kFlagBit = 0x2;

const char* const kPrinterValues[] = {"ParvanePrinter", "QOVISendPrinter", "OEM1Printer", "OEM2Printer",
                                      "OEM3Printer"};

LibraryErrorCode CommonDirectoryPath(const char* pszFileName, char* pszPath) {
    return BuildSuitePath(kSuiteKeyPath, "CommonDirectory", nullptr, pszFileName, kRootLocalMachine, false, pszPath);
}

void RaiseIfFailed(LibraryErrorCode dwCode) {
    if (dwCode != LIBERR_OK) ThrowLibraryError(dwCode, nullptr);
}

}  // namespace

LibraryErrorCode GetInstallVersion(int* pnMajor, int* pnMinor, int* pbIsCurrent, int* pbFlag) {
    DWORD dwVersion = 0;
    const LibraryErrorCode dwCode = RunLibraryFacade([&] {
        RaiseIfFailed(ReadSuiteDword(kSuiteKeyPath, "InstallVersion", kRootCurrentUser, &dwVersion));
        if ((dwVersion & kInstalledBit) == 0) ThrowLibraryError(LIBERR_INVALID_DATA, "InstallVersion");
    });
    if (dwCode != LIBERR_OK) return dwCode;
    const int nMajor = static_cast<int>((dwVersion >> 24) & 0xFF);
    const int nMinor = static_cast<int>((dwVersion >> 16) & 0xFF);
    if (pbFlag != nullptr) *pbFlag = (dwVersion & kFlagBit) != 0 ? 1 : 0;
    if (pnMajor != nullptr) *pnMajor = nMajor;
    if (pnMinor != nullptr) *pnMinor = nMinor;
    if (pbIsCurrent != nullptr) {
        if (nMajor != kRequiredMajor)
            *pbIsCurrent = nMajor > kRequiredMajor ? 1 : 0;
        else
            *pbIsCurrent = nMinor >= kRequiredMinor ? 1 : 0;
    }
    return LIBERR_OK;
}

LibraryErrorCode CheckInstallation(bool bLaunchUpdate, int* pbFlag) {
    return RunLibraryFacade([&] {
        int nMajor = 0;
        int nMinor = 0;
        int bIsCurrent = 0;
        LibraryErrorCode dwResult = GetInstallVersion(&nMajor, &nMinor, &bIsCurrent, pbFlag);
        if (dwResult == LIBERR_OK && !bIsCurrent) dwResult = LIBERR_VERSION;
        if (dwResult == LIBERR_OK) return;
        if (!bLaunchUpdate) ThrowLibraryError(dwResult, nullptr);
        // The user is offered the update instead; the caller treats the
        // cancellation as silent.
        RaiseIfFailed(LaunchInstaller(true));
        ThrowLibraryError(LIBERR_CANCELLED, nullptr);
    });
}

LibraryErrorCode GetParvaneInfo(DWORD* pdwValue) {
    return ReadSuiteDword(kSuiteKeyPath, "ParvaneInfo", kRootLocalMachine, pdwValue);
}

LibraryErrorCode GetSendPrinterName(int nPrinterKind, std::string* pName) {
    std::string name;
    const LibraryErrorCode dwCode = RunLibraryFacade([&] {
        if (nPrinterKind < 1 || nPrinterKind > 5) ThrowLibraryError(LIBERR_BAD_ARGUMENT, nullptr);
        ReadSuiteString(kSuiteKeyPath, kPrinterValues[nPrinterKind - 1], kRootLocalMachine, &name);
    });
    if (dwCode != LIBERR_OK) return dwCode;
    if (name.empty()) return LIBERR_NOT_FOUND;
    if (pName != nullptr) *pName = name;
    return LIBERR_OK;
}

LibraryErrorCode GetInstallerPath(char* pszPath) {
    return BuildSuitePath(kSuiteKeyPath, "CommonDirectory", "InstallerName", nullptr, kRootLocalMachine, false,
                          pszPath);
}

LibraryErrorCode GetPhonebookPath(char* pszPath) {
    return BuildSuitePath(kSuiteKeyPath, "QOVISendDirectory", "QOVIPhonebookName", nullptr, kRootLocalMachine,
                          false, pszPath);
}

LibraryErrorCode GetProfilePath(char* pszPath) { return CommonDirectoryPath("PvPfcW32.ini", pszPath); }

LibraryErrorCode GetOleHelperPath(char* pszPath) { return CommonDirectoryPath("PvPfcOle.exe", pszPath); }

LibraryErrorCode GetYarrowPath(char* pszPath) { return CommonDirectoryPath("Yarrow.exe", pszPath); }

LibraryErrorCode GetHelpPagePath(char* pszPath) { return CommonDirectoryPath(kHelpPageName, pszPath); }

LibraryErrorCode GetLastSaveFilePath(char* pszPath) {
    return BuildSuitePath(kSuiteKeyPath, nullptr, "LastSaveFilePath", nullptr, kRootCurrentUser, false, pszPath);
}

LibraryErrorCode UpdateLastOutputOptions(DWORD dwSetBits, DWORD dwClearMask) {
    return RunLibraryFacade([&] {
        // A missing or unreadable value starts from no options.
        DWORD dwOld = 0;
        if (ReadSuiteDword(kSuiteKeyPath, "LastOutputOptions", kRootCurrentUser, &dwOld) != LIBERR_OK) dwOld = 0;
        RaiseIfFailed(WriteSuiteDword(kSuiteKeyPath, "LastOutputOptions", (dwOld & ~dwClearMask) | dwSetBits));
    });
}

LibraryErrorCode LaunchInstaller(bool bWithUpdateSwitch) {
    return RunLibraryFacade([&] {
        char szInstaller[MAX_PATH] = {};
        RaiseIfFailed(GetInstallerPath(szInstaller));
        HINSTANCE hResult = platform::GetSeams().pfnShellExecuteA(
            GetDesktopWindow(), "open", szInstaller, bWithUpdateSwitch ? "/UPDATE" : nullptr, nullptr, SW_SHOW);
        if (reinterpret_cast<INT_PTR>(hResult) < 32) ThrowLibraryError(LIBERR_NOT_FOUND, szInstaller);
    });
}
