// The module's private profile "PvPfcW32.ini" and its value in the
// application's registry profile. Every access goes through g_szIniPath except
// where a path is given explicitly. The values are read when needed; only the
// module and include lists are cached (in the shared section).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

constexpr const char* kProfileFileName = "PvPfcW32.ini";
constexpr const char* kSectionModules = "PFCModules";
constexpr const char* kSectionInclude = "PFCInclude";
constexpr const char* kSectionExclude = "PFCExclude";
constexpr const char* kSectionWatch = "PFCWatch";
constexpr const char* kKeyEnable = "Enable";
constexpr const char* kKeyBitmapMenu = "BitmapMenu";
constexpr const char* kKeyPrint = "Print";
constexpr const char* kKeyPrintCmd = "PrintCmd";
constexpr const char* kKeyTrace = "Trace";
constexpr const char* kKeyDiagnostics = "Diagnostics";
constexpr const char* kStemPrint = "Print";
constexpr const char* kStemBrowserMenu = "BrowserMenu";

// Default of a host's "PrintCmd" while the tool-bar button of a browser-type
// host is set up.
constexpr UINT kBrowserPrintCmdDefault = 260;

// Key names of a section: NUL-terminated names ended by an empty name.
// Returns the number of characters read (0 for a missing or empty section).
DWORD ReadProfileKeyList(const char* pszSection, char* pszBuffer, DWORD cchBuffer);

// "PFCWatch"/"Enable": off exactly when its first character is '0'.
bool ReadHookingEnabled();
void WriteHookingEnabled(bool bEnabled);

// "PFCWatch"/"BitmapMenu" (default 1), from g_szIniPath or from a given path.
int ReadBitmapMenuSetting();
int ReadBitmapMenuSettingFrom(const char* pszIniPath);
void WriteBitmapMenuSetting(bool bBitmap);

// "PFCWatch"/"Trace" (default 0).
int ReadTraceSetting();
// "PFCWatch"/"Diagnostics" (default 0).
int ReadDiagnosticsSetting();
// Reads [PFCWatch] "Trace" and "Diagnostics" (default 0 each) into
// g_bTraceEnabled and g_bDiagnosticsEnabled (hook/trace.h).
void LoadDiagnosticSettings();

// A host's "PrintCmd" in its own section.
UINT ReadHostPrintCmd(const char* pszHostSection, UINT uDefault);
void WriteHostPrintCmd(const char* pszHostSection, UINT uCommandId);

// Joins the values of the numbered keys stem1, stem2, ... of a section, in
// order, until the first missing or empty one; each value at most 255
// characters. When pszFirstSection/pszFirstKey are given, that value comes
// first ([PFCWatch] "Print" before a host's Print1, Print2, ...).
std::string ReadJoinedNumberedKeys(const char* pszFirstSection, const char* pszFirstKey, const char* pszSection,
                                   const char* pszStem);

// Deletes a list section and writes each entry with the value "1", from the
// last entry to the first (the order the configuration dialog keeps).
void RewriteListSection(const char* pszSection, const std::vector<std::string>& entries);

// A number of the application's registry profile, under
// HKEY_CURRENT_USER\Software\<registry key>\<profile name>\<section>.
DWORD ReadApplicationProfileInt(const char* pszRegistryKey, const char* pszProfileName, const char* pszSection,
                                const char* pszEntry, DWORD dwDefault);
