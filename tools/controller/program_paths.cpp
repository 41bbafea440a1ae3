#include "program_paths.h"

#include <windows.h>

#include "hook/base/hook_messages.h"

namespace controller {

namespace {

using IsWow64ProcessProc = BOOL(WINAPI*)(HANDLE, PBOOL);

}  // namespace

bool Is64BitProgram() { return sizeof(void*) == 8; }

const char* OwnBitness() { return Is64BitProgram() ? "64" : "32"; }

bool IsOn64BitSystem() {
    if (Is64BitProgram()) return true;
    // Looked up by name: systems without it are 32-bit ones.
    auto pfnIsWow64 = reinterpret_cast<IsWow64ProcessProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    BOOL bWow64 = FALSE;
    return pfnIsWow64 != nullptr && pfnIsWow64(GetCurrentProcess(), &bWow64) && bWow64;
}

std::string ProgramDirectory() {
    char szPath[MAX_PATH] = {};
    const DWORD cch = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string path(szPath, cch);
    const size_t nSlash = path.find_last_of('\\');
    return nSlash == std::string::npos ? std::string(".") : path.substr(0, nSlash);
}

std::string SuiteDirectory() {
    // The 64-bit controller is installed in x64\ below the suite's folder,
    // beside its own module; the profile is the suite's, one for both.
    const std::string program = ProgramDirectory();
    const size_t nSlash = program.find_last_of('\\');
    if (Is64BitProgram() && nSlash != std::string::npos && lstrcmpiA(program.c_str() + nSlash + 1, "x64") == 0)
        return program.substr(0, nSlash);
    return program;
}

std::string ModulePath() { return ProgramDirectory() + "\\PVPFCW32.dll"; }
std::string ProfilePath() { return SuiteDirectory() + "\\PvPfcW32.ini"; }
std::string DefaultProfilePath() { return SuiteDirectory() + "\\PvPfcW32.default.ini"; }
std::string TwinProgramPath() { return ProgramDirectory() + "\\x64\\pfcctl.exe"; }

const char* ControllerWindowClass(bool b64Bit) {
    return b64Bit ? kControllerWindowClass64 : kControllerWindowClass32;
}

const char* InstanceMutexName(bool b64Bit) {
    return b64Bit ? kControllerMutexName64 : kControllerMutexName32;
}

const char* OwnInstanceMutexName() { return InstanceMutexName(Is64BitProgram()); }

}  // namespace controller
