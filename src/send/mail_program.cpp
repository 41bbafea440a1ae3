#include "send/mail_program.h"

#include <winnetwk.h>

#include <cstdlib>

#include "platform/seams.h"
#include "platform/system_library.h"
#include "platform/unique_handle.h"
#include "suite/library_frame.h"

namespace send {
namespace {

constexpr DWORD kUserNameChars = 80;
constexpr DWORD kNumberChars = 80;
constexpr DWORD kMailSystemValueBytes = 10;
constexpr DWORD kLaunchNumberMask = 7;

// The default value of a key, as text; false when absent or not a string.
bool ReadDefaultString(HKEY hRoot, const char* pszKeyPath, char* pszBuffer, DWORD cbBuffer) {
    platform::unique_hkey hKey;
    if (RegOpenKeyExA(hRoot, pszKeyPath, 0, KEY_READ, hKey.put()) != ERROR_SUCCESS) return false;
    DWORD dwType = 0;
    DWORD cb = cbBuffer;
    if (RegQueryValueExA(hKey.get(), nullptr, nullptr, &dwType, reinterpret_cast<BYTE*>(pszBuffer), &cb) !=
            ERROR_SUCCESS ||
        dwType != REG_SZ)
        return false;
    // A value stored without its NUL still ends inside the buffer.
    if (cb >= cbBuffer) cb = cbBuffer - 1;
    pszBuffer[cb] = '\0';
    return true;
}

// A value of at most kMailSystemValueBytes bytes; a longer one does not fit
// and counts as unreadable.
bool ReadShortValue(const char* pszKeyPath, const char* pszName, char (&szValue)[kMailSystemValueBytes + 1],
                    DWORD* pcbRead) {
    platform::unique_hkey hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszKeyPath, 0, KEY_READ, hKey.put()) != ERROR_SUCCESS) return false;
    DWORD cb = kMailSystemValueBytes;
    if (RegQueryValueExA(hKey.get(), pszName, nullptr, nullptr, reinterpret_cast<BYTE*>(szValue), &cb) !=
        ERROR_SUCCESS)
        return false;
    szValue[cb < kMailSystemValueBytes ? cb : kMailSystemValueBytes] = '\0';
    *pcbRead = cb;
    return true;
}

bool MailInterfaceInWinIni(const char* pszKey) { return GetProfileIntA("Mail", pszKey, 0) != 0; }

bool IsMapiPresent() {
    char szValue[kMailSystemValueBytes + 1] = {};
    DWORD cb = 0;
    if (ReadShortValue("Software\\Microsoft\\Windows Messaging Subsystem", "MAPI", szValue, &cb) &&
        std::atoi(szValue) != 0)
        return true;
    return MailInterfaceInWinIni("MAPI");
}

bool IsNotesPresent() {
    char szValue[kMailSystemValueBytes + 1] = {};
    DWORD cb = 0;
    if (ReadShortValue("Software\\Lotus\\Notes", "Name", szValue, &cb) && cb > 1) return true;
    return MailInterfaceInWinIni("SMI");
}

}  // namespace

std::string UserSettingKeyPath(const char* pszUserName, const char* pszSetting) {
    std::string path = kUserSettingsPrefix;
    if (pszUserName != nullptr) {
        path += pszUserName;
        path += '\\';
    }
    return path + pszSetting;
}

using WNetGetUserAProc = DWORD(WINAPI*)(LPCSTR, LPSTR, LPDWORD);

// The network user name comes from mpr.dll, which is no known DLL: it is
// loaded from the system folder for the call only.
bool GetNetworkUserName(char* pszUser, DWORD cchUser) {
    platform::unique_hmodule hMpr = platform::LoadSystemLibrary("mpr.dll");
    if (!hMpr) return false;
    auto pfnGetUser =
        reinterpret_cast<WNetGetUserAProc>(reinterpret_cast<void*>(GetProcAddress(hMpr.get(), "WNetGetUserA")));
    return pfnGetUser != nullptr && pfnGetUser(nullptr, pszUser, &cchUser) == NO_ERROR;
}

std::string CurrentUserSettingKeyPath(const char* pszSetting) {
    char szUser[kUserNameChars] = {};
    const bool bHaveUser = GetNetworkUserName(szUser, kUserNameChars);
    return UserSettingKeyPath(bHaveUser ? szUser : nullptr, pszSetting);
}

