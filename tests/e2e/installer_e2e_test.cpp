// The product as an administrator deploys it: the package installed silently
// puts both bitnesses' parts into the suite's common directory and the suite
// key into both registry views; the controller it starts at logon serves 32-
// and 64-bit hosts through its twin; removal takes out the hooks first and
// then exactly what the package wrote; an upgrade keeps the user's profile.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "../../tools/hosts/host_report.h"
#include "e2e_support.h"
#include "settings_dialog.h"
#include "hook/base/hook_names.h"
#include "platform/unique_handle.h"

#ifndef PFC_MENUHOST64_WIN
#error "PFC_MENUHOST64_WIN must name the 64-bit sample host"
#endif

namespace {

constexpr DWORD kMsiTimeoutMs = 180000;
constexpr int kGenericHostIndex = 2;
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kSuiteKey[] = "SOFTWARE\\VORLAND\\PARVANE";

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }
std::string Package() { return Quoted(e2e::BuildPath("installer/PvPfcW32.msi")); }
std::string NextPackage() { return Quoted(e2e::BuildPath("tests/e2e/PvPfcW32-next.msi")); }

e2e::CommandResult Msiexec(const char* pszAction, const std::string& package) {
    return e2e::RunCommand(std::string("msiexec ") + pszAction + " " + package + " /qn", kMsiTimeoutMs);
}

// The tests ask hooked hosts the module's test query, which it answers only
// where the profile asks for it: the suite set-up turns it on after the
// install, and so does each test that installs the package again. What the
// package itself wrote is the profile without it.
constexpr char kDiagnosticsLine[] = "Diagnostics=1\r\n";

bool TurnDiagnosticsOn() {
    return WritePrivateProfileStringA("PFCWatch", "Diagnostics", "1", e2e::InstalledPath("PvPfcW32.ini").c_str()) != FALSE;
}

std::string WithoutDiagnostics(std::string text) {
    const size_t nAt = text.find(kDiagnosticsLine);
    if (nAt != std::string::npos) text.erase(nAt, sizeof kDiagnosticsLine - 1);
    return text;
}

e2e::CommandResult Controller(const char* pszSwitch) {
    return e2e::RunCommand(Quoted(e2e::InstalledPath("pfcctl.exe")) + " " + pszSwitch, 60000);
}

// What the package writes, file by file and value by value.
const char* const kPackageFiles[] = {
    "PVPFCW32.dll", "PavRes32.dll", "pfcctl.exe", "PvPfcW32.default.ini", "PvPfcW32.htm",
    "x64\\PVPFCW32.dll", "x64\\PavRes32.dll", "x64\\pfcctl.exe",
};

struct RegistryCase {
    HKEY hRoot;
    REGSAM samView;
    const char* pszKey;
    const char* pszName;
    DWORD dwType;
    std::string data;  // REG_SZ without its terminator
};

std::vector<RegistryCase> PackageValues() {
    const std::string common = "C:\\Program Files\\Tellarine\\Common\\";
    std::vector<RegistryCase> cases;
    for (REGSAM samView : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        cases.push_back({HKEY_LOCAL_MACHINE, samView, kSuiteKey, "CommonDirectory", REG_SZ, common});
        cases.push_back({HKEY_LOCAL_MACHINE, samView, kSuiteKey, "ParvaneInfo", REG_BINARY, std::string("\3\0\0\0", 4)});
        cases.push_back({HKEY_LOCAL_MACHINE, samView, kSuiteKey, "ParvanePrinter", REG_SZ, "Tellarine Fax"});
        cases.push_back({HKEY_LOCAL_MACHINE, samView, kSuiteKey, "InstallerName", REG_SZ, "PvSetup.exe"});
        cases.push_back({HKEY_LOCAL_MACHINE, samView, kSuiteKey, "QOVIPhonebookName", REG_SZ, "PvPhone.exe"});
    }
    cases.push_back({HKEY_CURRENT_USER, 0, kSuiteKey, "InstallVersion", REG_BINARY, std::string("\3\0\4\2", 4)});
    cases.push_back({HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, kRunKey, "TellarineSendCommand", REG_SZ,
                     "\"" + common + "pfcctl.exe\" --hook"});
    return cases;
}

std::string Describe(const RegistryCase& c) {
    return std::string(c.samView == KEY_WOW64_64KEY ? "64-bit view " : c.samView ? "32-bit view " : "") + c.pszKey +
           " " + c.pszName;
}

