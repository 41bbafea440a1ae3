// What the hook costs the programs it is loaded into. Every figure is
// measured in one run against its floor, rounds of the two alternating so that
// a slow moment of the machine weighs on both; the fastest round of each is
// kept, since whatever else the machine does only ever adds time.
//
//   module start-up       LoadLibrary of the installed PVPFCW32.dll, the first
//                         window-created notification of a window that is no
//                         host, FreeLibrary: what a process the hook reaches
//                         pays, wherever the module does its start-up. Against
//                         a library that does nothing at load and a hook
//                         procedure that only passes the notification on
//   window creation       a top-level window made and destroyed in this
//                         process, which is no host, with the hook installed
//                         against without; the module's file and registry
//                         reads on that path are counted at its import table.
//                         The same with a hook whose procedure only passes the
//                         notification on shows what the system's hook calls
//                         cost by themselves
//   ShellProc, no match   one window-created notification for a window of
//                         this process, against a hook procedure that only
//                         passes it on
//   HookProc              one message the procedure does not handle, sent to a
//                         hooked window, against a subclass that only calls
//                         CallWindowProc
//   RefreshHookedItem     a refresh that finds nothing changed, against reading
//                         the menu bar
//
// Needs the suite installed in the prefix (scripts/suite-setup.sh); run by
// scripts/bench.sh for both architectures.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include "hook/hook_proc.h"
#include "hook/hooked_wnd_table.h"
#include "hook/refresh.h"
#include "hook/module_lifetime.h"
#include "hook/base/shared_state.h"
#include "hook/subclassing.h"
#include "suite/safe_mode.h"
#include "import_counter.h"

namespace {

using SetHookingProc = DWORD(WINAPI*)(BOOL, DWORD, DWORD, DWORD);
using HookProcedure = LRESULT(CALLBACK*)(int, WPARAM, LPARAM);

constexpr UINT kProbeMessage = WM_APP + 7;

double NowUs() {
    static const double dTicksPerUs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1e6;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / dTicksPerUs;
}

double Fastest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

struct Pair {
    double dUs;
    double dFloorUs;
    double Ratio() const { return dUs / dFloorUs; }
};

// Microseconds per call of each, in its fastest round. The set-up calls run
// before each round of their side and are not timed.
// Short rounds, many of them: on a busy machine a short round has a better
// chance of running undisturbed.
struct Rounds {
    int nRounds;
    int nCalls;
    // Installing or removing a hook sets other processes to work for a moment
    // (removal tells every top-level window); timing waits until that is over.
    DWORD dwSettleMs = 0;
};

template <class Measured, class Floor, class SetUp, class TearDown>
Pair Compare(Rounds rounds, Measured measured, Floor floor, SetUp setUp, TearDown tearDown) {
    const int nCalls = rounds.nCalls;
    std::vector<double> measuredUs, floorUs;
    for (int nRound = 0; nRound < rounds.nRounds; ++nRound) {
        setUp();
        Sleep(rounds.dwSettleMs);
        double dStart = NowUs();
        for (int i = 0; i < nCalls; ++i) measured(i);
        measuredUs.push_back((NowUs() - dStart) / nCalls);
        tearDown();
        Sleep(rounds.dwSettleMs);
        dStart = NowUs();
        for (int i = 0; i < nCalls; ++i) floor(i);
        floorUs.push_back((NowUs() - dStart) / nCalls);
    }
    return {Fastest(measuredUs), Fastest(floorUs)};
}

template <class Measured, class Floor>
Pair Compare(Rounds rounds, Measured measured, Floor floor) {
    return Compare(rounds, measured, floor, [] {}, [] {});
}

struct Figure {
    const char* pszName;
    Pair pair;
    std::string goal;
    bool bMet;
    std::string note;
};

void PrintFigures(const std::vector<Figure>& figures) {
    std::printf("%-34s %12s %12s %8s  %-26s %s\n", "figure", "µs", "floor µs", "ratio", "goal", "");
    for (const Figure& f : figures)
        std::printf("%-34s %12.3f %12.3f %8.3f  %-26s %s%s\n", f.pszName, f.pair.dUs, f.pair.dFloorUs, f.pair.Ratio(),
                    f.goal.c_str(), f.goal.empty() ? "" : (f.bMet ? "met" : "MISSED"), f.note.c_str());
}

std::string Directory(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string ExeDirectory() {
    char szPath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    return Directory(szPath);
}

// Where the package puts the module of this bitness.
std::string InstalledModulePath() {
    return std::string("C:\\Program Files\\Tellarine\\Common\\") + (sizeof(void*) == 8 ? "x64\\" : "") +
           "PVPFCW32.dll";
}

// The floors are loaded from the module's own folder: what a load costs
// depends on the path, which the system resolves component by component.
// Copied there for the run, and removed after it.
std::string BesideModule(const char* pszName) { return Directory(InstalledModulePath()) + "\\" + pszName; }
std::string FloorModulePath() { return BesideModule("PFCFLOOR.dll"); }
// The floor with a shared section of the module's size.
std::string SharedFloorModulePath() { return BesideModule("PFCFLOORS.dll"); }

class FloorBesideModule {
public:
    explicit FloorBesideModule(const char* pszName)
        : m_path(BesideModule(pszName)),
          m_bCopied(CopyFileA((ExeDirectory() + "\\" + pszName).c_str(), m_path.c_str(), FALSE) != FALSE) {}
    ~FloorBesideModule() {
        if (m_bCopied) DeleteFileA(m_path.c_str());
    }
    FloorBesideModule(const FloorBesideModule&) = delete;
    FloorBesideModule& operator=(const FloorBesideModule&) = delete;
    bool Copied() const { return m_bCopied; }

private:
    std::string m_path;
    bool m_bCopied;
};

// Load, one window-created notification through the library's shell hook
// procedure, free.
void LoadNotifyFree(const std::string& path, const char* pszShellProc, HWND hWnd) {
    HMODULE hModule = LoadLibraryA(path.c_str());
    if (hModule == nullptr) return;
    auto pfnShellProc = pszShellProc == nullptr ? nullptr : reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(hModule, pszShellProc)));
    if (pfnShellProc != nullptr) pfnShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hWnd), 0);
    FreeLibrary(hModule);
}

