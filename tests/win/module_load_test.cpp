// The built module loaded into this process as into a host: it loads no code
// from the host's folder or current directory, and it stays loaded while a
// window or a modal loop can still call it, and no longer.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "hook/base/hook_names.h"
#include "hook/base/hooked_wnd.h"
#include "hook/base/target_selection.h"
#include "hook/base/shared_state.h"
#include "host_seh_frame.h"
#include "module_copy.h"
#include "platform/fault_guard.h"
#include "screen_wait.h"
#include "toolbar_band.h"
#include "window_tree.h"

using test_support::BuildTreePath;
using test_support::ModuleCopy;
using test_support::PlantedLoadMark;
using test_support::PlantedModulePath;

namespace {

std::string ExecutableFolder() {
    char szPath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string path = szPath;
    return path.substr(0, path.find_last_of('\\'));
}

std::string SystemFolder() {
    char szPath[MAX_PATH] = {};
    GetSystemDirectoryA(szPath, MAX_PATH);
    return szPath;
}

// Copies of the planted DLL where a careless load would find them, removed
// at the end; the current directory points at one of them meanwhile.
class PlantedCopies {
public:
    explicit PlantedCopies(const char* pszName) {
        GetCurrentDirectoryA(MAX_PATH, m_szOldDirectory);
        SetCurrentDirectoryA(m_currentDirectory.path().c_str());
        for (const std::string& folder : {ExecutableFolder(), m_currentDirectory.path()}) {
            const std::string path = folder + "\\" + pszName;
            if (CopyFileA(PlantedModulePath().c_str(), path.c_str(), FALSE)) m_paths.push_back(path);
        }
        test_support::ClearPlantedLoadMark();
    }
    ~PlantedCopies() {
        SetCurrentDirectoryA(m_szOldDirectory);
        for (const std::string& path : m_paths) DeleteFileA(path.c_str());
    }
    PlantedCopies(const PlantedCopies&) = delete;
    PlantedCopies& operator=(const PlantedCopies&) = delete;
    size_t Count() const { return m_paths.size(); }

private:
    test_support::TempDirectory m_currentDirectory;
    char m_szOldDirectory[MAX_PATH] = {};
    std::vector<std::string> m_paths;
};

// The built resource library in the system folder for one test, where the
// suite's installer would have put it, unless it is there already.
class ResourceLibraryInSystemFolder {
public:
    ResourceLibraryInSystemFolder() : m_path(SystemFolder() + "\\PavRes32.dll") {
        if (GetFileAttributesA(m_path.c_str()) == INVALID_FILE_ATTRIBUTES)
            m_bPlaced = CopyFileA(BuildTreePath("resources\\PavRes32.dll").c_str(), m_path.c_str(), TRUE) != FALSE;
    }
    ~ResourceLibraryInSystemFolder() {
        if (m_bPlaced) DeleteFileA(m_path.c_str());
    }
    ResourceLibraryInSystemFolder(const ResourceLibraryInSystemFolder&) = delete;
    ResourceLibraryInSystemFolder& operator=(const ResourceLibraryInSystemFolder&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    bool m_bPlaced = false;
};

TEST(ModuleLoad, ResourceLibraryComesFromTheModulesFolderThenTheSystemFolderNeverTheHosts) {
    ResourceLibraryInSystemFolder systemCopy;
    for (bool bBesideTheModule : {true, false}) {
        SCOPED_TRACE(bBesideTheModule ? "beside the module" : "only in the system folder");
        PlantedCopies planted("PavRes32.dll");
        ASSERT_EQ(2u, planted.Count());
        {
            ModuleCopy module(bBesideTheModule);
            ASSERT_TRUE(module.Copied());
            ASSERT_TRUE(module.Load());
            // The first call from a suite program starts the module.
            module.Export<DWORD(WINAPI*)(BOOL, DWORD, DWORD, DWORD)>("VXPFCWSetHooking")(FALSE, 0, 0, 0);
            const std::string expected = bBesideTheModule ? module.Folder() + "\\PavRes32.dll" : systemCopy.Path();
            EXPECT_NE(nullptr, GetModuleHandleA(expected.c_str()));
        }
        EXPECT_EQ("", PlantedLoadMark());
    }
}

TEST(ModuleLoad, ExecutableTestLoadsNothingItIsAskedAbout) {
    PlantedCopies planted("PFCODDNAME.DLL");
    ASSERT_EQ(2u, planted.Count());
    char szOwnName[kPathSize] = {};
    ASSERT_TRUE(GetModuleName(szOwnName, nullptr));
    const struct {
        const char* pszName;
        BOOL bLoaded;
    } kCases[] = {
        {szOwnName, TRUE},
        {"KERNEL32.DLL", TRUE},
        {"PFCODDNAME.DLL", FALSE},
        {"PFCODDNAME", FALSE},  // a folder's name cut from a long path
    };
    for (const auto& c : kCases) EXPECT_EQ(c.bLoaded, IsLoadedModule(c.pszName)) << c.pszName;
    EXPECT_EQ("", PlantedLoadMark());
}

// --- staying loaded while we can still be called -----------------------------

constexpr UINT kProbe = WM_APP + 11;
constexpr UINT kModalProbe = WM_APP + 12;

struct LoadedModule {
    ModuleCopy* pCopy = nullptr;
    HOOKPROC pfnShellProc = nullptr;
    WNDPROC pfnHookProc = nullptr;
    DWORD(WINAPI* pfnSetHooking)(BOOL, DWORD, DWORD, DWORD) = nullptr;
    bool bLoadedThroughoutTheLoop = false;
} g_module;

LRESULT CALLBACK CopyHostProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == kProbe) return static_cast<LRESULT>(wParam + 1);
    if (uMsg == kModalProbe) {
        // A modal loop of the host under the module's window procedure: the
        // hook goes and the last outside reference with it meanwhile.
        g_module.pfnSetHooking(FALSE, 0, 0, 0);
        g_module.pCopy->Free();
        bool bLoaded = g_module.pCopy->IsLoaded();
        for (int i = 0; i < 20; ++i) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            Sleep(10);
            bLoaded = bLoaded && g_module.pCopy->IsLoaded();
        }
        g_module.bLoadedThroughoutTheLoop = bLoaded;
        return 0x77;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

WNDPROC g_pfnBelowLater = nullptr;
LRESULT CALLBACK LaterSubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(g_pfnBelowLater, hWnd, uMsg, wParam, lParam);
}

