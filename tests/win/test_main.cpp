// The in-process tests run the module's code without its entry point, so the
// per-process set-up of the module's start-up is done here.
//
// Run as "--write-shared-profile-path MODULE PATH", the program is instead the
// other process of a test: it maps MODULE without running it and writes PATH
// as the profile path into the block the module shares with every process.
#include <gtest/gtest.h>

#include <cstring>

#include "hook/module_lifetime.h"
#include "hook/shared_state.h"

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

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--write-shared-profile-path") == 0)
        return WriteSharedProfilePath(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    OnModuleLoad(GetModuleHandleA(nullptr));
    InitializeModuleState();
    const int nResult = RUN_ALL_TESTS();
    OnModuleUnload();
    return nResult;
}