// False when the value is missing; otherwise its type and bytes.
bool ReadValue(const RegistryCase& c, DWORD* pdwType, std::string* pData) {
    platform::unique_hkey hKey;
    if (RegOpenKeyExA(c.hRoot, c.pszKey, 0, KEY_QUERY_VALUE | c.samView, hKey.put()) != ERROR_SUCCESS) return false;
    char buffer[512] = {};
    DWORD cb = sizeof buffer;
    if (RegQueryValueExA(hKey.get(), c.pszName, nullptr, pdwType, reinterpret_cast<BYTE*>(buffer), &cb) !=
        ERROR_SUCCESS) {
        return false;
    }
    if (*pdwType == REG_SZ && cb > 0 && buffer[cb - 1] == '\0') --cb;
    pData->assign(buffer, cb);
    return true;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

LRESULT AskHost(HWND hWnd, UINT uMsg, WPARAM wParam) {
    DWORD_PTR dwResult = 0;
    if (!SendMessageTimeoutA(hWnd, uMsg, wParam, 0, SMTO_ABORTIFHUNG, 5000, &dwResult)) return 0;
    return static_cast<LRESULT>(dwResult);
}

bool HookedAsGenericHost(HWND hWnd) {
    const LRESULT lIdentity = AskHost(hWnd, host_report::kReportMessage, host_report::kAskIdentity);
    return host_report::Hooked(lIdentity) && host_report::Value(lIdentity) == kGenericHostIndex;
}

bool ControllerRunning(bool b64Bit) {
    return FindWindowA(b64Bit ? kControllerWindowClass64 : kControllerWindowClass32, nullptr) != nullptr;
}

TEST(InstalledSuite, PackagePutsItsFilesAndValuesInPlace) {
    for (const char* pszFile : kPackageFiles) EXPECT_TRUE(FileExists(e2e::InstalledPath(pszFile))) << pszFile;
    EXPECT_EQ(ReadFileText(e2e::InstalledPath("PvPfcW32.default.ini")),
              WithoutDiagnostics(ReadFileText(e2e::InstalledPath("PvPfcW32.ini"))));
    for (const RegistryCase& c : PackageValues()) {
        DWORD dwType = REG_NONE;
        std::string data;
        ASSERT_TRUE(ReadValue(c, &dwType, &data)) << Describe(c);
        EXPECT_EQ(c.dwType, dwType) << Describe(c);
        EXPECT_EQ(c.data, data) << Describe(c);
    }
}

// Each installed side serves the hosts of its bitness. Under Wine only the
// global hook installed last is called in a process (a hook whose module the
// process cannot load ends the chain there), so with the twin's hook in as
// well Wine serves only the 32-bit hosts: the 64-bit side is shown with the
// 64-bit controller alone. Windows calls each hook in the processes of its
// own bitness.
TEST(InstalledSuite, HostsOfEachBitnessAreServed) {
    struct Side {
        const char* pszWhich;
        bool b64Bit;
        std::string host;
    };
    const Side sides[] = {
        {"32-bit", false, Quoted(e2e::BuildPath("tools/hosts/PFCMENUHOST.exe"))},
        {"64-bit", true, Quoted(PFC_MENUHOST64_WIN)},
    };
    for (const Side& side : sides) {
        SCOPED_TRACE(side.pszWhich);
        e2e::ControllerSession controller(side.b64Bit);
        ASSERT_TRUE(controller.Installed());
        e2e::Process host(side.host);
        HWND hWnd = host.WaitForMainWindow(20000);
        ASSERT_NE(hWnd, nullptr);
        EXPECT_TRUE(e2e::WaitUntil([&] { return HookedAsGenericHost(hWnd); }, 15000))
            << "not hooked, answer " << std::hex << AskHost(hWnd, host_report::kReportMessage, host_report::kAskIdentity);
        // And the user sees the send popup at the end of the menu bar.
        EXPECT_TRUE(e2e::WaitUntil(
            [&] { return host_report::Value(AskHost(hWnd, host_report::kReportMessage, host_report::kAskSendItem)) > 0; },
            15000));
    }
}

TEST(InstalledSuite, StatusTellsEachBitnessAndASecondHookChangesNothing) {
    struct StatusCase {
        bool bHooked;
        std::vector<std::string> lines;
    };
    const std::string profile = "  profile: C:\\Program Files\\Tellarine\\Common\\PvPfcW32.ini";
    const std::string hosts = "  hosts: PFCBROWSE.EXE, PFCVIEWER.EXE, PFCMENUHOST.EXE, PFCOFFICE.EXE, WINWORD.EXE";
    const StatusCase cases[] = {
        {false, {"32-bit: hook not in", "64-bit: hook not in"}},
        {true, {"32-bit: hook in\n" + profile + "\n" + hosts, "64-bit: hook in\n" + profile + "\n" + hosts}},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.bHooked ? "hooked" : "not hooked");
        std::unique_ptr<e2e::ControllerSession> session;
        if (c.bHooked) {
            session = std::make_unique<e2e::ControllerSession>();
            ASSERT_TRUE(session->Installed());
        }
        e2e::CommandResult status = Controller("--status");
        ASSERT_TRUE(status.bEnded);
        EXPECT_EQ(0u, status.dwExitCode) << status.output;
        for (const std::string& line : c.lines) EXPECT_NE(std::string::npos, status.output.find(line)) << status.output;
        if (!c.bHooked) continue;

        e2e::CommandResult second = Controller("--hook");
        ASSERT_TRUE(second.bEnded) << "a second --hook stayed";
        EXPECT_EQ(3u, second.dwExitCode) << second.output;
        EXPECT_NE(std::string::npos, second.output.find("already holds the hook")) << second.output;
        status = Controller("--status");
        for (const std::string& line : c.lines) EXPECT_NE(std::string::npos, status.output.find(line)) << status.output;
    }
}