int ReadUserSetting(const char* pszSetting, char* pszBuffer, DWORD cbBuffer) {
    if (pszBuffer == nullptr || cbBuffer == 0) return -1;
    const std::string keyPath = CurrentUserSettingKeyPath(pszSetting);
    if (!ReadDefaultString(HKEY_CLASSES_ROOT, keyPath.c_str(), pszBuffer, cbBuffer)) return -1;
    return lstrlenA(pszBuffer);
}

int ReadUserNumber(const char* pszSetting, int nDefault) {
    char szText[kNumberChars] = {};
    if (ReadUserSetting(pszSetting, szText, kNumberChars) < 0) return nDefault;
    return std::atoi(szText);
}

int GetProgramDirectory(char* pszBuffer) {
    pszBuffer[0] = '\0';
    if (!ReadDefaultString(HKEY_CLASSES_ROOT, kProgramDirectoryKey, pszBuffer, MAX_PATH)) return 0;
    return lstrlenA(pszBuffer);
}

int GetPlatformKind() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return kPlatformOther;
    switch (info.dwPlatformId) {
        case VER_PLATFORM_WIN32_NT: return kPlatformWindowsNT;
        case VER_PLATFORM_WIN32_WINDOWS: return kPlatformWindows95;
        case VER_PLATFORM_WIN32s: return kPlatformWin32s;
        default: return kPlatformOther;
    }
}

bool IsMailSystemPresent() { return IsMailSystemPresentOn(GetPlatformKind()); }

bool IsMailSystemPresentOn(int nPlatformKind) {
    if (nPlatformKind != kPlatformWin32s)
        return static_cast<DWORD>(ReadUserNumber(kSettingMailEngine, 0)) != kMailEngineNone;
    switch (ReadUserNumber(kSettingMailEngine, 0) & 0xFF) {
        case 0: return IsMapiPresent();
        case 1: return IsNotesPresent();
        case 2: return MailInterfaceInWinIni("CMC");
        case 3: return true;
        default: return false;
    }
}

std::string BuildLaunchOptionWord(DWORD dwFlags) {
    static const struct {
        DWORD dwBit;
        char chLetter;
    } kLetters[] = {{kLaunchLetterN, 'n'}, {kLaunchLetterD, 'd'}, {kLaunchLetterE, 'e'},
                    {kLaunchLetterM, 'm'}, {kLaunchLetterU, 'u'}};
    std::string word = "-";
    for (const auto& letter : kLetters)
        if ((dwFlags & letter.dwBit) != 0) word += letter.chLetter;
    return word + std::to_string((dwFlags >> kLaunchNumberShift) & kLaunchNumberMask);
}

INT_PTR LaunchMailProgram(DWORD dwFlags, const char* pszArguments) {
    const char* pszProgram =
        (ReadUserNumber(kSettingMailEngine, 0) & kMailEngineUse16Bit) != 0 ? kMailProgram16 : kMailProgram32;
    char szDirectory[MAX_PATH] = {};
    if (GetProgramDirectory(szDirectory) == 0) return 0;
    const std::string arguments = pszArguments != nullptr ? pszArguments : "";
    const std::string optionWord = BuildLaunchOptionWord(dwFlags);
    // The command line the sending program has always been given: the quoted
    // program path, then its parameters after one blank; the arguments go on
    // as they are, blanks and all.
    std::string path = std::string(szDirectory) + "\\";
    std::string parameters;
    if ((dwFlags & kLaunchThroughLauncher) != 0) {
        path += kMailLauncher;
        parameters = std::string("/E ") + pszProgram + " " + optionWord + " " + arguments;
    } else {
        path += pszProgram;
        parameters = optionWord + " " + arguments;
    }
    const HINSTANCE hResult = platform::GetSeams().pfnShellExecuteA(GetDesktopWindow(), "open", path.c_str(),
                                                                   parameters.c_str(), nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(hResult);
}

LibraryErrorCode StartMailProgram(DWORD dwFlags, const char* pszArguments) {
    return RunLibraryFacade([&] {
        if (LaunchMailProgram(dwFlags, pszArguments) < 32) ThrowLibraryError(LIBERR_LAUNCH_FAILED, kMailProgram32);
    });
}

bool QueryMailSystemPresent() {
    bool bPresent = false;
    RunLibraryFacade([&] { bPresent = IsMailSystemPresent(); });
    return bPresent;
}

}  // namespace send
