#include "e2e_support.h"

#include <cstdio>
#include <fstream>

#ifndef PFC_BUILD_DIR_WIN
#error "PFC_BUILD_DIR_WIN must name the build tree as a Windows path"
#endif

namespace e2e {
namespace {

constexpr char kControllerClass[] = "TellarineSendController";

// Processes started by the tests die with the test process.
HANDLE TestJob() {
    static HANDLE hJob = [] {
        HANDLE h = CreateJobObjectA(nullptr, nullptr);
        if (h != nullptr) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            SetInformationJobObject(h, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        return h;
    }();
    return hJob;
}

struct WindowSearch {
    DWORD dwProcessId;
    const char* pszClass;  // null: the main window (visible, unowned)
    HWND hFound;
};

BOOL CALLBACK MatchProcessWindow(HWND hWnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<WindowSearch*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != pSearch->dwProcessId) return TRUE;
    if (pSearch->pszClass != nullptr) {
        char szClass[64] = {};
        GetClassNameA(hWnd, szClass, sizeof szClass);
        if (lstrcmpA(szClass, pSearch->pszClass) != 0) return TRUE;
    } else if (!IsWindowVisible(hWnd) || GetWindow(hWnd, GW_OWNER) != nullptr) {
        return TRUE;
    }
    pSearch->hFound = hWnd;
    return FALSE;
}

}  // namespace

std::string BuildPath(const std::string& relative) {
    std::string path = PFC_BUILD_DIR_WIN;
    path += '\\';
    for (char ch : relative) path += ch == '/' ? '\\' : ch;
    return path;
}

std::string StandinLogPath() { return "C:\\Program Files\\Tellarine\\Common\\standins.log"; }

std::vector<std::string> ReadStandinLog() {
    std::vector<std::string> lines;
    std::ifstream log(StandinLogPath());
    std::string line;
    while (std::getline(log, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

void ClearStandinLog() {
    HANDLE hFile = CreateFileA(StandinLogPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != INVALID_HANDLE_VALUE) CloseHandle(hFile);
}

HWND FindTopWindowOfProcess(DWORD dwProcessId) {
    WindowSearch search = {dwProcessId, nullptr, nullptr};
    EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

HWND FindWindowOfProcess(DWORD dwProcessId, const char* pszClass) {
    WindowSearch search = {dwProcessId, pszClass, nullptr};
    EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

Process::Process(const std::string& commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string mutableLine = commandLine;
    // The log of the stand-ins is fixed for everything the tests start.
    SetEnvironmentVariableA("PFC_STANDIN_LOG", StandinLogPath().c_str());
    if (!CreateProcessA(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &m_info)) {
        std::fprintf(stderr, "e2e: cannot start %s (error %lu)\n", commandLine.c_str(), GetLastError());
        m_info = {};
        return;
    }
    if (TestJob() != nullptr) AssignProcessToJobObject(TestJob(), m_info.hProcess);
    ResumeThread(m_info.hThread);
}

Process::~Process() {
    if (m_info.hProcess == nullptr) return;
    if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) {
        HWND hWnd = FindTopWindowOfProcess(m_info.dwProcessId);
        if (hWnd != nullptr) PostMessageA(hWnd, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(m_info.hProcess, 5000) == WAIT_TIMEOUT) Terminate();
    }
    CloseHandle(m_info.hThread);
    CloseHandle(m_info.hProcess);
}

bool Process::WaitForExit(DWORD dwTimeoutMs, DWORD* pdwExitCode) {
    if (m_info.hProcess == nullptr) return false;
    if (WaitForSingleObject(m_info.hProcess, dwTimeoutMs) != WAIT_OBJECT_0) return false;
    if (pdwExitCode != nullptr) GetExitCodeProcess(m_info.hProcess, pdwExitCode);
    return true;
}

HWND Process::WaitForMainWindow(DWORD dwTimeoutMs) {
    HWND hWnd = nullptr;
    if (m_info.hProcess == nullptr) return nullptr;
    WaitUntil([&] { return (hWnd = FindTopWindowOfProcess(m_info.dwProcessId)) != nullptr; }, dwTimeoutMs);
    return hWnd;
}

void Process::Terminate() {
    if (m_info.hProcess == nullptr) return;
    TerminateProcess(m_info.hProcess, 255);
    WaitForSingleObject(m_info.hProcess, 5000);
}

bool HookMutexExists() {
    HANDLE hMutex = OpenMutexA(SYNCHRONIZE, FALSE, "VXPFCWSetHooking");
    if (hMutex == nullptr) return false;
    CloseHandle(hMutex);
    return true;
}

ControllerSession::ControllerSession() : m_controller("\"" + BuildPath("tools/controller/pfcctl.exe") + "\" --hook") {
    if (!m_controller.Started()) return;
    m_bInstalled = WaitUntil([] { return FindWindowA(kControllerClass, nullptr) != nullptr && HookMutexExists(); },
                             20000);
}

ControllerSession::~ControllerSession() { Unhook(); }

bool ControllerSession::Unhook() {
    if (!m_controller.Started()) return true;
    if (m_controller.WaitForExit(0)) return true;
    Process request("\"" + BuildPath("tools/controller/pfcctl.exe") + "\" --unhook");
    request.WaitForExit(20000);
    if (m_controller.WaitForExit(20000)) {
        m_bInstalled = false;
        return true;
    }
    m_controller.Terminate();
    m_bInstalled = false;
    return false;
}

}  // namespace e2e