// The settings of one bitness change the profile that both read: switched off
// there, hooking goes for both bitnesses at once; switched on again, the next
// --hook brings both hooks back.
TEST(InstalledSuite, SwitchingHookingOffFromEitherSideRemovesBothHooks) {
    e2e::ProfileBackup profile;
    for (bool b64BitSettings : {false, true}) {
        SCOPED_TRACE(b64BitSettings ? "settings of the 64-bit side" : "settings of the 32-bit side");
        auto settings = [&](std::initializer_list<int> buttons, bool bAsksRestart) {
            e2e::Process config(e2e::InstalledController(b64BitSettings) + " --config");
            HWND hDialog = e2e::WaitForSettingsDialog(config.Id(), 20000);
            if (hDialog == nullptr) return false;
            e2e::PressSettingsButtons(hDialog, buttons);
            if (bAsksRestart && !e2e::DeclineRestart(config.Id(), 20000)) return false;
            DWORD dwExit = 1;
            return config.WaitForExit(20000, &dwExit) && dwExit == 0;
        };
        {
            e2e::ControllerSession controller(false);
            ASSERT_TRUE(controller.Installed());
            ASSERT_TRUE(ControllerRunning(false) && ControllerRunning(true));
            ASSERT_TRUE(settings({IDC_MOVE_ALL_OUT, IDOK}, false));
            EXPECT_TRUE(e2e::WaitUntil([] { return !ControllerRunning(false) && !ControllerRunning(true); }, 20000));
            EXPECT_FALSE(e2e::HookMutexExists());
            const e2e::CommandResult status = Controller("--status");
            for (const char* pszLine : {"32-bit: hook not in", "64-bit: hook not in"})
                EXPECT_NE(std::string::npos, status.output.find(pszLine)) << status.output;
            const e2e::CommandResult refused = Controller("--hook");
            EXPECT_TRUE(refused.bEnded) << "--hook stayed with hooking off";
            EXPECT_NE(std::string::npos, refused.output.find("hooking is switched off")) << refused.output;
        }
        ASSERT_TRUE(settings({IDC_MOVE_ALL_IN, IDOK}, true));
        e2e::ControllerSession again(false);
        ASSERT_TRUE(again.Installed());
        EXPECT_TRUE(ControllerRunning(false) && ControllerRunning(true));
        const e2e::CommandResult status = Controller("--status");
        for (const char* pszLine : {"32-bit: hook in", "64-bit: hook in"})
            EXPECT_NE(std::string::npos, status.output.find(pszLine)) << status.output;
    }
}

TEST(InstalledSuite, TwinEndsAndTakesItsHookOutWhenTheFirstControllerDies) {
    e2e::ControllerSession controller;
    ASSERT_TRUE(controller.Installed());
    DWORD dwFirstId = 0;
    DWORD dwTwinId = 0;
    GetWindowThreadProcessId(FindWindowA(kControllerWindowClass32, nullptr), &dwFirstId);
    GetWindowThreadProcessId(FindWindowA("TellarineSendController64", nullptr), &dwTwinId);
    ASSERT_NE(0u, dwFirstId);
    ASSERT_NE(0u, dwTwinId);
    platform::unique_handle hFirst(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, dwFirstId));
    platform::unique_handle hTwin(OpenProcess(SYNCHRONIZE, FALSE, dwTwinId));
    ASSERT_TRUE(hFirst && hTwin);

    ASSERT_TRUE(TerminateProcess(hFirst.get(), 255));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hFirst.get(), 5000));
    const DWORD dwKilledAt = GetTickCount();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hTwin.get(), 2000)) << "the twin outlived its controller";
    EXPECT_LE(GetTickCount() - dwKilledAt, 2000u);
    EXPECT_FALSE(e2e::HookMutexExists());
    const e2e::CommandResult status = Controller("--status");
    EXPECT_NE(std::string::npos, status.output.find("64-bit: hook not in")) << status.output;
}

