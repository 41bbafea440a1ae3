#include "send_module.h"

#include <cstring>

#include "program_paths.h"

namespace controller {

namespace {

using SetHookingProc = DWORD(WINAPI*)(BOOL, DWORD, DWORD, DWORD);
using ConfigProc = DWORD(WINAPI*)();

// The module declares its shared block as the one variable of its section
// ".shared"; the section header gives its place in the mapped image.
SharedSection* FindSharedSection(HMODULE hModule) {
    auto* pBase = reinterpret_cast<BYTE*>(hModule);
    const auto* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase);
    if (pDos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    const auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    if (pNt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
    const IMAGE_SECTION_HEADER* pSection = IMAGE_FIRST_SECTION(pNt);
    for (WORD i = 0; i < pNt->FileHeader.NumberOfSections; ++i, ++pSection) {
        if (std::strncmp(reinterpret_cast<const char*>(pSection->Name), ".shared", IMAGE_SIZEOF_SHORT_NAME) != 0) {
            continue;
        }
        if (pSection->Misc.VirtualSize < sizeof(SharedSection)) return nullptr;
        return reinterpret_cast<SharedSection*>(pBase + pSection->VirtualAddress);
    }
    return nullptr;
}

}  // namespace

SendModule::SendModule(Mode mode) : m_path(ModulePath()) {
    // Peeking must not run the module's start-up: that would show the
    // profile's error message and start the suite library in a process
    // that only wants to report.
    const DWORD dwFlags = mode == Mode::kPeek ? DONT_RESOLVE_DLL_REFERENCES : 0;
    m_hModule.reset(LoadLibraryExA(m_path.c_str(), nullptr, dwFlags));
    if (m_hModule) m_pShared = FindSharedSection(m_hModule.get());
}

template <class Proc>
Proc SendModule::Export(const char* pszName) const {
    if (!m_hModule) return nullptr;
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(m_hModule.get(), pszName)));
}

bool SendModule::SetHooking(bool bHook) const {
    auto pfnSetHooking = Export<SetHookingProc>("VXPFCWSetHooking");
    if (pfnSetHooking == nullptr) return false;
    pfnSetHooking(bHook ? TRUE : FALSE, 0, 0, 0);
    return true;
}

bool SendModule::OpenConfiguration() const {
    auto pfnConfig = Export<ConfigProc>("VXPFCWConfig");
    if (pfnConfig == nullptr) return false;
    pfnConfig();
    return true;
}

std::vector<std::string> SplitKeyList(const char* pszList, size_t cbList) {
    std::vector<std::string> names;
    size_t nPos = 0;
    while (nPos < cbList && pszList[nPos] != '\0') {
        const void* pNul = std::memchr(pszList + nPos, '\0', cbList - nPos);
        // A name cut by the end of the block is not a name.
        if (pNul == nullptr) break;
        const size_t nEnd = static_cast<const char*>(pNul) - pszList;
        names.emplace_back(pszList + nPos, nEnd - nPos);
        nPos = nEnd + 1;
    }
    return names;
}

}  // namespace controller
