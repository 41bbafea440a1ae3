// Stands in for one of the suite's programs (the sending program, its
// launcher, the companion and sibling programs, the phone book, the
// installer): it appends the command line it was started with to a log, so
// that whoever started it can see exactly what was asked, and ends.
//
// The log is "standins.log" beside the program, or the file named by the
// environment variable PFC_STANDIN_LOG. One line per start:
//   <program file name>|<full command line>
#include <windows.h>

#include <cstring>

namespace {

void AppendLine(const char* pszLogPath, const char* pszLine) {
    // Several stand-ins may start at once: open for appending and retry
    // briefly while another one holds the file.
    for (int nAttempt = 0; nAttempt < 50; ++nAttempt) {
        HANDLE hFile = CreateFileA(pszLogPath, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile != INVALID_HANDLE_VALUE) {
            DWORD cbWritten = 0;
            WriteFile(hFile, pszLine, static_cast<DWORD>(std::strlen(pszLine)), &cbWritten, nullptr);
            WriteFile(hFile, "\r\n", 2, &cbWritten, nullptr);
            CloseHandle(hFile);
            return;
        }
        Sleep(20);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char szProgram[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, szProgram, MAX_PATH - 1);

    char szLogPath[MAX_PATH] = {};
    if (GetEnvironmentVariableA("PFC_STANDIN_LOG", szLogPath, MAX_PATH) == 0 ||
        std::strlen(szLogPath) >= MAX_PATH - 1) {
        lstrcpynA(szLogPath, szProgram, MAX_PATH);
        char* pszSlash = std::strrchr(szLogPath, '\\');
        char* pszName = pszSlash != nullptr ? pszSlash + 1 : szLogPath;
        lstrcpynA(pszName, "standins.log", static_cast<int>(MAX_PATH - (pszName - szLogPath)));
    }

    const char* pszName = std::strrchr(szProgram, '\\');
    pszName = pszName != nullptr ? pszName + 1 : szProgram;
    const char* pszCommandLine = GetCommandLineA();
    const size_t cchLine = std::strlen(pszName) + 1 + std::strlen(pszCommandLine) + 1;
    char* pszLine = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, cchLine));
    if (pszLine == nullptr) return 1;
    lstrcpyA(pszLine, pszName);
    lstrcatA(pszLine, "|");
    lstrcatA(pszLine, pszCommandLine);
    AppendLine(szLogPath, pszLine);
    HeapFree(GetProcessHeap(), 0, pszLine);
    return 0;
}
