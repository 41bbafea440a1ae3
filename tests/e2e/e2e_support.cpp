#include "e2e_support.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/dib.h"
#include "platform/unique_handle.h"
#include "hook/base/hook_names.h"
#include "suite/safe_mode.h"

#ifndef PFC_BUILD_DIR_WIN
#error "PFC_BUILD_DIR_WIN must name the build tree as a Windows path"
#endif

namespace e2e {
namespace {

// The hidden window a controller shows once its hooks are in.
const char* ControllerClass(bool b64Bit) { return b64Bit ? "TellarineSendController64" : "TellarineSendController"; }

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
    bool bShownOnly = false;
};

BOOL CALLBACK MatchProcessWindow(HWND hWnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<WindowSearch*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != pSearch->dwProcessId) return TRUE;
    if (pSearch->pszClass != nullptr) {
        char szClass[64] = {};
        GetClassNameA(hWnd, szClass, sizeof szClass);
        if (lstrcmpA(szClass, pSearch->pszClass) != 0 || (pSearch->bShownOnly && !IsWindowVisible(hWnd))) return TRUE;
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

std::string InstalledPath(const std::string& relative) {
    return "C:\\Program Files\\Tellarine\\Common\\" + relative;
}

std::string InstalledController(bool b64Bit) {
    return "\"" + InstalledPath(b64Bit ? "x64\\pfcctl.exe" : "pfcctl.exe") + "\"";
}

std::string InstalledModule(const char* pszFileName) {
    return InstalledPath(std::string(kThis64Bit ? "x64\\" : "") + pszFileName);
}

std::string StandinLogPath() { return InstalledPath("standins.log"); }

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

HWND FindShownMenuOfProcess(DWORD dwProcessId) {
    // A process may keep hidden menu windows beside the one on the screen.
    WindowSearch search = {dwProcessId, "#32768", nullptr, true};
    EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

bool OpenLastMenuOfMenuBar(HWND hWnd, DWORD dwTimeoutMs) {
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    for (int nTry = 0; nTry < 3; ++nTry) {
        DWORD_PTR dwIgnored = 0;
        if (!SendMessageTimeoutA(hWnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, dwTimeoutMs, &dwIgnored)) return false;
        SetForegroundWindow(hWnd);
        PostMessageA(hWnd, WM_SYSCOMMAND, SC_KEYMENU, 0);
        PostMessageA(hWnd, WM_KEYDOWN, VK_END, 0);
        PostMessageA(hWnd, WM_KEYDOWN, VK_DOWN, 0);
        if (WaitUntil([&] { return FindShownMenuOfProcess(dwProcessId) != nullptr; }, dwTimeoutMs / 3)) return true;
        // Out of a menu bar left selected without its menu, then again.
        PostMessageA(hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
    }
    return false;
}

Process::Process(const std::string& commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string mutableLine = commandLine;
    // The log of the stand-ins is fixed for everything the tests start.
    SetEnvironmentVariableA("PFC_STANDIN_LOG", StandinLogPath().c_str());
    BOOL bStarted = CreateProcessA(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                   nullptr, &startup, &m_info);
    // Wine answers ERROR_INTERNAL_ERROR when it could not spawn the new
    // process's loader, before any of the program (or the module) runs; seen
    // once in 40 soak runs on a loaded machine. A second start is what a
    // person would do.
    if (!bStarted && GetLastError() == ERROR_INTERNAL_ERROR) {
        Sleep(250);
        mutableLine = commandLine;
        bStarted = CreateProcessA(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                  nullptr, &startup, &m_info);
    }
    if (!bStarted) {
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

bool Process::WaitForIdle(DWORD dwTimeoutMs) {
    return m_info.hProcess != nullptr && WaitForInputIdle(m_info.hProcess, dwTimeoutMs) == 0;
}

HWND Process::WaitForMainWindow(DWORD dwTimeoutMs) {
    HWND hWnd = nullptr;
    if (m_info.hProcess == nullptr) return nullptr;
    const DWORD dwStart = GetTickCount();
    WaitUntil([&] { return (hWnd = FindTopWindowOfProcess(m_info.dwProcessId)) != nullptr; }, dwTimeoutMs);
    // A window shows before its creation has ended: the shell hook runs at
    // the end of CreateWindowEx, and the host's loop only after that.
    const DWORD dwSpent = GetTickCount() - dwStart;
    if (hWnd == nullptr || !WaitForIdle(dwSpent < dwTimeoutMs ? dwTimeoutMs - dwSpent : 0)) return nullptr;
    return hWnd;
}

void Process::Terminate() {
    if (m_info.hProcess == nullptr) return;
    TerminateProcess(m_info.hProcess, 255);
    WaitForSingleObject(m_info.hProcess, 5000);
}

CommandResult RunCommand(const std::string& commandLine, DWORD dwTimeoutMs) {
    CommandResult result;
    char szDir[MAX_PATH] = {};
    char szFile[MAX_PATH] = {};
    if (GetTempPathA(MAX_PATH, szDir) == 0 || GetTempFileNameA(szDir, "pfc", 0, szFile) == 0) return result;
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        platform::unique_file hOutput(CreateFileA(szFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!hOutput) return result;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = hOutput.get();
        startup.hStdError = hOutput.get();
        PROCESS_INFORMATION info = {};
        std::string mutableLine = commandLine;
        if (!CreateProcessA(nullptr, &mutableLine[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                            &startup, &info)) {
            std::fprintf(stderr, "e2e: cannot start %s (error %lu)\n", commandLine.c_str(), GetLastError());
            DeleteFileA(szFile);
            return result;
        }
        platform::unique_handle hProcess(info.hProcess);
        platform::unique_handle hThread(info.hThread);
        if (TestJob() != nullptr) AssignProcessToJobObject(TestJob(), hProcess.get());
        ResumeThread(hThread.get());
        result.bEnded = WaitForSingleObject(hProcess.get(), dwTimeoutMs) == WAIT_OBJECT_0;
        if (!result.bEnded) {
            TerminateProcess(hProcess.get(), 255);
            WaitForSingleObject(hProcess.get(), 5000);
        }
        GetExitCodeProcess(hProcess.get(), &result.dwExitCode);
    }
    std::ifstream in(szFile, std::ios::binary);
    // Line ends as "\n", whichever way the program wrote them.
    for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) {
        if (*it != '\r') result.output += *it;
    }
    in.close();
    DeleteFileA(szFile);
    return result;
}

bool HookMutexExists() {
    HANDLE hMutex = OpenMutexA(SYNCHRONIZE, FALSE, kSetHookingMutexName);
    if (hMutex == nullptr) return false;
    CloseHandle(hMutex);
    return true;
}

ControllerSession::ControllerSession(bool b64Bit)
    : m_b64Bit(b64Bit),
      m_bIncidentsCleared(safe_mode::ReleaseAll() >= 0),
      m_controller(InstalledController(b64Bit) + " --hook") {
    if (!m_controller.Started()) return;
    m_bInstalled = WaitUntil(
        [b64Bit] { return FindWindowA(ControllerClass(b64Bit), nullptr) != nullptr && HookMutexExists(); },
                             20000);
}

ControllerSession::~ControllerSession() {
    Unhook();
    safe_mode::ReleaseAll();
}

bool ControllerSession::Unhook() {
    if (!m_controller.Started()) return true;
    if (m_controller.WaitForExit(0)) return true;
    Process request(InstalledController(m_b64Bit) + " --unhook");
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

namespace e2e {
namespace {

// PNG with an uncompressed zlib stream: a screenshot is written once per
// run, so stored deflate blocks serve and need no compressor.
std::uint32_t Crc32(const std::uint8_t* pData, size_t cb, std::uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < cb; ++i) {
        crc ^= pData[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, const char* pszType, const std::vector<std::uint8_t>& data) {
    PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> typed(pszType, pszType + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutBigEndian(out, Crc32(typed.data(), typed.size()));
}

std::vector<std::uint8_t> EncodePng(int cx, int cy, const std::vector<std::uint8_t>& rgbRows) {
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBigEndian(header, static_cast<std::uint32_t>(cx));
    PutBigEndian(header, static_cast<std::uint32_t>(cy));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    PutChunk(png, "IHDR", header);

    std::vector<std::uint8_t> zlib = {0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    for (size_t nPos = 0; nPos < rgbRows.size() || nPos == 0;) {
        const size_t cb = std::min<size_t>(65535, rgbRows.size() - nPos);
        const bool bLast = nPos + cb == rgbRows.size();
        zlib.push_back(bLast ? 1 : 0);
        zlib.push_back(static_cast<std::uint8_t>(cb));
        zlib.push_back(static_cast<std::uint8_t>(cb >> 8));
        zlib.push_back(static_cast<std::uint8_t>(~cb));
        zlib.push_back(static_cast<std::uint8_t>(~cb >> 8));
        for (size_t i = nPos; i < nPos + cb; ++i) {
            zlib.push_back(rgbRows[i]);
            a = (a + rgbRows[i]) % 65521;
            b = (b + a) % 65521;
        }
        nPos += cb;
        if (bLast) break;
    }
    PutBigEndian(zlib, (b << 16) | a);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    return png;
}

}  // namespace

std::string DialogText(HWND hDialog) {
    std::string text;
    for (HWND hChild = GetWindow(hDialog, GW_CHILD); hChild != nullptr; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        char szClass[16] = {};
        GetClassNameA(hChild, szClass, sizeof szClass);
        if (lstrcmpiA(szClass, "Static") != 0) continue;
        char szText[1024] = {};
        GetWindowTextA(hChild, szText, sizeof szText);
        text += szText;
    }
    return text;
}

HWND WaitForDialogWithText(DWORD dwProcessId, DWORD dwTimeoutMs) {
    HWND hDialog = nullptr;
    WaitUntil(
        [&] {
            hDialog = FindWindowOfProcess(dwProcessId, "#32770");
            return hDialog != nullptr && IsWindowVisible(hDialog) && !DialogText(hDialog).empty();
        },
        dwTimeoutMs);
    return hDialog != nullptr && !DialogText(hDialog).empty() ? hDialog : nullptr;
}

bool SaveWindowPicture(HWND hWnd, const std::string& path) {
    RECT rect{};
    if (!GetWindowRect(hWnd, &rect)) return false;
    return SaveScreenPicture(rect, path);
}

bool WaitForSteadyPicture(HWND hWnd, DWORD dwTimeoutMs) {
    std::vector<std::uint32_t> last;
    return WaitUntil(
        [&] {
            RECT rect;
            std::vector<std::uint32_t> now;
            if (!GetWindowRect(hWnd, &rect) || !CaptureScreen(rect, &now)) return false;
            const bool bSteady = !last.empty() && now == last;
            last.swap(now);
            return bSteady;
        },
        dwTimeoutMs);
}

bool CaptureScreen(const RECT& rect, std::vector<std::uint32_t>* pPixels) {
    const int cx = rect.right - rect.left, cy = rect.bottom - rect.top;
    if (cx <= 0 || cy <= 0) return false;
    platform::ScopedWindowDC screen(nullptr);
    platform::unique_hdc memory(CreateCompatibleDC(screen.get()));
    BITMAPINFO info = platform::TopDown32BitmapInfo(cx, cy);
    void* pBits = nullptr;
    platform::unique_hbitmap bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &pBits, nullptr, 0));
    if (!memory || !bitmap) return false;
    {
        platform::ScopedSelectObject selected(memory.get(), bitmap.get());
        if (!BitBlt(memory.get(), 0, 0, cx, cy, screen.get(), rect.left, rect.top, SRCCOPY)) return false;
        GdiFlush();
    }
    const auto* pFirst = static_cast<const std::uint32_t*>(pBits);
    pPixels->assign(pFirst, pFirst + static_cast<size_t>(cx) * cy);
    for (std::uint32_t& pixel : *pPixels) pixel &= 0xFFFFFF;
    return true;
}

bool SaveScreenPicture(const RECT& wanted, const std::string& path) {
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT rect{};
    std::vector<std::uint32_t> pixels;
    if (!IntersectRect(&rect, &wanted, &screen) || !CaptureScreen(rect, &pixels)) return false;
    const int cx = rect.right - rect.left, cy = rect.bottom - rect.top;
    std::vector<std::uint8_t> rows;
    rows.reserve(static_cast<size_t>(cy) * (1 + static_cast<size_t>(cx) * 3));
    for (int y = 0; y < cy; ++y) {
        rows.push_back(0);  // no filter
        for (int x = 0; x < cx; ++x) {
            const std::uint32_t rgb = pixels[static_cast<size_t>(y) * cx + x];
            rows.insert(rows.end(), {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                                     static_cast<std::uint8_t>(rgb)});
        }
    }
    const std::vector<std::uint8_t> png = EncodePng(cx, cy, rows);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(out);
}

}  // namespace e2e
