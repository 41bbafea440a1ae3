// The built module's start-up as a host meets it, with its imports counted
// from its first instruction: nothing but the instance is recorded under the
// loader lock, a process whose windows are no hosts loads and reads nothing,
// the first host window starts what serving needs, an empty program list is
// said once from outside the loader lock, and the profile path is this
// process's own whatever the shared block says.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "counted_module.h"
#include "e2e_support.h"
#include "hook/base/shared_state.h"
#include "module_copy.h"
#include "window_tree.h"

using test_support::CountedCalls;
using test_support::CountedModule;
using test_support::ModuleCopy;
using test_support::TakeCountedCalls;

namespace {

using SetHookingProc = DWORD(WINAPI*)(BOOL, DWORD, DWORD, DWORD);

std::string Joined(const CountedCalls& calls) {
    std::string text;
    for (const std::string& name : calls.names) text += name + " ";
    return text;
}

// The lists as the controller publishes them.
void PublishLists(SharedSection* pShared, const char* pszModules, size_t cbModules, const char* pszInclude,
                  size_t cbInclude) {
    std::memset(pShared->szModuleList, 0, kSharedListSize);
    std::memcpy(pShared->szModuleList, pszModules, cbModules);
    std::memset(pShared->szIncludeList, 0, kSharedListSize);
    std::memcpy(pShared->szIncludeList, pszInclude, cbInclude);
}

constexpr char kModules[] = "PFCBROWSE.EXE\0";
constexpr char kIncludingUs[] = "Tests (WIN_UNIT_TESTS)\0";
constexpr char kIncludingOthers[] = "Other (NOTUS)\0Sample (PFCMENU)\0";

class ModuleStart : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(copy.Copied());
        TakeCountedCalls();
        module = std::make_unique<CountedModule>(copy.Path());
        ASSERT_TRUE(module->Bound());
        ASSERT_TRUE(module->Attach());
        attach = TakeCountedCalls();
        pShared = static_cast<SharedSection*>(module->SharedSection());
        ASSERT_NE(nullptr, pShared);
        pfnShellProc = module->Export<HOOKPROC>("ShellProc");
        ASSERT_NE(nullptr, pfnShellProc);
    }
    void TearDown() override {
        module.reset();
        test_support::g_messageBoxStandIn = nullptr;
    }
    void Notify(HWND hWnd) { pfnShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hWnd), 0); }
    bool ResourceLibraryLoaded() const {
        return GetModuleHandleA((copy.Folder() + "\\PavRes32.dll").c_str()) != nullptr;
    }
    bool Hooked(HWND hWnd) const {
        return reinterpret_cast<FARPROC>(GetWindowLongPtrA(hWnd, GWLP_WNDPROC)) ==
               GetProcAddress(module->Handle(), "HookProc");
    }

    ModuleCopy copy;
    std::unique_ptr<CountedModule> module;
    CountedCalls attach;
    SharedSection* pShared = nullptr;
    HOOKPROC pfnShellProc = nullptr;
    test_support::WindowTree tree;
};

TEST_F(ModuleStart, EntryPointOnlyRecordsTheInstanceAndTheFirstSuiteCallStartsTheModule) {
    EXPECT_TRUE(attach.names.empty()) << "called under the loader lock: " << Joined(attach);
    EXPECT_FALSE(ResourceLibraryLoaded());

    // The controller's call runs the start-up, outside the loader lock.
    module->Export<SetHookingProc>("VXPFCWSetHooking")(FALSE, 0, 0, 0);
    const CountedCalls started = TakeCountedCalls();
    EXPECT_EQ(1u, started.Count("LoadLibraryExA")) << Joined(started);
    EXPECT_LE(1u, started.Count("RegOpenKeyExA")) << Joined(started);
    EXPECT_LE(1u, started.Count("GetPrivateProfileStringA")) << Joined(started);
    EXPECT_TRUE(ResourceLibraryLoaded());

    module.reset();
    EXPECT_FALSE(ResourceLibraryLoaded()) << "exit gives back what the start-up took";
}

TEST_F(ModuleStart, WindowsThatAreNoHostsLoadAndReadNothing) {
    PublishLists(pShared, kModules, sizeof kModules, kIncludingOthers, sizeof kIncludingOthers);
    for (bool bMenu : {false, true}) {
        HWND hWnd = tree.Top("PfcStartPlain", true, bMenu);
        Notify(hWnd);
        Notify(hWnd);
        EXPECT_FALSE(Hooked(hWnd));
    }
    const CountedCalls calls = TakeCountedCalls();
    EXPECT_TRUE(calls.names.empty()) << Joined(calls);
    EXPECT_FALSE(ResourceLibraryLoaded());
}

TEST_F(ModuleStart, FirstHostWindowStartsTheModuleAndGetsItsSendItem) {
    PublishLists(pShared, kModules, sizeof kModules, kIncludingUs, sizeof kIncludingUs);
    HWND hWnd = tree.Top("PfcStartHost", true, true);
    const int nItemsBefore = GetMenuItemCount(GetMenu(hWnd));
    Notify(hWnd);
    EXPECT_TRUE(Hooked(hWnd));
    EXPECT_EQ(nItemsBefore + 1, GetMenuItemCount(GetMenu(hWnd))) << "the send popup";
    EXPECT_TRUE(ResourceLibraryLoaded());
    const CountedCalls calls = TakeCountedCalls();
    EXPECT_EQ(0u, calls.Count("MessageBoxA")) << Joined(calls);
}

