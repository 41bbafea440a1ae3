// A module loaded the way the system loads it, except that its imports are
// bound here: chosen system functions go through counting stand-ins from the
// module's very first instruction, its entry point included. The image is
// mapped without the loader binding or starting it, the import table is filled
// by hand, and the entry point is called as the loader calls it.
#pragma once

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace test_support {

// Which watched functions were called, by name, in order.
struct CountedCalls {
    std::vector<std::string> names;
    size_t Count(const char* pszName) const {
        size_t n = 0;
        for (const std::string& name : names) n += name == pszName;
        return n;
    }
};

inline CountedCalls g_countedCalls;
inline CRITICAL_SECTION* CountedLock() {
    static CRITICAL_SECTION cs = [] {
        CRITICAL_SECTION c;
        InitializeCriticalSection(&c);
        return c;
    }();
    return &cs;
}
inline void RecordCountedCall(const char* pszName) {
    EnterCriticalSection(CountedLock());
    g_countedCalls.names.push_back(pszName);
    LeaveCriticalSection(CountedLock());
}
inline CountedCalls TakeCountedCalls() {
    EnterCriticalSection(CountedLock());
    CountedCalls calls = g_countedCalls;
    g_countedCalls = CountedCalls{};
    LeaveCriticalSection(CountedLock());
    return calls;
}

// The stand-in for a message box: the test decides what "the box" does and
// answers; nothing is shown.
inline std::function<int(const char* pszText, UINT uType)> g_messageBoxStandIn;

template <int Id, class Fn>
struct CountedStub;

template <int Id, class R, class... A>
struct CountedStub<Id, R(WINAPI*)(A...)> {
    static inline R(WINAPI* pfnReal)(A...) = nullptr;
    static inline const char* pszName = "";
    static R WINAPI Call(A... args) {
        RecordCountedCall(pszName);
        return pfnReal(args...);
    }
};

inline int WINAPI MessageBoxStandIn(HWND hWnd, LPCSTR pszText, LPCSTR pszCaption, UINT uType) {
    RecordCountedCall("MessageBoxA");
    if (g_messageBoxStandIn) return g_messageBoxStandIn(pszText, uType);
    (void)hWnd;
    (void)pszCaption;
    return IDOK;
}

struct WatchedImport {
    const char* pszName;
    void* pStandIn;
    void** ppReal;
};

template <int Id, class Fn>
WatchedImport Watch(const char* pszName, Fn) {
    using Stub = CountedStub<Id, Fn>;
    Stub::pszName = pszName;
    return {pszName, reinterpret_cast<void*>(&Stub::Call), reinterpret_cast<void**>(&Stub::pfnReal)};
}

// What may not happen under the loader lock, and what shows a module at work:
// loading code, windows and boxes, files, profiles and the registry.
inline std::vector<WatchedImport> WatchedImports() {
    static void* pfnRealMessageBox = nullptr;
    return {
        Watch<1>("LoadLibraryA", &LoadLibraryA),
        Watch<2>("LoadLibraryW", &LoadLibraryW),
        Watch<3>("LoadLibraryExA", &LoadLibraryExA),
        Watch<4>("LoadLibraryExW", &LoadLibraryExW),
        Watch<5>("CreateWindowExA", &CreateWindowExA),
        Watch<6>("CreateWindowExW", &CreateWindowExW),
        Watch<7>("DialogBoxParamA", &DialogBoxParamA),
        Watch<8>("CreateFileA", &CreateFileA),
        Watch<9>("CreateFileW", &CreateFileW),
        Watch<10>("GetPrivateProfileStringA", &GetPrivateProfileStringA),
        Watch<11>("GetPrivateProfileIntA", &GetPrivateProfileIntA),
        Watch<12>("GetProfileStringA", &GetProfileStringA),
        Watch<13>("RegOpenKeyExA", &RegOpenKeyExA),
        Watch<14>("RegCreateKeyExA", &RegCreateKeyExA),
        Watch<15>("RegQueryValueExA", &RegQueryValueExA),
        Watch<16>("RegisterWindowMessageA", &RegisterWindowMessageA),
        Watch<17>("RegisterClassA", &RegisterClassA),
        {"MessageBoxA", reinterpret_cast<void*>(&MessageBoxStandIn), &pfnRealMessageBox},
    };
}

class CountedModule {
public:
    explicit CountedModule(const std::string& path) {
        m_hModule = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        m_bBound = m_hModule != nullptr && BindImports();
    }
    ~CountedModule() {
        if (m_bAttached) Detach();
        if (m_hModule != nullptr) FreeLibrary(m_hModule);
    }
    CountedModule(const CountedModule&) = delete;
    CountedModule& operator=(const CountedModule&) = delete;

    bool Bound() const { return m_bBound; }
    HMODULE Handle() const { return m_hModule; }

    // The loader's call of the entry point at load.
    BOOL Attach() {
        m_bAttached = true;
        return EntryPoint()(m_hModule, DLL_PROCESS_ATTACH, nullptr);
    }
    // The loader's call when the module is freed (not at process end).
    void Detach() {
        m_bAttached = false;
        EntryPoint()(m_hModule, DLL_PROCESS_DETACH, nullptr);
    }

    template <class Procedure>
    Procedure Export(const char* pszName) const {
        return reinterpret_cast<Procedure>(reinterpret_cast<void*>(GetProcAddress(m_hModule, pszName)));
    }

    // The module's block shared by every process that maps it.
    void* SharedSection() const {
        IMAGE_SECTION_HEADER* pSection = IMAGE_FIRST_SECTION(Headers());
        for (WORD i = 0; i < Headers()->FileHeader.NumberOfSections; ++i, ++pSection) {
            if (std::strncmp(reinterpret_cast<const char*>(pSection->Name), ".shared", IMAGE_SIZEOF_SHORT_NAME) == 0)
                return Base() + pSection->VirtualAddress;
        }
        return nullptr;
    }

private:
    using EntryProc = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

    BYTE* Base() const { return reinterpret_cast<BYTE*>(m_hModule); }
    IMAGE_NT_HEADERS* Headers() const {
        return reinterpret_cast<IMAGE_NT_HEADERS*>(Base() + reinterpret_cast<IMAGE_DOS_HEADER*>(Base())->e_lfanew);
    }
    EntryProc EntryPoint() const {
        return reinterpret_cast<EntryProc>(Base() + Headers()->OptionalHeader.AddressOfEntryPoint);
    }

    bool BindImports() {
        const std::vector<WatchedImport> watched = WatchedImports();
        const IMAGE_DATA_DIRECTORY& dir = Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (dir.VirtualAddress == 0) return false;
        for (auto* pImport = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(Base() + dir.VirtualAddress);
             pImport->Name != 0; ++pImport) {
            HMODULE hDll = LoadLibraryA(reinterpret_cast<const char*>(Base() + pImport->Name));
            if (hDll == nullptr) return false;
            auto* pNames = reinterpret_cast<IMAGE_THUNK_DATA*>(
                Base() + (pImport->OriginalFirstThunk != 0 ? pImport->OriginalFirstThunk : pImport->FirstThunk));
            auto* pSlots = reinterpret_cast<IMAGE_THUNK_DATA*>(Base() + pImport->FirstThunk);
            for (; pNames->u1.AddressOfData != 0; ++pNames, ++pSlots) {
                void* pTarget = nullptr;
                if (IMAGE_SNAP_BY_ORDINAL(pNames->u1.Ordinal)) {
                    pTarget = reinterpret_cast<void*>(
                        GetProcAddress(hDll, MAKEINTRESOURCEA(IMAGE_ORDINAL(pNames->u1.Ordinal))));
                } else {
                    const char* pszName = reinterpret_cast<const char*>(
                        reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(Base() + pNames->u1.AddressOfData)->Name);
                    pTarget = reinterpret_cast<void*>(GetProcAddress(hDll, pszName));
                    for (const WatchedImport& entry : watched) {
                        if (std::strcmp(entry.pszName, pszName) != 0 || pTarget == nullptr) continue;
                        *entry.ppReal = pTarget;
                        pTarget = entry.pStandIn;
                    }
                }
                if (pTarget == nullptr) return false;
                DWORD dwOld = 0;
                if (!VirtualProtect(&pSlots->u1.Function, sizeof(void*), PAGE_READWRITE, &dwOld)) return false;
                pSlots->u1.Function = reinterpret_cast<ULONG_PTR>(pTarget);
                VirtualProtect(&pSlots->u1.Function, sizeof(void*), dwOld, &dwOld);
            }
        }
        return true;
    }

    HMODULE m_hModule = nullptr;
    bool m_bBound = false;
    bool m_bAttached = false;
};

}  // namespace test_support