HWND CreatePlainTopLevel();

void MeasureStartUp(const std::string& modulePath, std::vector<Figure>* pFigures) {
    const std::string floorPath = FloorModulePath();
    HWND hPlain = CreatePlainTopLevel();
    const Pair pair = Compare(
        {40, 5}, [&](int) { LoadNotifyFree(modulePath, "ShellProc", hPlain); },
        [&](int) { LoadNotifyFree(floorPath, "FloorShellProc", hPlain); });
    // What of it the load and the free alone cost, without a notification.
    const Pair loadFree = Compare(
        {40, 5}, [&](int) { LoadNotifyFree(modulePath, nullptr, hPlain); },
        [&](int) { LoadNotifyFree(floorPath, nullptr, hPlain); });
    // What a shared section of the module's size costs a load by itself.
    const Pair sharedSection = Compare(
        {40, 5}, [&](int) { LoadNotifyFree(SharedFloorModulePath(), nullptr, hPlain); },
        [&](int) { LoadNotifyFree(floorPath, nullptr, hPlain); });
    DestroyWindow(hPlain);
    const double dAddedUs = pair.dUs - pair.dFloorUs;
    char szNote[64];
    std::snprintf(szNote, sizeof szNote, " (%.0f µs above the floor)", dAddedUs);
    pFigures->push_back(
        {"module start-up (load, notify, free)", pair, "<= 200 µs above the floor", dAddedUs <= 200.0, szNote});
    std::snprintf(szNote, sizeof szNote, " (%.0f µs above the floor)", loadFree.dUs - loadFree.dFloorUs);
    pFigures->push_back({"  of it load and free alone", loadFree, "", true, szNote});
    std::snprintf(szNote, sizeof szNote, " (%.0f µs above the floor)", sharedSection.dUs - sharedSection.dFloorUs);
    pFigures->push_back({"  a floor with the shared section", sharedSection, "", true, szNote});
}

const char kPlainClass[] = "HookCostPlain";