// Whether this thread holds the loader's lock: a thread started now cannot
// get through its start while it does.
bool OtherThreadCanStartAThreadAndLoadALibrary() {
    struct Work {
        static DWORD WINAPI Inner(void*) {
            HMODULE hLibrary = LoadLibraryA("version.dll");
            if (hLibrary == nullptr) return 1;
            FreeLibrary(hLibrary);
            return 0;
        }
        static DWORD WINAPI Outer(void*) {
            HANDLE hThread = CreateThread(nullptr, 0, Inner, nullptr, 0, nullptr);
            if (hThread == nullptr) return 1;
            const DWORD dwWait = WaitForSingleObject(hThread, 5000);
            DWORD dwExit = 1;
            GetExitCodeThread(hThread, &dwExit);
            CloseHandle(hThread);
            return dwWait == WAIT_OBJECT_0 ? dwExit : 1;
        }
    };
    HANDLE hThread = CreateThread(nullptr, 0, Work::Outer, nullptr, 0, nullptr);
    if (hThread == nullptr) return false;
    const bool bEnded = WaitForSingleObject(hThread, 8000) == WAIT_OBJECT_0;
    DWORD dwExit = 1;
    GetExitCodeThread(hThread, &dwExit);
    CloseHandle(hThread);
    return bEnded && dwExit == 0;
}

TEST_F(ModuleStart, EmptyProgramListIsSaidOnceOutsideTheLoaderLockAndNothingIsServed) {
    ASSERT_TRUE(WritePrivateProfileStringA("PFCModules", nullptr, nullptr, (copy.Folder() + "\\PvPfcW32.ini").c_str()));
    PublishLists(pShared, "", 1, kIncludingUs, sizeof kIncludingUs);
    struct Box {
        std::string text;
        UINT uType = 0;
        bool bOthersWentOn = false;
    } box;
    test_support::g_messageBoxStandIn = [&box](const char* pszText, UINT uType) {
        box.text = pszText;
        box.uType = uType;
        box.bOthersWentOn = OtherThreadCanStartAThreadAndLoadALibrary();
        return IDOK;
    };
    HWND hFirst = tree.Top("PfcStartHost", true, true);
    HWND hSecond = tree.Top("PfcStartHost", true, true);
    Notify(hFirst);
    Notify(hSecond);
    Notify(hFirst);
    const CountedCalls calls = TakeCountedCalls();
    EXPECT_EQ(1u, calls.Count("MessageBoxA")) << Joined(calls);
    EXPECT_NE(std::string::npos, box.text.find(copy.Folder() + "\\PvPfcW32.ini")) << box.text;
    EXPECT_EQ(static_cast<UINT>(MB_SYSTEMMODAL), box.uType);
    EXPECT_TRUE(box.bOthersWentOn) << "another thread could not start a thread and load a library";
    EXPECT_FALSE(Hooked(hFirst));
    EXPECT_FALSE(Hooked(hSecond));
}

// Another process of any user can write the shared block: the profile this
// process reads stays the one its own suite key names.
TEST_F(ModuleStart, ProfilePathWrittenIntoTheSharedBlockByAnotherProcessIsNotRead) {
    const std::string ownProfile = copy.Folder() + "\\PvPfcW32.ini";
    ASSERT_TRUE(WritePrivateProfileStringA("PFCWatch", "Enable", "0", ownProfile.c_str()));
    test_support::TempDirectory other;
    const std::string otherProfile =
        other.AddFile("PvPfcW32.ini", "[PFCWatch]\r\nEnable=1\r\n[PFCModules]\r\nOTHER.EXE=1\r\n");
    auto pfnSetHooking = module->Export<SetHookingProc>("VXPFCWSetHooking");
    for (bool bStartedFirst : {false, true}) {
        SCOPED_TRACE(bStartedFirst ? "written after the start-up" : "written before the start-up");
        if (bStartedFirst) pfnSetHooking(FALSE, 0, 0, 0);
        char szSelf[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, szSelf, MAX_PATH);
        e2e::Process writer(std::string("\"") + szSelf + "\" --write-shared-profile-path \"" + copy.Path() +
                                     "\" \"" + otherProfile + "\"");
        DWORD dwExit = 99;
        ASSERT_TRUE(writer.WaitForExit(20000, &dwExit));
        ASSERT_EQ(0u, dwExit);
        ASSERT_EQ(otherProfile, std::string(pShared->szIniPath)) << "the block is shared between the processes";

        pfnSetHooking(TRUE, 0, 0, 0);
        EXPECT_EQ(nullptr, pShared->hShellHook) << "hooking is off in this process's own profile";
        pfnSetHooking(FALSE, 0, 0, 0);
    }
}

}  // namespace
