// Access to "PvPfcW32.ini" and to the application's registry profile. Values
// are read when they are needed: another process may have changed the file
// since the last look.
#include "config/profile.h"

#include <cstdio>
#include <cstring>

#include "hook/base/shared_state.h"
#include "hook/base/trace.h"
#include "platform/unique_handle.h"

namespace {

// Profile values are read into buffers of 256: at most 255 characters each.
constexpr DWORD kValueChars = 256;

// With no profile path the calls would fall back to a file of the Windows
// directory; a module without its profile must see nothing at all.
bool HaveProfilePath(const char* pszIniPath) { return pszIniPath != nullptr && pszIniPath[0] != '\0'; }

std::string ReadProfileString(const char* pszSection, const char* pszKey) {
    char szValue[kValueChars] = {};
    if (HaveProfilePath(g_szIniPath))
        GetPrivateProfileStringA(pszSection, pszKey, "", szValue, kValueChars, g_szIniPath);
    return szValue;
}

}  // namespace

DWORD ReadProfileKeyList(const char* pszSection, char* pszBuffer, DWORD cchBuffer) {
    if (cchBuffer == 0) return 0;
    std::memset(pszBuffer, 0, cchBuffer < 2 ? cchBuffer : 2);
    if (!HaveProfilePath(g_szIniPath)) return 0;
    return GetPrivateProfileStringA(pszSection, nullptr, "", pszBuffer, cchBuffer, g_szIniPath);
}

bool ReadHookingEnabled() {
    char szEnable[4] = {};
    if (HaveProfilePath(g_szIniPath))
        GetPrivateProfileStringA(kSectionWatch, kKeyEnable, "", szEnable, sizeof szEnable, g_szIniPath);
    return szEnable[0] != '0';
}

void WriteHookingEnabled(bool bEnabled) {
    if (HaveProfilePath(g_szIniPath))
        WritePrivateProfileStringA(kSectionWatch, kKeyEnable, bEnabled ? "1" : "0", g_szIniPath);
}

int ReadBitmapMenuSetting() { return ReadBitmapMenuSettingFrom(g_szIniPath); }

int ReadBitmapMenuSettingFrom(const char* pszIniPath) {
    if (!HaveProfilePath(pszIniPath)) return 1;
    return static_cast<int>(GetPrivateProfileIntA(kSectionWatch, kKeyBitmapMenu, 1, pszIniPath));
}

void WriteBitmapMenuSetting(bool bBitmap) {
    if (HaveProfilePath(g_szIniPath))
        WritePrivateProfileStringA(kSectionWatch, kKeyBitmapMenu, bBitmap ? "1" : "0", g_szIniPath);
}

int ReadTraceSetting() {
    if (!HaveProfilePath(g_szIniPath)) return 0;
    return static_cast<int>(GetPrivateProfileIntA(kSectionWatch, kKeyTrace, 0, g_szIniPath));
}

int ReadDiagnosticsSetting() {
    if (!HaveProfilePath(g_szIniPath)) return 0;
    return static_cast<int>(GetPrivateProfileIntA(kSectionWatch, kKeyDiagnostics, 0, g_szIniPath));
}

UINT ReadHostPrintCmd(const char* pszHostSection, UINT uDefault) {
    if (!HaveProfilePath(g_szIniPath)) return uDefault;
    return GetPrivateProfileIntA(pszHostSection, kKeyPrintCmd, static_cast<INT>(uDefault), g_szIniPath);
}

void WriteHostPrintCmd(const char* pszHostSection, UINT uCommandId) {
    if (!HaveProfilePath(g_szIniPath)) return;
    char szValue[16];
    std::snprintf(szValue, sizeof szValue, "%u", uCommandId);
    WritePrivateProfileStringA(pszHostSection, kKeyPrintCmd, szValue, g_szIniPath);
}

std::string ReadJoinedNumberedKeys(const char* pszFirstSection, const char* pszFirstKey, const char* pszSection,
                                   const char* pszStem) {
    std::string joined;
    if (pszFirstSection != nullptr && pszFirstKey != nullptr) joined = ReadProfileString(pszFirstSection, pszFirstKey);
    for (int nNumber = 1;; ++nNumber) {
        char szKey[kValueChars];
        std::snprintf(szKey, sizeof szKey, "%s%d", pszStem, nNumber);
        const std::string value = ReadProfileString(pszSection, szKey);
        if (value.empty()) break;
        joined += value;
    }
    return joined;
}

void RewriteListSection(const char* pszSection, const std::vector<std::string>& entries) {
    if (!HaveProfilePath(g_szIniPath)) return;
    WritePrivateProfileStringA(pszSection, nullptr, nullptr, g_szIniPath);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        WritePrivateProfileStringA(pszSection, it->c_str(), "1", g_szIniPath);
}

DWORD ReadApplicationProfileInt(const char* pszRegistryKey, const char* pszProfileName, const char* pszSection,
                                const char* pszEntry, DWORD dwDefault) {
    if (pszRegistryKey == nullptr || pszRegistryKey[0] == '\0' || pszProfileName == nullptr ||
        pszProfileName[0] == '\0')
        return dwDefault;
    const std::string keyPath =
        std::string("Software\\") + pszRegistryKey + "\\" + pszProfileName + "\\" + pszSection;
    // Opened, never created: the module only reads this profile.
    platform::unique_hkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return dwDefault;
    DWORD dwType = REG_NONE;
    DWORD dwValue = 0;
    DWORD cbValue = sizeof dwValue;
    if (RegQueryValueExA(key.get(), pszEntry, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue), &cbValue) !=
            ERROR_SUCCESS ||
        dwType != REG_DWORD || cbValue != sizeof dwValue)
        return dwDefault;
    return dwValue;
}

void LoadDiagnosticSettings() {
    g_bTraceEnabled = ReadTraceSetting() == 1;
    g_bDiagnosticsEnabled = ReadDiagnosticsSetting() == 1;
}