HWND CreatePlainTopLevel() {
    return CreateWindowExA(0, kPlainClass, "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

LRESULT CALLBACK FloorShellProc(int nCode, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

// Window creation and ShellProc, with the module loaded here as the hook
// loads it into any process.
void MeasureHookInProcess(HMODULE hModule, std::vector<Figure>* pFigures) {
    auto pfnSetHooking =
        reinterpret_cast<SetHookingProc>(reinterpret_cast<void*>(GetProcAddress(hModule, "VXPFCWSetHooking")));
    auto pfnShellProc = reinterpret_cast<HookProcedure>(reinterpret_cast<void*>(GetProcAddress(hModule, "ShellProc")));
    import_counter::ImportCounter counter(hModule);

    constexpr Rounds kWindowRounds = {50, 20, 50};
    LONG nFileReads = 0, nRegistryReads = 0, nShellProcRuns = 0;
    auto hookOn = [&] {
        pfnSetHooking(TRUE, 0, 0, 0);
        import_counter::ImportCounter::Reset();
    };
    auto hookOff = [&] {
        nFileReads += import_counter::ImportCounter::Calls(import_counter::kFileRead);
        nRegistryReads += import_counter::ImportCounter::Calls(import_counter::kRegistryRead);
        nShellProcRuns += import_counter::ImportCounter::Calls(import_counter::kMarker);
        pfnSetHooking(FALSE, 0, 0, 0);
    };
    auto createDestroy = [](int) { DestroyWindow(CreatePlainTopLevel()); };
    const Pair creation = Compare(kWindowRounds, createDestroy, createDestroy, hookOn, hookOff);
    char szNote[160];
    std::snprintf(szNote, sizeof szNote, "; %ld file reads, %ld registry reads in %ld module-name lookups",
                  static_cast<long>(nFileReads), static_cast<long>(nRegistryReads), static_cast<long>(nShellProcRuns));
    const bool bSawHook = nShellProcRuns >= kWindowRounds.nRounds * kWindowRounds.nCalls;
    pFigures->push_back({"window creation under the hook", creation, "<= 1.05, no reads",
                         bSawHook && creation.Ratio() <= 1.05 && nFileReads == 0 && nRegistryReads == 0,
                         bSawHook ? szNote : "; the hook procedure did not run for every window"});

    // The system's share: a hook that does nothing, from a library as ours.
    HMODULE hFloor = LoadLibraryA(FloorModulePath().c_str());
    auto pfnFloorHook =
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(hFloor, "FloorShellProc")));
    HHOOK hBareHook = nullptr;
    const Pair bare = Compare(
        kWindowRounds, createDestroy, createDestroy,
        [&] { hBareHook = SetWindowsHookExA(WH_SHELL, pfnFloorHook, hFloor, 0); },
        [&] { UnhookWindowsHookEx(hBareHook); });
    FreeLibrary(hFloor);
    pFigures->push_back({"window creation, a bare hook", bare, "", true, " (what the system's hook calls cost)"});

    HWND hTarget = CreatePlainTopLevel();
    pfnSetHooking(TRUE, 0, 0, 0);
    import_counter::ImportCounter::Reset();
    const Pair shell = Compare(
        {30, 500}, [&](int) { pfnShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hTarget), 0); },
        [&](int) { FloorShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hTarget), 0); });
    std::snprintf(szNote, sizeof szNote, "; %ld file reads, %ld registry reads",
                  static_cast<long>(import_counter::ImportCounter::Calls(import_counter::kFileRead)),
                  static_cast<long>(import_counter::ImportCounter::Calls(import_counter::kRegistryRead)));
    pfnSetHooking(FALSE, 0, 0, 0);
    DestroyWindow(hTarget);
    pFigures->push_back({"ShellProc, no match, per call", shell, "<= 1.10", shell.Ratio() <= 1.10, szNote});
}

WNDPROC g_pfnBareOld = nullptr;

LRESULT CALLBACK BareForwardProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(g_pfnBareOld, hWnd, uMsg, wParam, lParam);
}

LRESULT CALLBACK HostProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == kProbeMessage) return static_cast<LRESULT>(wParam + 1);
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

HWND CreateHost(const char* pszTitle) {
    HMENU hMenu = CreateMenu();
    HMENU hFile = CreatePopupMenu();
    AppendMenuA(hFile, MF_STRING, 101, "&Print...");
    AppendMenuA(hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(hFile), "&File");
    return CreateWindowExA(0, "HookCostHost", pszTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                           hMenu, GetModuleHandleA(nullptr), nullptr);
}

