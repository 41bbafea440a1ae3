// The built module as a host process meets it: a copy in a folder of its own
// (with or without the resource library beside it), a suite key and profile
// that list this test program as a generic menu host, loaded into the test
// process through LoadLibrary so that its entry point, its start-up and its
// exit run for real.
#pragma once

#include <windows.h>

#include <string>

#include "built_modules.h"
#include "pump.h"
#include "suite_key_sandbox.h"

namespace test_support {

// The planted DLL's mark: set when any copy of it was loaded into this process.
inline std::string PlantedLoadMark() {
    char szPath[MAX_PATH] = {};
    GetEnvironmentVariableA("PFC_PLANTED_LOADED", szPath, MAX_PATH);
    return szPath;
}
inline void ClearPlantedLoadMark() { SetEnvironmentVariableA("PFC_PLANTED_LOADED", nullptr); }
inline std::string PlantedModulePath() { return BuildTreePath("tests\\win\\planted\\pfcplanted.dll"); }

class ModuleCopy {
public:
    // This test program as a generic menu host, a browser host listed first
    // in [PFCModules] also.
    static constexpr char kGenericHostProfile[] =
        "[PFCModules]\r\nPFCBROWSE.EXE=1\r\n[PFCInclude]\r\nTests (WIN_UNIT_TESTS)=1\r\n";
    static constexpr char kBrowserHostProfile[] =
        "[PFCModules]\r\nWIN_UNIT_TESTS.EXE=1\r\n[PFCInclude]\r\nTests (WIN_UNIT_TESTS)=1\r\n";

    explicit ModuleCopy(bool bWithResourceLibrary = true, const char* pszProfile = kGenericHostProfile) {
        m_path = m_dir.Child("PVPFCW32.dll");
        m_bCopied = CopyFileA(BuildTreePath("PVPFCW32.dll").c_str(), m_path.c_str(), FALSE) != FALSE;
        if (bWithResourceLibrary)
            m_bCopied = m_bCopied && CopyFileA(BuildTreePath("resources\\PavRes32.dll").c_str(),
                                               m_dir.Child("PavRes32.dll").c_str(), FALSE) != FALSE;
        m_dir.AddFile("PvPfcW32.ini", pszProfile);
        SuiteKeySandbox::SetString(kRootLocalMachine, "CommonDirectory", m_dir.path());
        // An installed, current suite: the window's send item is placed
        // without a word about missing settings.
        SuiteKeySandbox::SetBinary(kRootLocalMachine, "ParvaneInfo", {3, 0, 0, 0});
        SuiteKeySandbox::SetBinary(kRootCurrentUser, "InstallVersion", {1, 0, 4, 2});
    }
    ~ModuleCopy() {
        Free();
        // A module that served a window stays for the process: its files
        // stay with it.
        if (m_bKeptForProcess) return;
        WaitUntilUnloaded(5000);
        DeleteFileA(m_path.c_str());
        DeleteFileA(m_dir.Child("PavRes32.dll").c_str());
    }
    ModuleCopy(const ModuleCopy&) = delete;
    ModuleCopy& operator=(const ModuleCopy&) = delete;

    bool Copied() const { return m_bCopied; }
    // The copy served a window of this process and is pinned in it.
    void KeptForProcess() { m_bKeptForProcess = true; }
    const std::string& Folder() const { return m_dir.path(); }
    const std::string& Path() const { return m_path; }

    bool Load() {
        if (m_hModule == nullptr) m_hModule = LoadLibraryA(m_path.c_str());
        return m_hModule != nullptr;
    }
    // Gives back the test's own reference.
    void Free() {
        if (m_hModule != nullptr) FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }
    bool IsLoaded() const { return GetModuleHandleA(m_path.c_str()) != nullptr; }
    bool WaitUntilUnloaded(DWORD dwTimeoutMs) const {
        return test_support::PumpUntil([this] { return !IsLoaded(); }, dwTimeoutMs);
    }

    template <class Procedure>
    Procedure Export(const char* pszName) const {
        return reinterpret_cast<Procedure>(reinterpret_cast<void*>(GetProcAddress(m_hModule, pszName)));
    }

private:
    SuiteKeySandbox m_keys;
    TempDirectory m_dir;
    std::string m_path;
    bool m_bCopied = false;
    bool m_bKeptForProcess = false;
    HMODULE m_hModule = nullptr;
};

}  // namespace test_support
