// Starting the suite's sending program, and whether the user has a mail
// system at all. Per-user settings live in HKEY_CLASSES_ROOT under
// "Software\vorland\User.<network user name>\<setting>", as the default
// value of that key.
#pragma once

#include <windows.h>

#include <string>

#include "suite/library_error.h"

namespace send {

constexpr char kUserSettingsPrefix[] = "Software\\vorland\\User.";
constexpr char kProgramDirectoryKey[] = "Software\\vorland\\Program";
constexpr char kSettingMailEngine[] = "MailEngine";
constexpr char kMailProgram32[] = "VXMAIL32.EXE";
constexpr char kMailProgram16[] = "VXMAIL16.EXE";
constexpr char kMailLauncher[] = "DLLCMD32.EXE";

// Bits of "MailEngine" beyond its low byte (the mail system kind).
constexpr DWORD kMailEngineUse16Bit = 0x100;
// The whole value that means "no mail system" outside Win32s.
constexpr DWORD kMailEngineNone = 4;

// Launch option bits.
constexpr DWORD kLaunchLetterN = 0x100;
constexpr DWORD kLaunchLetterD = 0x200;
constexpr DWORD kLaunchLetterE = 0x400;
constexpr DWORD kLaunchLetterM = 0x10;
constexpr DWORD kLaunchLetterU = 0x800;
constexpr int kLaunchNumberShift = 12;  // three bits
constexpr DWORD kLaunchThroughLauncher = 0x10000;

// Platform kinds.
constexpr int kPlatformOther = 0;
constexpr int kPlatformWin32s = 1;
constexpr int kPlatformWindows95 = 2;
constexpr int kPlatformWindowsNT = 3;

// The key path of a per-user setting; without a user name the setting's name
// follows the prefix directly.
std::string UserSettingKeyPath(const char* pszUserName, const char* pszSetting);

// The key path of a per-user setting of the user running this process,
// under the network provider's name for the user when it gives one.
std::string CurrentUserSettingKeyPath(const char* pszSetting);
// Length read without its NUL, or -1.
int ReadUserSetting(const char* pszSetting, char* pszBuffer, DWORD cbBuffer);
// The setting's leading decimal digits; the default when it cannot be read.
int ReadUserNumber(const char* pszSetting, int nDefault);
// Length of the program directory read into a 260-character buffer, or 0.
int GetProgramDirectory(char* pszBuffer);
int GetPlatformKind();

bool IsMailSystemPresent();
// The decision for a given platform kind: only Win32s asks the mail systems.
bool IsMailSystemPresentOn(int nPlatformKind);

// "-" then the letters n, d, e, m, u of the set bits, in that order.
std::string BuildLaunchOptionWord(DWORD dwFlags);
// The shell's result (32 or more: started), or 0 when nothing was started.
INT_PTR LaunchMailProgram(DWORD dwFlags, const char* pszArguments);

// The library facade over the two: LIBERR_LAUNCH_FAILED when the shell's
// result is below 32 (also when no program directory is known).
LibraryErrorCode StartMailProgram(DWORD dwFlags, const char* pszArguments);
// False also when the test itself fails.
bool QueryMailSystemPresent();

}  // namespace send