// HookProc is measured on the module's code linked into this program, on a
// window hooked the way ShellProc hooks a host's.
bool MeasureHookProc(std::vector<Figure>* pFigures) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "HookCostHost";
    RegisterClassA(&wc);
    HWND hBare = CreateHost("Bare subclass");
    HWND hHooked = CreateHost("Hooked");
    g_pfnBareOld = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hBare, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BareForwardProc)));
    TryToHookThisWnd(hHooked, kHostGeneric);
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hHooked, GWLP_WNDPROC)) != HookProc) {
        std::printf("the host window was not hooked\n");
        return false;
    }
    const Pair sent = Compare(
        {20, 20000}, [&](int i) { SendMessageA(hHooked, kProbeMessage, static_cast<WPARAM>(i), 0); },
        [&](int i) { SendMessageA(hBare, kProbeMessage, static_cast<WPARAM>(i), 0); });
    pFigures->push_back({"HookProc, unhandled, sent", sent, "<= 1.15", sent.Ratio() <= 1.15, ""});
    const Pair called = Compare(
        {20, 20000}, [&](int i) { HookProc(hHooked, kProbeMessage, static_cast<WPARAM>(i), 0); },
        [&](int i) { BareForwardProc(hBare, kProbeMessage, static_cast<WPARAM>(i), 0); });
    pFigures->push_back({"HookProc, unhandled, called", called, "", true, " (the procedures alone)"});
    // A refresh that finds the menu bar as the item left it; its floor is
    // the look at the menu bar it cannot do without.
    HookedWndInfo* pInfo = FindHookedWnd(hHooked, nullptr);
    volatile int nSink = 0;
    const Pair refresh = Compare(
        {20, 20000}, [&](int) { RefreshHookedItem(pInfo); },
        [&](int) { nSink = nSink + GetMenuItemCount(GetMenu(hHooked)); });
    pFigures->push_back({"RefreshHookedItem, nothing changed", refresh, "", true, " (against reading the menu bar)"});
    UnhookAllWindows();
    DestroyWindow(hHooked);
    DestroyWindow(hBare);
    return true;
}

}  // namespace

// "--safe-mode": the block as a controller with safe mode on leaves it, with
// another program in quarantine, so that the figures compare with those of
// a run without.
void PublishSafeModeAsAController() {
    g_SharedSection.dwSafeModeWatch = 1;
    safe_mode::FormatKeyList({"OTHERPROGRAM.EXE"}, g_SharedSection.szQuarantineList, kSharedListSize);
    InterlockedIncrement(&g_SharedSection.nQuarantineGeneration);
}

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    const bool bSafeMode = argc > 1 && std::strcmp(argv[1], "--safe-mode") == 0;
    std::printf("hook_cost, %d-bit, safe mode %s, each figure from the fastest of its rounds\n",
                static_cast<int>(sizeof(void*) * 8), bSafeMode ? "on" : "off");
    if (bSafeMode) PublishSafeModeAsAController();
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kPlainClass;
    RegisterClassA(&wc);

    const std::string modulePath = InstalledModulePath();
    HMODULE hModule = LoadLibraryA(modulePath.c_str());
    if (hModule == nullptr) {
        std::printf("%s does not start in this process (error %lu): install the suite first "
                    "(scripts/suite-setup.sh)\n",
                    modulePath.c_str(), GetLastError());
        return 1;
    }
    FreeLibrary(hModule);

    FloorBesideModule floor("PFCFLOOR.dll"), sharedFloor("PFCFLOORS.dll");
    if (!floor.Copied() || !sharedFloor.Copied()) {
        std::printf("the floor library cannot be put beside %s (error %lu)\n", modulePath.c_str(), GetLastError());
        return 1;
    }
    std::vector<Figure> figures;
    MeasureStartUp(modulePath, &figures);

    hModule = LoadLibraryA(modulePath.c_str());
    MeasureHookInProcess(hModule, &figures);
    FreeLibrary(hModule);

    // HookProc runs on the module's code linked in here, started as the
    // installed module starts: its resources come from the installed
    // module's folder.
    hModule = LoadLibraryA(modulePath.c_str());
    OnModuleLoad(hModule);
    if (!StartModuleInProcess()) {
        std::printf("the module's start-up failed in this process\n");
        return 1;
    }
    const bool bHookProc = MeasureHookProc(&figures);
    ExitModuleInProcess();
    OnModuleUnload();
    FreeLibrary(hModule);

    PrintFigures(figures);
    const bool bAllMet = std::all_of(figures.begin(), figures.end(), [](const Figure& f) { return f.bMet; });
    std::printf("goals: %s\n", bAllMet && bHookProc ? "all met" : "not all met");
    return bHookProc ? 0 : 1;
}
