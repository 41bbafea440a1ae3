// Messages by string number, the library-result check, shell launches and
// the brand choice.
#include "suite/user_messages.h"

#include <shellapi.h>

#include <string>

#include "hook/base/shared_state.h"
#include "platform/seams.h"
#include "suite/suite_settings.h"

namespace {

constexpr int kIdentityChars = 64;
// Message texts may be longer than a path; LoadStringA cuts at the buffer.
constexpr int kMessageChars = 1024;

struct ApplicationIdentity {
    char szRegistryKey[kIdentityChars] = "";
    char szProfileName[kIdentityChars] = "";
    char szDisplayName[kIdentityChars] = "Tellarine";
};
ApplicationIdentity g_Identity;

void CopyIdentity(char (&szDest)[kIdentityChars], const char* pszSource) {
    lstrcpynA(szDest, pszSource != nullptr ? pszSource : "", kIdentityChars);
}

// %1 and %2 are replaced in one pass over the loaded text, so an inserted
// text that itself holds "%2" or "%%" stays as it is.
std::string InsertTexts(const char* pszTemplate, const char* pszInsert1, const char* pszInsert2) {
    std::string text;
    for (const char* p = pszTemplate; *p != '\0'; ++p) {
        if (p[0] == '%' && (p[1] == '1' || p[1] == '2')) {
            const char* pszInsert = p[1] == '1' ? pszInsert1 : pszInsert2;
            if (pszInsert != nullptr) text += pszInsert;
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

BOOL LaunchSucceeded(HINSTANCE hResult, const char* pszPath) {
    if (reinterpret_cast<INT_PTR>(hResult) >= 32) return TRUE;
    ShowFormattedMessage(IDS_LAUNCH_FAILED, pszPath, MB_ICONEXCLAMATION);
    return FALSE;
}

}  // namespace

void SetApplicationIdentity(const char* pszRegistryKey, const char* pszProfileName, const char* pszDisplayName) {
    CopyIdentity(g_Identity.szRegistryKey, pszRegistryKey);
    CopyIdentity(g_Identity.szProfileName, pszProfileName);
    CopyIdentity(g_Identity.szDisplayName, pszDisplayName);
}

const char* GetApplicationName() { return g_Identity.szDisplayName; }
const char* GetApplicationRegistryKey() { return g_Identity.szRegistryKey; }
const char* GetApplicationProfileName() { return g_Identity.szProfileName; }

int ShowFormattedMessage(UINT uId, const char* pszInsert1, UINT uType, const char* pszInsert2) {
    char szTemplate[kMessageChars] = {};
    if (g_hResourceModule != nullptr) LoadStringA(g_hResourceModule, uId, szTemplate, kMessageChars);
    const std::string text = InsertTexts(szTemplate, pszInsert1, pszInsert2);
    return platform::GetSeams().pfnMessageBoxA(nullptr, text.c_str(), GetApplicationName(), uType);
}

BOOL CheckLibraryResult(LibraryErrorCode dwCode) {
    switch (dwCode) {
        case LIBERR_OK: return TRUE;
        // Cancelled (the installer took over), forbidden by the document, or
        // a machine fault: the user has nothing to act on.
        case LIBERR_CANCELLED:
        case LIBERR_FORBIDDEN:
        case LIBERR_MACHINE_FAULT: return FALSE;
        default: ShowFormattedMessage(IDS_LIBRARY_ERROR, nullptr, MB_ICONEXCLAMATION); return FALSE;
    }
}

BOOL ShellOpenFile(HWND hWnd, const char* pszPath) {
    return LaunchSucceeded(platform::GetSeams().pfnShellExecuteA(hWnd, "open", pszPath, nullptr, nullptr, SW_SHOWNORMAL),
                           pszPath);
}

BOOL RunProgram(HWND hWnd, const char* pszPath, const char* pszParameters) {
    return LaunchSucceeded(
        platform::GetSeams().pfnShellExecuteA(hWnd, nullptr, pszPath, pszParameters, nullptr, SW_SHOWNORMAL), pszPath);
}

UINT GetBrandResourceId() {
    DWORD dwInfo = 0;
    const LibraryErrorCode dwCode = GetParvaneInfo(&dwInfo);
    if (dwCode != LIBERR_OK) {
        CheckLibraryResult(dwCode);
        return IDS_BRAND_DEFAULT;
    }
    return (dwInfo & 0x2) != 0 && (dwInfo & 0x1) == 0 ? IDS_BRAND_ALTERNATE : IDS_BRAND_DEFAULT;
}
