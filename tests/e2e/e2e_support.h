// Support for end-to-end tests: real processes under Wine, driven as a person
// would drive them. Every process a test starts is ended by its owner object,
// and all of them sit in one job that is killed if the test process dies, so a
// failing test never leaves a shell hook installed behind it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

// A file of the build tree, as a Windows path (the tree is under Z:).
std::string BuildPath(const std::string& relative);

// A file of the installed suite's common directory.
std::string InstalledPath(const std::string& relative);
// The installed controller of a bitness (by default this program's), quoted
// for a command line.
constexpr bool kThis64Bit = sizeof(void*) == 8;
std::string InstalledController(bool b64Bit = kThis64Bit);
// The installed module or resource module of this program's bitness, by full path.
std::string InstalledModule(const char* pszFileName);

// The log the suite's stand-in programs append their command lines to.
std::string StandinLogPath();
std::vector<std::string> ReadStandinLog();
void ClearStandinLog();

// Polls pred every 50 ms until it holds or the timeout passes.
template <class Pred>
bool WaitUntil(Pred pred, DWORD dwTimeoutMs) {
    const DWORD dwStart = GetTickCount();
    for (;;) {
        if (pred()) return true;
        if (GetTickCount() - dwStart >= dwTimeoutMs) return false;
        Sleep(50);
    }
}

// The first visible, unowned top-level window of a process, or null.
HWND FindTopWindowOfProcess(DWORD dwProcessId);
// The first top-level window of a process with the given class (a message
// box or dialog is "#32770"), owned or not, or null.
HWND FindWindowOfProcess(DWORD dwProcessId, const char* pszClass);
// The popup menu window (class "#32768") a process shows, or null.
HWND FindShownMenuOfProcess(DWORD dwProcessId);
// Opens the last menu of a window's menu bar as a person does from the
// keyboard (F10, End, Down) once the window's program has handled what came
// before, and waits until it shows. A menu that did not open (the program
// still busy, the foreground taken away) is asked for again.
bool OpenLastMenuOfMenuBar(HWND hWnd, DWORD dwTimeoutMs);

class Process {
public:
    // Starts commandLine (program path quoted by the caller when needed).
    explicit Process(const std::string& commandLine);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return m_info.hProcess != nullptr; }
    DWORD Id() const { return m_info.dwProcessId; }
    HANDLE Handle() const { return m_info.hProcess; }
    // Waits for the end of the process; false on timeout.
    bool WaitForExit(DWORD dwTimeoutMs, DWORD* pdwExitCode = nullptr);
    // Waits until the process waits for input in its message loop: every
    // window it made before has been created to the end (the shell hook
    // included); false on timeout.
    bool WaitForIdle(DWORD dwTimeoutMs);
    // Waits for its first visible top-level window, created to the end.
    HWND WaitForMainWindow(DWORD dwTimeoutMs);
    void Terminate();

private:
    PROCESS_INFORMATION m_info = {};
};

// Runs a command to its end with its output (stdout and stderr) caught.
struct CommandResult {
    bool bEnded = false;  // false: not started, or still running at the timeout (then ended)
    DWORD dwExitCode = 0;
    std::string output;
};
CommandResult RunCommand(const std::string& commandLine, DWORD dwTimeoutMs);

// The suite's controller with the shell hook installed for the lifetime of
// the object; removal is asked with "--unhook" and forced if that fails.
class ControllerSession {
public:
    explicit ControllerSession(bool b64Bit = kThis64Bit);
    ~ControllerSession();
    ControllerSession(const ControllerSession&) = delete;
    ControllerSession& operator=(const ControllerSession&) = delete;

    // True once the controller's window exists and the hook mutex is there.
    bool Installed() const { return m_bInstalled; }
    // Removes the hook now (the destructor then has nothing left to do).
    bool Unhook();
    DWORD ProcessId() const { return m_controller.Id(); }

private:
    bool m_b64Bit;
    // Incidents are the user's and outlive a session: each session starts
    // without any, before its controller, as a fresh user would; the hosts
    // some tests crash on purpose would otherwise quarantine later tests'.
    bool m_bIncidentsCleared;
    Process m_controller;
    bool m_bInstalled = false;
};

// Opens the hook mutex that exists exactly while the hook is installed.
bool HookMutexExists();

// The texts of a dialog's static controls (a message box's message).
std::string DialogText(HWND hDialog);
// A message box or dialog (class "#32770") of a process once its text is
// set, or null after the timeout.
HWND WaitForDialogWithText(DWORD dwProcessId, DWORD dwTimeoutMs);

// The screen's pixels of a rectangle in screen coordinates, top row first,
// as 0x00RRGGBB.
bool CaptureScreen(const RECT& rect, std::vector<std::uint32_t>* pPixels);
// What a person sees of a window (its rectangle on the screen), saved as a
// PNG file. False when nothing could be captured or written.
bool SaveWindowPicture(HWND hWnd, const std::string& path);
// Waits until two captures of the window's place on the screen, a moment
// apart, are the same: what it painted has reached the screen.
bool WaitForSteadyPicture(HWND hWnd, DWORD dwTimeoutMs);
// The same of a rectangle of the screen (clipped to the screen).
bool SaveScreenPicture(const RECT& rect, const std::string& path);

// Keeps the installed profile's bytes and puts them back, whatever the test
// did: under Wine one profile write rewrites the whole file, and the package
// tells an edited profile from its own by those bytes.
class ProfileBackup {
public:
    ProfileBackup() : m_path(InstalledPath("PvPfcW32.ini")) {
        std::ifstream in(m_path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        m_content = text.str();
    }
    ~ProfileBackup() {
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        out << m_content;
    }
    ProfileBackup(const ProfileBackup&) = delete;
    ProfileBackup& operator=(const ProfileBackup&) = delete;

private:
    std::string m_path;
    std::string m_content;
};

}  // namespace e2e
