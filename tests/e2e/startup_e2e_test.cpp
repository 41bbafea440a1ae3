// Start-up of the module in a process and the installation of the shell hook,
// seen from outside: the controller's process, its hook mutex, the message a
// process shows when the profile lists no programs, and the installer that
// the installation check starts.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "e2e_support.h"
#include "suite/suite_settings.h"

namespace {

const char kIniPath[] = "C:\\Program Files\\Tellarine\\Common\\PvPfcW32.ini";

using e2e::ProfileBackup;

TEST(ModuleStartup, HookIsInstalledWhileTheControllerRunsAndRemovedWhenItEnds) {
    ASSERT_FALSE(e2e::HookMutexExists()) << "a hook of an earlier run is still installed";
    e2e::ControllerSession session;
    ASSERT_TRUE(session.Installed());
    EXPECT_TRUE(e2e::HookMutexExists());
    EXPECT_TRUE(session.Unhook());
    EXPECT_FALSE(e2e::HookMutexExists());
}

TEST(ModuleStartup, HookingSwitchedOffInstallsNothing) {
    ProfileBackup backup;
    ASSERT_TRUE(WritePrivateProfileStringA("PFCWatch", "Enable", "0 (off)", kIniPath));
    e2e::Process controller(e2e::InstalledController() + " --hook");
    ASSERT_TRUE(controller.Started());
    // The controller asked for the hook; with hooking off the module leaves
    // it out, the mutex that marks an installed hook never appears, and the
    // controller says so and ends.
    DWORD dwExit = 99;
    ASSERT_TRUE(controller.WaitForExit(20000, &dwExit));
    EXPECT_EQ(6u, dwExit) << "hooking switched off";
    EXPECT_FALSE(e2e::HookMutexExists());
}

TEST(ModuleStartup, EmptyProgramListRefusesTheLoadWithAMessageNamingTheProfile) {
    ProfileBackup backup;
    ASSERT_TRUE(WritePrivateProfileStringA("PFCModules", nullptr, nullptr, kIniPath));
    e2e::Process controller(e2e::InstalledController() + " --hook");
    ASSERT_TRUE(controller.Started());

    // The box exists before its text and its styles are set: wait for the
    // shown box with the text and the style checked below.
    HWND hMessage = nullptr;
    std::string text;
    bool bTopmost = false;
    e2e::WaitUntil(
        [&] {
            hMessage = e2e::FindWindowOfProcess(controller.Id(), "#32770");
            if (hMessage == nullptr) return false;
            text = e2e::DialogText(hMessage);
            bTopmost = (GetWindowLongA(hMessage, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            return IsWindowVisible(hMessage) && text.find("PvPfcW32.ini") != std::string::npos && bTopmost;
        },
        20000);
    ASSERT_NE(nullptr, hMessage) << "no message box";
    EXPECT_NE(std::string::npos, text.find("PvPfcW32.ini")) << text;
    EXPECT_TRUE(bTopmost) << "not system-modal";
    PostMessageA(hMessage, WM_COMMAND, IDOK, 0);

    DWORD dwExit = 99;
    ASSERT_TRUE(controller.WaitForExit(20000, &dwExit));
    EXPECT_EQ(2u, dwExit) << "the module must refuse to load";
    EXPECT_FALSE(e2e::HookMutexExists());
}

// The hook loads and unloads the module again and again in a long-lived
// process: loading alone takes nothing, and each unload gives back the
// resource library that a suite program's first call made it load.
TEST(ModuleStartup, UnloadGivesBackTheResourceLibrary) {
    if (GetModuleHandleA("PVPFCW32.dll") != nullptr) GTEST_SKIP() << "the module is already loaded in this process";
    ASSERT_EQ(nullptr, GetModuleHandleA("PavRes32.dll"));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        HMODULE hModule = LoadLibraryA(e2e::InstalledModule("PVPFCW32.dll").c_str());
        ASSERT_NE(nullptr, hModule) << GetLastError();
        EXPECT_EQ(nullptr, GetModuleHandleA("PavRes32.dll")) << "loaded before any call";
        auto pfnSetHooking = reinterpret_cast<DWORD(WINAPI*)(BOOL, DWORD, DWORD, DWORD)>(
            reinterpret_cast<void*>(GetProcAddress(hModule, "VXPFCWSetHooking")));
        ASSERT_NE(nullptr, pfnSetHooking);
        pfnSetHooking(FALSE, 0, 0, 0);
        EXPECT_NE(nullptr, GetModuleHandleA("PavRes32.dll"));
        FreeLibrary(hModule);
        EXPECT_EQ(nullptr, GetModuleHandleA("PVPFCW32.dll"));
        EXPECT_EQ(nullptr, GetModuleHandleA("PavRes32.dll"));
    }
}

// The installed suite older than 2.4: the check starts the installer to
// update it and reports the operation as cancelled.
TEST(ModuleStartup, OutdatedSuiteStartsTheInstallerWithUpdateSwitch) {
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kSuiteKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &hKey, nullptr));
    BYTE saved[16] = {};
    DWORD cbSaved = sizeof saved;
    DWORD dwType = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(hKey, "InstallVersion", nullptr, &dwType, saved, &cbSaved));
    const BYTE outdated[4] = {0x03, 0x00, 0x03, 0x02};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, "InstallVersion", 0, REG_BINARY, outdated, sizeof outdated));
    e2e::ClearStandinLog();

    int bFlag = -1;
    const LibraryErrorCode dwResult = CheckInstallation(true, &bFlag);
    RegSetValueExA(hKey, "InstallVersion", 0, dwType, saved, cbSaved);
    RegCloseKey(hKey);

    EXPECT_EQ(LIBERR_CANCELLED, dwResult);
    EXPECT_EQ(1, bFlag);
    std::vector<std::string> log;
    ASSERT_TRUE(e2e::WaitUntil([&] { return !(log = e2e::ReadStandinLog()).empty(); }, 20000));
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(0u, log[0].find("PvSetup.exe|")) << log[0];
    EXPECT_NE(std::string::npos, log[0].find("/UPDATE")) << log[0];
}

}  // namespace