WNDPROC WndProcOf(HWND hWnd) { return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hWnd, GWLP_WNDPROC)); }

class ModuleLifetime : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(copy.Copied());
        ASSERT_TRUE(copy.Load());
        g_module = LoadedModule{};
        g_module.pCopy = &copy;
        g_module.pfnShellProc = copy.Export<HOOKPROC>("ShellProc");
        g_module.pfnHookProc = copy.Export<WNDPROC>("HookProc");
        g_module.pfnSetHooking = copy.Export<decltype(g_module.pfnSetHooking)>("VXPFCWSetHooking");
        ASSERT_NE(nullptr, g_module.pfnShellProc);
        ASSERT_NE(nullptr, g_module.pfnHookProc);
        ASSERT_NE(nullptr, g_module.pfnSetHooking);
        // The suite program's first call starts the module and publishes the
        // lists of the copy's profile.
        g_module.pfnSetHooking(FALSE, 0, 0, 0);
        tree.RegisterWithProc("PfcCopyHost", CopyHostProc);
        hWnd = tree.Top("PfcCopyHost", true, true);
        ASSERT_NE(nullptr, hWnd);
        // The module's own shell hook procedure takes the window.
        g_module.pfnShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hWnd), 0);
        ASSERT_EQ(g_module.pfnHookProc, WndProcOf(hWnd));
        copy.KeptForProcess();
    }

    ModuleCopy copy;
    test_support::WindowTree tree;
    HWND hWnd = nullptr;
};

// Nothing can prove that no thread of the host is still in the last
// instructions of a procedure of ours: a module that served a window stays
// until the process ends.
TEST_F(ModuleLifetime, WindowSubclassedAfterUsKeepsTheModuleForTheProcess) {
    g_pfnBelowLater =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LaterSubclassProc)));
    g_module.pfnSetHooking(FALSE, 0, 0, 0);
    ASSERT_EQ(LaterSubclassProc, WndProcOf(hWnd)) << "the later subclass keeps its place";
    copy.Free();
    EXPECT_TRUE(copy.IsLoaded()) << "the window still calls the module";
    EXPECT_EQ(6, SendMessageA(hWnd, kProbe, 5, 0));
    Sleep(200);
    EXPECT_TRUE(copy.IsLoaded());
    EXPECT_EQ(9, SendMessageA(hWnd, kProbe, 8, 0));

    DestroyWindow(hWnd);
    EXPECT_FALSE(copy.WaitUntilUnloaded(500)) << "kept for the process";

    // Nothing of it is left in the way of the thread's exceptions.
    test_support::ResetHostFrame(true);
    EXPECT_EQ(0, HostProbeWrite(nullptr, 1));
    EXPECT_EQ(1, test_support::g_hostFrame.nTaken);
    auto faults = [] { HostProbeWrite(nullptr, 1); };
    test_support::ResetHostFrame(false);
    EXPECT_FALSE(platform::RunFaultGuarded(faults));
}

TEST_F(ModuleLifetime, ModalLoopUnderTheHookProcedureReturnsIntoLoadedCode) {
    EXPECT_EQ(0x77, SendMessageA(hWnd, kModalProbe, 0, 0));
    EXPECT_TRUE(g_module.bLoadedThroughoutTheLoop);
    EXPECT_EQ(CopyHostProc, WndProcOf(hWnd)) << "given back when the hook went";
    EXPECT_FALSE(copy.WaitUntilUnloaded(500)) << "kept for the process";
}


// --- the send button's popup, open while the hook goes ------------------------

// The button's click runs the popup's modal loop inside the module's button
// procedure. The hook goes inside that loop, the test's own reference with
// it: the click still returns into loaded code.
struct ButtonClick {
    ModuleCopy* pCopy = nullptr;
    HWND hHost = nullptr;
    HWND hButton = nullptr;
    UINT uHookRemovedMsg = 0;
    bool bMenuWasOpen = false;
    bool bReturned = false;
    bool bLoadedWhenItReturned = false;
} g_click;

