// The suite's controlling program for the send command: installs the shell
// hook and keeps it while it runs, removes it on the way out, and opens the
// module's configuration.
//
//   pfcctl --hook      install the hook; stay until --unhook or window close
//   pfcctl --unhook    ask a running controller to remove the hook and end
//   pfcctl --config    open the configuration dialog
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr char kWindowClass[] = "TellarineSendController";
constexpr char kModuleName[] = "PVPFCW32.dll";
constexpr DWORD kUnhookWaitMs = 15000;

using SetHookingProc = DWORD(WINAPI*)(BOOL, DWORD, DWORD, DWORD);
using ConfigProc = DWORD(WINAPI*)();

class ModuleLibrary {
public:
    ModuleLibrary() : m_hModule(LoadLibraryA(kModuleName)) {}
    ~ModuleLibrary() {
        if (m_hModule != nullptr) FreeLibrary(m_hModule);
    }
    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;
    template <class Proc>
    Proc Get(const char* pszName) const {
        if (m_hModule == nullptr) return nullptr;
        return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(m_hModule, pszName)));
    }

private:
    HMODULE m_hModule;
};

int Fail(const char* pszWhat) {
    std::fprintf(stderr, "pfcctl: %s (error %lu)\n", pszWhat, GetLastError());
    return 1;
}

LRESULT CALLBACK ControllerWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

int RunHooked() {
    if (FindWindowA(kWindowClass, nullptr) != nullptr) {
        std::fprintf(stderr, "pfcctl: a controller is already running\n");
        return 2;
    }
    ModuleLibrary module;
    auto pfnSetHooking = module.Get<SetHookingProc>("VXPFCWSetHooking");
    if (pfnSetHooking == nullptr) return Fail("cannot load PVPFCW32.dll");

    WNDCLASSA wc = {};
    wc.lpfnWndProc = ControllerWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClass;
    if (RegisterClassA(&wc) == 0) return Fail("cannot register the window class");
    // Not visible: the controller has no user interface of its own, only a
    // window that --unhook and the session can close.
    HWND hWnd = CreateWindowA(kWindowClass, "Tellarine send command", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                              wc.hInstance, nullptr);
    if (hWnd == nullptr) return Fail("cannot create the controller window");

    pfnSetHooking(TRUE, 0, 0, 0);
    // The module answers 0 whatever happened; the mutex it creates with the
    // hook is the one outward sign that the hook is in place.
    HANDLE hHookMutex = OpenMutexA(SYNCHRONIZE, FALSE, "VXPFCWSetHooking");
    std::printf(hHookMutex != nullptr ? "pfcctl: hook installed\n" : "pfcctl: hooking is switched off in the profile\n");
    if (hHookMutex != nullptr) CloseHandle(hHookMutex);
    std::fflush(stdout);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    pfnSetHooking(FALSE, 0, 0, 0);
    std::printf("pfcctl: hook removed\n");
    return 0;
}

int RequestUnhook() {
    HWND hWnd = FindWindowA(kWindowClass, nullptr);
    if (hWnd == nullptr) {
        std::fprintf(stderr, "pfcctl: no controller is running\n");
        return 2;
    }
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    HANDLE hProcess = OpenProcess(SYNCHRONIZE, FALSE, dwProcessId);
    PostMessageA(hWnd, WM_CLOSE, 0, 0);
    if (hProcess == nullptr) return 0;
    const DWORD dwWait = WaitForSingleObject(hProcess, kUnhookWaitMs);
    CloseHandle(hProcess);
    if (dwWait != WAIT_OBJECT_0) {
        std::fprintf(stderr, "pfcctl: the controller did not end in time\n");
        return 1;
    }
    return 0;
}

int RunConfiguration() {
    ModuleLibrary module;
    auto pfnConfig = module.Get<ConfigProc>("VXPFCWConfig");
    if (pfnConfig == nullptr) return Fail("cannot load PVPFCW32.dll");
    pfnConfig();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--hook") == 0) return RunHooked();
    if (argc == 2 && std::strcmp(argv[1], "--unhook") == 0) return RequestUnhook();
    if (argc == 2 && std::strcmp(argv[1], "--config") == 0) return RunConfiguration();
    std::fprintf(stderr, "usage: pfcctl --hook | --unhook | --config\n");
    return 2;
}
