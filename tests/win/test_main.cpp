// The in-process tests run the module's code without its entry point, so the
// per-process set-up of the module's start-up is done here: the test process
// is a host whose module has started, as on a host's first served window.
//
// Run as "--write-shared-profile-path MODULE PATH", the program is instead the
// other process of a test: it maps MODULE without running it and writes PATH
// as the profile path into the block the module shares with every process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "built_modules.h"
#include "hook/module_lifetime.h"
#include "hook/base/shared_state.h"
#include "seam_recorder.h"
#include "shared_lists.h"
#include "suite_key_sandbox.h"

namespace {

int WriteSharedProfilePath(const char* pszModule, const char* pszPath) {
    HMODULE hModule = LoadLibraryExA(pszModule, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (hModule == nullptr) return 1;
    auto* pBase = reinterpret_cast<BYTE*>(hModule);
    auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + reinterpret_cast<IMAGE_DOS_HEADER*>(pBase)->e_lfanew);
    IMAGE_SECTION_HEADER* pSection = IMAGE_FIRST_SECTION(pNt);
    for (WORD i = 0; i < pNt->FileHeader.NumberOfSections; ++i, ++pSection) {
        if (std::strncmp(reinterpret_cast<const char*>(pSection->Name), ".shared", IMAGE_SIZEOF_SHORT_NAME) != 0)
            continue;
        auto* pShared = reinterpret_cast<SharedSection*>(pBase + pSection->VirtualAddress);
        lstrcpynA(pShared->szIniPath, pszPath, kPathSize);
        return 0;
    }
    return 2;
}

// The start-up is settled once per process, so it runs before any test, with
// what a host has: the resource module and an installed suite whose profile
// lists this program. A test that met it first would settle it with whatever
// that test had set up. What it published for that profile is put back: each
// test sets its own lists, profile and resource module.
bool StartModuleAsInAHost() {
    test_support::SuiteKeySandbox key;
    test_support::TempDirectory common;
    test_support::SharedListsScope lists;
    test_support::SeamRecorder seams;
    HMODULE hResources = test_support::LoadBuiltResourceModule();
    g_hResourceModule = hResources;
    test_support::SuiteKeySandbox::SetString(kRootLocalMachine, "CommonDirectory", common.path());
    common.AddFile("PvPfcW32.ini", "[PFCModules]\r\nWIN_UNIT_TESTS.EXE=1\r\n");
    const bool bServing = EnsureModuleServing();
    for (const test_support::MessageBoxCall& box : seams.messageBoxes)
        std::fprintf(stderr, "module start-up said: %s\n", box.text.c_str());
    g_hResourceModule = nullptr;
    if (hResources != nullptr) FreeLibrary(hResources);
    return bServing;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--write-shared-profile-path") == 0)
        return WriteSharedProfilePath(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    OnModuleLoad(GetModuleHandleA(nullptr));
    InitializeModuleState();
    if (!StartModuleAsInAHost()) {
        std::fprintf(stderr, "the module's start-up refused in the test process (resource module %s)\n",
                     test_support::BuildTreePath("resources\\PavRes32.dll").c_str());
        return 1;
    }
    const int nResult = RUN_ALL_TESTS();
    OnModuleUnload();
    return nResult;
}
