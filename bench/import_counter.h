// Counts the calls a loaded module makes to chosen system functions by
// putting counting stand-ins into its import address table. Whichever file of
// the module makes the call, it goes through that table, so nothing the module
// does on a measured path escapes the count. The real functions are called
// through, and the table is put back when the counter goes.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace import_counter {

// What kind of outward access a counted function is.
enum Kind { kFileRead, kRegistryRead, kMarker, kKindCount };

struct Counts {
    LONG anCalls[kKindCount] = {};
};

inline Counts g_Counts;

// One stand-in per function: it counts under its kind and calls the real one.
template <class Fn, int Id>
struct Counted;

template <class R, class... A, int Id>
struct Counted<R(WINAPI*)(A...), Id> {
    static inline R(WINAPI* pfnReal)(A...) = nullptr;
    static inline Kind kind = kMarker;
    static R WINAPI Call(A... args) {
        InterlockedIncrement(&g_Counts.anCalls[kind]);
        return pfnReal(args...);
    }
};

#ifndef _WIN64
// The C runtime's calls are cdecl; on x86_64 there is one convention only.
template <class R, class... A, int Id>
struct Counted<R(__cdecl*)(A...), Id> {
    static inline R(__cdecl* pfnReal)(A...) = nullptr;
    static inline Kind kind = kMarker;
    static R __cdecl Call(A... args) {
        InterlockedIncrement(&g_Counts.anCalls[kind]);
        return pfnReal(args...);
    }
};
#endif

struct Entry {
    const char* pszDll;
    const char* pszName;
    Kind kind;
    void* pStandIn;
    void** ppReal;
    Kind* pKind;
};

template <int Id, class Fn>
Entry MakeEntry(const char* pszDll, const char* pszName, Kind kind, Fn) {
    using Stub = Counted<Fn, Id>;
    return {pszDll, pszName, kind, reinterpret_cast<void*>(&Stub::Call), reinterpret_cast<void**>(&Stub::pfnReal),
            &Stub::kind};
}

// Every file and registry read a module of this project may make, and
// CallNextHookEx as a marker that the shell hook procedure ran at all: it is
// the one call ShellProc makes for every notification (the executable's name
// is taken once per process, so it no longer marks a run).
inline std::vector<Entry> ReadEntries() {
    return {
        MakeEntry<1>("kernel32.dll", "CreateFileA", kFileRead, &CreateFileA),
        MakeEntry<2>("kernel32.dll", "CreateFileW", kFileRead, &CreateFileW),
        MakeEntry<3>("kernel32.dll", "ReadFile", kFileRead, &ReadFile),
        MakeEntry<4>("kernel32.dll", "GetFileAttributesA", kFileRead, &GetFileAttributesA),
        MakeEntry<5>("kernel32.dll", "GetPrivateProfileStringA", kFileRead, &GetPrivateProfileStringA),
        MakeEntry<6>("kernel32.dll", "GetPrivateProfileIntA", kFileRead, &GetPrivateProfileIntA),
        MakeEntry<7>("kernel32.dll", "GetPrivateProfileSectionA", kFileRead, &GetPrivateProfileSectionA),
        MakeEntry<8>("kernel32.dll", "GetProfileStringA", kFileRead, &GetProfileStringA),
        MakeEntry<9>("kernel32.dll", "GetProfileIntA", kFileRead, &GetProfileIntA),
        MakeEntry<10>("kernel32.dll", "FindFirstFileA", kFileRead, &FindFirstFileA),
        MakeEntry<11>("msvcrt.dll", "fopen", kFileRead, &fopen),
        MakeEntry<12>("advapi32.dll", "RegOpenKeyExA", kRegistryRead, &RegOpenKeyExA),
        MakeEntry<13>("advapi32.dll", "RegOpenKeyA", kRegistryRead, &RegOpenKeyA),
        MakeEntry<14>("advapi32.dll", "RegCreateKeyExA", kRegistryRead, &RegCreateKeyExA),
        MakeEntry<15>("advapi32.dll", "RegQueryValueExA", kRegistryRead, &RegQueryValueExA),
        MakeEntry<16>("advapi32.dll", "RegEnumValueA", kRegistryRead, &RegEnumValueA),
        MakeEntry<17>("advapi32.dll", "RegGetValueA", kRegistryRead, &RegGetValueA),
        MakeEntry<18>("user32.dll", "CallNextHookEx", kMarker, &CallNextHookEx),
    };
}

class ImportCounter {
public:
    explicit ImportCounter(HMODULE hModule) {
        for (Entry& entry : m_entries = ReadEntries()) Patch(hModule, entry);
    }
    ~ImportCounter() {
        for (const Patched& patched : m_patched) WriteSlot(patched.pSlot, patched.pReal);
    }
    ImportCounter(const ImportCounter&) = delete;
    ImportCounter& operator=(const ImportCounter&) = delete;

    // The functions the module imports and that are now counted.
    size_t PatchedCount() const { return m_patched.size(); }
    static void Reset() { g_Counts = Counts{}; }
    static LONG Calls(Kind kind) { return g_Counts.anCalls[kind]; }

private:
    struct Patched {
        void** pSlot;
        void* pReal;
    };

    static void WriteSlot(void** pSlot, void* pValue) {
        DWORD dwOld = 0;
        if (!VirtualProtect(pSlot, sizeof *pSlot, PAGE_READWRITE, &dwOld)) return;
        *pSlot = pValue;
        VirtualProtect(pSlot, sizeof *pSlot, dwOld, &dwOld);
    }

    void Patch(HMODULE hModule, Entry& entry) {
        auto* pBase = reinterpret_cast<BYTE*>(hModule);
        auto* pDos = reinterpret_cast<IMAGE_DOS_HEADER*>(pBase);
        auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (dir.VirtualAddress == 0) return;
        for (auto* pImport = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + dir.VirtualAddress);
             pImport->Name != 0; ++pImport) {
            if (lstrcmpiA(reinterpret_cast<const char*>(pBase + pImport->Name), entry.pszDll) != 0) continue;
            if (pImport->OriginalFirstThunk == 0) continue;
            auto* pNames = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->OriginalFirstThunk);
            auto* pSlots = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->FirstThunk);
            for (; pNames->u1.AddressOfData != 0; ++pNames, ++pSlots) {
                if (IMAGE_SNAP_BY_ORDINAL(pNames->u1.Ordinal)) continue;
                auto* pByName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(pBase + pNames->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(pByName->Name), entry.pszName) != 0) continue;
                void** pSlot = reinterpret_cast<void**>(&pSlots->u1.Function);
                *entry.ppReal = *pSlot;
                *entry.pKind = entry.kind;
                m_patched.push_back({pSlot, *pSlot});
                WriteSlot(pSlot, entry.pStandIn);
            }
        }
    }

    std::vector<Entry> m_entries;
    std::vector<Patched> m_patched;
};

}  // namespace import_counter