HWND OpenPopupWindow() {
    HWND hMenu = FindWindowA("#32768", nullptr);
    return hMenu != nullptr && IsWindowVisible(hMenu) ? hMenu : nullptr;
}

// Inside the popup's loop: once the popup shows, the hook goes and the
// test's reference with it; once the host has its procedure back, the
// popup is closed.
void CALLBACK InsideTheMenuLoop(HWND, UINT, UINT_PTR uTimer, DWORD) {
    if (!g_click.bMenuWasOpen) {
        if (OpenPopupWindow() == nullptr) return;
        g_click.bMenuWasOpen = true;
        PostMessageA(g_click.hHost, g_click.uHookRemovedMsg, 0, 0);
        g_click.pCopy->Free();
        return;
    }
    if (WndProcOf(g_click.hHost) == g_module.pfnHookProc) return;
    KillTimer(nullptr, uTimer);
    EndMenu();
}

void CALLBACK ClickTheButton(HWND, UINT, UINT_PTR uTimer, DWORD) {
    KillTimer(nullptr, uTimer);
    SetTimer(nullptr, 0, 20, InsideTheMenuLoop);
    SendMessageA(g_click.hButton, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    g_click.bReturned = true;
    g_click.bLoadedWhenItReturned = g_click.pCopy->IsLoaded();
}

HWND FindChildOfClass(HWND hParent, const char* pszClass) {
    HWND hFound = FindWindowExA(hParent, nullptr, pszClass, nullptr);
    for (HWND hChild = GetWindow(hParent, GW_CHILD); hFound == nullptr && hChild != nullptr;
         hChild = GetWindow(hChild, GW_HWNDNEXT))
        hFound = FindChildOfClass(hChild, pszClass);
    return hFound;
}

TEST(ModuleLifetimeButton, PopupOpenWhenTheHookGoesReturnsIntoLoadedCode) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_COOL_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    ModuleCopy copy(true, ModuleCopy::kBrowserHostProfile);
    ASSERT_TRUE(copy.Copied());
    ASSERT_TRUE(copy.Load());
    g_module = LoadedModule{};
    g_module.pfnShellProc = copy.Export<HOOKPROC>("ShellProc");
    g_module.pfnHookProc = copy.Export<WNDPROC>("HookProc");
    g_module.pfnSetHooking = copy.Export<decltype(g_module.pfnSetHooking)>("VXPFCWSetHooking");
    ASSERT_NE(nullptr, g_module.pfnSetHooking);
    g_module.pfnSetHooking(FALSE, 0, 0, 0);

    // A browser-like host: its view in a "Worker" child, a rebar with a tool
    // bar band above it.
    test_support::WindowTree tree;
    tree.RegisterWithProc("PfcCopyBrowser", DefWindowProcA);
    tree.RegisterWithProc("Worker", DefWindowProcA);
    HWND hHost = tree.Top("PfcCopyBrowser", true, false, "browser");
    ASSERT_NE(nullptr, hHost);
    MoveWindow(hHost, 0, 0, 640, 200, TRUE);
    HWND hWorker = CreateWindowExA(0, "Worker", "", WS_CHILD | WS_VISIBLE, 0, 0, 640, 160, hHost, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    HWND hReBar = CreateWindowExA(0, REBARCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | RBS_VARHEIGHT | CCS_NODIVIDER, 0, 0,
                                  640, 30, hWorker, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, hReBar);
    host::AddToolbarBand(hReBar, {"Back", "Forward"}, 200, 560);

    g_module.pfnShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hHost), 0);
    ASSERT_EQ(g_module.pfnHookProc, WndProcOf(hHost));
    copy.KeptForProcess();
    HWND hButton = nullptr;
    ASSERT_TRUE(test_support::PumpUntil(
        [&] {
            hButton = FindChildOfClass(hHost, kSendButtonClass);
            return hButton != nullptr && IsWindowVisible(hButton);
        },
        10000))
        << "the send button was not placed";

    g_click = ButtonClick{&copy, hHost, hButton, RegisterWindowMessageA(kHookRemovedMessageName)};
    SetTimer(nullptr, 0, 10, ClickTheButton);
    ASSERT_TRUE(test_support::PumpUntil([] { return g_click.bReturned; }, 10000)) << "the click did not return";
    EXPECT_TRUE(g_click.bMenuWasOpen) << "the popup never showed";
    EXPECT_TRUE(g_click.bLoadedWhenItReturned);
    EXPECT_NE(g_module.pfnHookProc, WndProcOf(hHost)) << "given back when the hook went";
    EXPECT_TRUE(test_support::PumpUntil([&] { return !IsWindow(hButton); })) << "the button went with the hook";
    // Nothing proves that no thread is still in the last instructions of the
    // button's procedure: the module stays for the process.
    EXPECT_FALSE(copy.WaitUntilUnloaded(500)) << "kept for the process";
}

}  // namespace
