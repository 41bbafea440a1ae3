#include "safe_mode_watch.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "hook/base/hook_names.h"
#include "hook/module_lifetime.h"
#include "hook/base/target_selection.h"
#include "platform/unique_handle.h"
#include "program_paths.h"
#include "suite/safe_mode.h"
#include "suite/user_messages.h"

namespace controller {
namespace {

constexpr UINT_PTR kSafeModeTimerId = 2;

struct ServedProcess {
    DWORD dwProcessId;
    std::string name;
    platform::unique_handle hProcess;
};

SharedSection* g_pShared = nullptr;
std::vector<ServedProcess> g_served;
UINT g_uServedProcessMsg = 0;
UINT g_uGuardIncidentMsg = 0;

bool SafeModeOn() { return g_pShared != nullptr && g_pShared->dwSafeModeWatch != 0; }

std::string ExecutableName(HANDLE hProcess) {
    char szPath[MAX_PATH] = {};
    DWORD cch = MAX_PATH;
    if (!QueryFullProcessImageNameA(hProcess, 0, szPath, &cch)) return std::string();
    char szName[kPathSize] = {};
    ModuleNameFromPath(szPath, szName);
    return szName;
}

// Said once, where the quarantine begins, in the user's language; on a
// thread of its own, so that the watch and the lists go on meanwhile.
DWORD WINAPI ShowQuarantineMessage(void* pName) {
    std::string* pText = static_cast<std::string*>(pName);
    ShowFormattedMessage(IDS_QUARANTINE_BEGUN, pText->c_str(), MB_ICONEXCLAMATION | MB_SETFOREGROUND);
    delete pText;
    return 0;
}

void AnnounceQuarantine(const std::string& name, DWORD dwCode) {
    std::printf("pfcctl (%s-bit): %s put in quarantine after its second incident (%s)\n", OwnBitness(), name.c_str(),
                safe_mode::FormatCode(dwCode).c_str());
    std::fflush(stdout);
    if (g_hResourceModule == nullptr) g_hResourceModule = LoadSuiteResourceModule();
    auto* pText = new std::string(name);
    HANDLE hThread = CreateThread(nullptr, 0, ShowQuarantineMessage, pText, 0, nullptr);
    if (hThread == nullptr) {
        delete pText;
        return;
    }
    CloseHandle(hThread);
}

void Record(const std::string& name, DWORD dwCode) {
    if (name.empty()) return;
    std::printf("pfcctl (%s-bit): incident of %s (%s)\n", OwnBitness(), name.c_str(),
                safe_mode::FormatCode(dwCode).c_str());
    std::fflush(stdout);
    if (!safe_mode::RecordIncident(name, dwCode, safe_mode::CurrentTime())) return;
    // Published before anything is said: whoever hears of the quarantine
    // finds it in force.
    PublishSafeMode(g_pShared, ProfilePath());
    AnnounceQuarantine(name, dwCode);
}

ServedProcess* FindServed(DWORD dwProcessId) {
    for (ServedProcess& served : g_served)
        if (served.dwProcessId == dwProcessId && WaitForSingleObject(served.hProcess.get(), 0) == WAIT_TIMEOUT)
            return &served;
    return nullptr;
}

// Answered only once the process is held: its end cannot be missed after.
LRESULT OnServedProcess(DWORD dwProcessId) {
    if (!SafeModeOn()) return 0;
    if (FindServed(dwProcessId) != nullptr) return 1;
    platform::unique_handle hProcess(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId));
    if (!hProcess) return 0;
    std::string name = ExecutableName(hProcess.get());
    if (name.empty()) return 0;
    g_served.push_back({dwProcessId, std::move(name), std::move(hProcess)});
    return 1;
}

void OnGuardIncident(DWORD dwProcessId, DWORD dwCode) {
    if (!SafeModeOn()) return;
    if (const ServedProcess* pServed = FindServed(dwProcessId)) {
        Record(pServed->name, dwCode);
        return;
    }
    // A fault while a window of a process not yet served was looked at.
    platform::unique_handle hProcess(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId));
    if (hProcess) Record(ExecutableName(hProcess.get()), dwCode);
}

// A process ended normally, or killed with an ordinary exit code, is no
// incident; one that died of an unhandled exception has its code as exit code.
void CheckEndedProcesses() {
    for (size_t i = 0; i < g_served.size();) {
        ServedProcess& served = g_served[i];
        if (WaitForSingleObject(served.hProcess.get(), 0) != WAIT_OBJECT_0) {
            ++i;
            continue;
        }
        DWORD dwExitCode = 0;
        if (SafeModeOn() && GetExitCodeProcess(served.hProcess.get(), &dwExitCode) &&
            safe_mode::IsExceptionExitCode(dwExitCode))
            Record(served.name, dwExitCode);
        g_served.erase(g_served.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

}  // namespace

bool StartSafeModeWatch(HWND hWnd, SharedSection* pShared) {
    g_pShared = pShared;
    g_uServedProcessMsg = RegisterWindowMessageA(kServedProcessMessageName);
    g_uGuardIncidentMsg = RegisterWindowMessageA(kGuardIncidentMessageName);
    PublishSafeMode(pShared, ProfilePath());
    return g_uServedProcessMsg != 0 && g_uGuardIncidentMsg != 0 &&
           SetTimer(hWnd, kSafeModeTimerId, kSafeModeWatchPeriodMs, nullptr) != 0;
}

bool OnSafeModeMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) {
    if (uMsg == WM_TIMER && wParam == kSafeModeTimerId) {
        CheckEndedProcesses();
        *plResult = 0;
        return true;
    }
    if (uMsg == 0) return false;
    if (uMsg == g_uServedProcessMsg) {
        *plResult = OnServedProcess(static_cast<DWORD>(wParam));
        return true;
    }
    if (uMsg == g_uGuardIncidentMsg) {
        OnGuardIncident(static_cast<DWORD>(wParam), static_cast<DWORD>(lParam));
        *plResult = 0;
        return true;
    }
    return false;
}

void PublishSafeMode(SharedSection* pShared, const std::string& profile) {
    if (pShared == nullptr) return;
    const bool bOn = safe_mode::IsSafeModeOn(profile.c_str());
    char szList[kSharedListSize];
    safe_mode::FormatKeyList(bOn ? safe_mode::QuarantinedPrograms() : std::vector<std::string>(), szList,
                             kSharedListSize);
    if (std::memcmp(pShared->szQuarantineList, szList, kSharedListSize) != 0) {
        std::memcpy(pShared->szQuarantineList, szList, kSharedListSize);
        MemoryBarrier();
        InterlockedIncrement(&pShared->nQuarantineGeneration);
    }
    pShared->dwSafeModeWatch = bOn ? 1 : 0;
}

}  // namespace controller
