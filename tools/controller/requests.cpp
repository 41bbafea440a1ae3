#include "requests.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "child_process.h"
#include "exit_codes.h"
#include "program_paths.h"
#include "safe_mode_watch.h"
#include "suite/safe_mode.h"
#include "send_module.h"

namespace controller {

namespace {

constexpr DWORD kUnhookWaitMs = 15000;
constexpr DWORD kTwinStatusWaitMs = 20000;

int Report(int nCode, const std::string& text) {
    std::fprintf(stderr, "pfcctl: %s\n", text.c_str());
    return nCode;
}

enum class CloseResult { kNoneRunning, kEnded, kStillRunning };

CloseResult CloseController(bool b64Bit) {
    HWND hWnd = FindWindowA(ControllerWindowClass(b64Bit), nullptr);
    if (hWnd == nullptr) return CloseResult::kNoneRunning;
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    platform::unique_handle hProcess(OpenProcess(SYNCHRONIZE, FALSE, dwProcessId));
    PostMessageA(hWnd, WM_CLOSE, 0, 0);
    if (!hProcess) return CloseResult::kEnded;
    return WaitForSingleObject(hProcess.get(), kUnhookWaitMs) == WAIT_OBJECT_0 ? CloseResult::kEnded
                                                                             : CloseResult::kStillRunning;
}

bool MutexExists(const char* pszName) {
    platform::unique_handle hMutex(OpenMutexA(SYNCHRONIZE, FALSE, pszName));
    return static_cast<bool>(hMutex);
}

std::string ReadFile(const std::string& path, bool* pbRead) {
    std::ifstream in(path, std::ios::binary);
    *pbRead = static_cast<bool>(in);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The user's incidents are the same for both bitnesses; each side says
// whether its profile has safe mode on.
void PrintSafeModeStatus() {
    const bool bOn = safe_mode::IsSafeModeOn(ProfilePath().c_str());
    std::printf("  safe mode: %s\n", bOn ? "on" : "off ([PFCWatch] SafeMode=0)");
    bool bAny = false;
    for (const safe_mode::ProgramRecord& record : safe_mode::ReadRecords()) {
        if (!record.bQuarantined || record.incidents.empty()) continue;
        const safe_mode::Incident& last = record.incidents.back();
        std::printf("  quarantined: %s, last incident %s, code %s\n", record.name.c_str(),
                    safe_mode::FormatTime(last.ullTime).c_str(), safe_mode::FormatCode(last.dwCode).c_str());
        bAny = true;
    }
    if (!bAny) std::printf("  quarantined: none\n");
}

void PrintOwnStatus(const SharedSection* pShared) {
    const bool b64Bit = Is64BitProgram();
    // A hook handle in the block counts only while its controller lives: a
    // controller that was killed leaves the handle behind, not the hook.
    const bool bHookIn = pShared->hShellHook != nullptr && MutexExists(InstanceMutexName(b64Bit));
    std::printf("%s-bit: hook %s\n", OwnBitness(), bHookIn ? "in" : "not in");
    if (pShared->szIniPath[0] != '\0') {
        std::printf("  profile: %.*s\n", kPathSize, pShared->szIniPath);
    } else {
        std::printf("  profile: none read (no process runs the %s-bit module)\n", OwnBitness());
    }
    std::string hosts;
    for (const std::string& name : SplitKeyList(pShared->szModuleList, kSharedListSize)) {
        hosts += hosts.empty() ? name : ", " + name;
    }
    std::printf("  hosts: %s\n", hosts.empty() ? "none" : hosts.c_str());
    std::string included;
    for (const std::string& entry : SplitKeyList(pShared->szIncludeList, kSharedListSize)) {
        included += included.empty() ? entry : ", " + entry;
    }
    std::printf("  included: %s\n", included.empty() ? "none" : included.c_str());
    PrintSafeModeStatus();
}

// The 64-bit controller reports its own side into our output.
int RunTwinStatus() {
    const std::string program = TwinProgramPath();
    ChildProcess child;
    if (!StartWithOurOutput(program, "--status", &child)) {
        std::printf("64-bit: unknown\n");
        return Report(kExitModuleMissing, "cannot start the 64-bit controller " + program);
    }
    const platform::unique_handle hProcess = std::move(child.hProcess);
    if (WaitForSingleObject(hProcess.get(), kTwinStatusWaitMs) != WAIT_OBJECT_0) {
        return Report(kExitNotEnded, "the 64-bit controller did not report in time");
    }
    DWORD dwExit = kExitSystemFailure;
    GetExitCodeProcess(hProcess.get(), &dwExit);
    return static_cast<int>(dwExit);
}

}  // namespace

int RequestUnhook() {
    // The 32-bit controller ends its twin itself; a 64-bit controller that
    // still runs afterwards was started on its own.
    const CloseResult first = CloseController(false);
    const CloseResult second = CloseController(true);
    if (first == CloseResult::kStillRunning || second == CloseResult::kStillRunning) {
        return Report(kExitNotEnded, "a controller did not end in time");
    }
    if (first == CloseResult::kNoneRunning && second == CloseResult::kNoneRunning) {
        return Report(kExitNoController, "no controller is running");
    }
    return kExitOk;
}

int ReportStatus() {
    SendModule module(SendModule::Mode::kPeek);
    if (!module.Loaded() || module.Shared() == nullptr) {
        std::printf("%s-bit: unknown\n", OwnBitness());
        std::fflush(stdout);
        const int nCode = Report(kExitModuleMissing, "cannot read " + module.Path());
        if (!Is64BitProgram() && IsOn64BitSystem()) RunTwinStatus();
        return nCode;
    }
    PrintOwnStatus(module.Shared());
    if (!Is64BitProgram() && IsOn64BitSystem()) return RunTwinStatus();
    return kExitOk;
}

int ReleaseQuarantine(const char* pszWhat) {
    if (std::strcmp(pszWhat, "all") == 0) {
        std::printf("pfcctl: %d program(s) released\n", safe_mode::ReleaseAll());
    } else if (safe_mode::Release(pszWhat)) {
        std::printf("pfcctl: %s released\n", pszWhat);
    } else {
        return Report(kExitNotQuarantined, std::string(pszWhat) + " has no incidents recorded; nothing released");
    }
    // In force at once for this bitness's hosts; a controller of the other
    // bitness publishes it with its lists, within half a second.
    SendModule module(SendModule::Mode::kPeek);
    if (module.Loaded()) PublishSafeMode(module.SharedForWrite(), ProfilePath());
    return kExitOk;
}

int InstallDefaultProfile() {
    const std::string profile = ProfilePath();
    if (GetFileAttributesA(profile.c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::printf("pfcctl: %s kept\n", profile.c_str());
        return kExitOk;
    }
    if (!CopyFileA(DefaultProfilePath().c_str(), profile.c_str(), TRUE)) {
        return Report(kExitSystemFailure, "cannot write " + profile + " (error " + std::to_string(GetLastError()) + ")");
    }
    std::printf("pfcctl: %s written\n", profile.c_str());
    return kExitOk;
}

int RemoveDefaultProfile() {
    const std::string profile = ProfilePath();
    bool bProfileRead = false;
    bool bDefaultRead = false;
    const std::string current = ReadFile(profile, &bProfileRead);
    const std::string original = ReadFile(DefaultProfilePath(), &bDefaultRead);
    if (!bProfileRead) return kExitOk;
    if (!bDefaultRead) return Report(kExitSystemFailure, "cannot read " + DefaultProfilePath());
    if (current != original) {
        std::printf("pfcctl: %s was changed by its user and is kept\n", profile.c_str());
        return kExitOk;
    }
    if (!DeleteFileA(profile.c_str())) {
        return Report(kExitSystemFailure, "cannot remove " + profile + " (error " + std::to_string(GetLastError()) + ")");
    }
    std::printf("pfcctl: %s removed\n", profile.c_str());
    return kExitOk;
}

}  // namespace controller