// Started after the package is gone, the host never sees the module.
void ExpectHostLeftAlone() {
    e2e::Process host(Quoted(e2e::BuildPath("tools/hosts/PFCMENUHOST.exe")));
    HWND hWnd = host.WaitForMainWindow(20000);
    ASSERT_NE(hWnd, nullptr);
    // A hook, were there one, is called at the end of the window's creation
    // on the host's thread; the host answers only from its message loop,
    // after that: its answer comes later than the module would have.
    const LRESULT lAnswer = AskHost(hWnd, host_report::kReportMessage, host_report::kAskIdentity);
    ASSERT_TRUE(lAnswer & host_report::kValid);
    EXPECT_FALSE(host_report::ModuleInProcess(lAnswer));
    EXPECT_FALSE(host_report::Hooked(lAnswer));
}

void ExpectPackageGone() {
    for (const char* pszFile : kPackageFiles) EXPECT_FALSE(FileExists(e2e::InstalledPath(pszFile))) << pszFile;
    for (const RegistryCase& c : PackageValues()) {
        DWORD dwType = REG_NONE;
        std::string data;
        EXPECT_FALSE(ReadValue(c, &dwType, &data)) << Describe(c) << " is left";
    }
    // What the package did not write stays: the suite's own programs.
    EXPECT_TRUE(FileExists(e2e::InstalledPath("Yarrow.exe")));
}

TEST(PackageLifecycle, RemovalTakesOutTheHooksThenExactlyWhatItWrote) {
    e2e::ControllerSession controller;
    ASSERT_TRUE(controller.Installed());
    {
        // A host that had the module keeps its file in use until it ends, as
        // on Windows, where the removal would then ask for a restart.
        e2e::Process host(Quoted(e2e::BuildPath("tools/hosts/PFCMENUHOST.exe")));
        HWND hWnd = host.WaitForMainWindow(20000);
        ASSERT_NE(hWnd, nullptr);
        ASSERT_TRUE(e2e::WaitUntil([&] { return HookedAsGenericHost(hWnd); }, 15000));
    }
    // The profile as the package wrote it, which the removal takes with it.
    const std::string profile = e2e::InstalledPath("PvPfcW32.ini");
    ASSERT_TRUE(CopyFileA(e2e::InstalledPath("PvPfcW32.default.ini").c_str(), profile.c_str(), FALSE));

    const e2e::CommandResult removal = Msiexec("/x", Package());
    ASSERT_TRUE(removal.bEnded);
    ASSERT_EQ(0u, removal.dwExitCode) << removal.output;
    EXPECT_FALSE(ControllerRunning(false));
    EXPECT_FALSE(ControllerRunning(true));
    EXPECT_FALSE(e2e::HookMutexExists());
    ExpectPackageGone();
    EXPECT_FALSE(FileExists(e2e::InstalledPath("PvPfcW32.ini"))) << "the unchanged default profile is left";
    ExpectHostLeftAlone();

    const e2e::CommandResult install = Msiexec("/i", Package());
    ASSERT_EQ(0u, install.dwExitCode) << install.output;
    ASSERT_TRUE(TurnDiagnosticsOn());
}

TEST(PackageLifecycle, UpgradeAndRemovalKeepTheUsersProfile) {
    const std::string profile = e2e::InstalledPath("PvPfcW32.ini");
    ASSERT_TRUE(WritePrivateProfileStringA("PFCWatch", "Print", "Print,Imprimer,", profile.c_str()));
    const std::string edited = ReadFileText(profile);

    const e2e::CommandResult upgrade = Msiexec("/i", NextPackage());
    ASSERT_TRUE(upgrade.bEnded);
    ASSERT_EQ(0u, upgrade.dwExitCode) << upgrade.output;
    EXPECT_EQ(edited, ReadFileText(profile));
    for (const char* pszFile : kPackageFiles) EXPECT_TRUE(FileExists(e2e::InstalledPath(pszFile))) << pszFile;

    const e2e::CommandResult removal = Msiexec("/x", NextPackage());
    ASSERT_EQ(0u, removal.dwExitCode) << removal.output;
    ExpectPackageGone();
    EXPECT_EQ(edited, ReadFileText(profile)) << "the user's profile must stay";

    // Back to the installation the other tests expect.
    ASSERT_TRUE(DeleteFileA(profile.c_str()));
    const e2e::CommandResult install = Msiexec("/i", Package());
    ASSERT_EQ(0u, install.dwExitCode) << install.output;
    ASSERT_TRUE(TurnDiagnosticsOn());
}

}  // namespace
