#include "platform/shell_calls.h"

#include <shellapi.h>

#include <atomic>

#include "platform/system_library.h"

namespace platform {
namespace {

// A library loaded at its first use and kept for the process: a call that
// needed it came from a user's command in a window the module serves, and
// such a process keeps the module too. Giving it back at the module's exit
// would mean FreeLibrary under the loader lock.
class OnDemandLibrary {
public:
    explicit constexpr OnDemandLibrary(const char* pszFileName) : m_pszFileName(pszFileName) {}

    // Null when the library cannot be loaded or lacks the function.
    void* Find(const char* pszFunction) {
        HMODULE hModule = m_hModule.load(std::memory_order_acquire);
        if (hModule == nullptr) {
            unique_hmodule hLoaded = LoadSystemLibrary(m_pszFileName);
            if (!hLoaded) return nullptr;
            // Two first calls at once: one load is kept, the other given back.
            HMODULE hExpected = nullptr;
            if (m_hModule.compare_exchange_strong(hExpected, hLoaded.get(), std::memory_order_acq_rel)) {
                hModule = hLoaded.release();
            } else {
                hModule = hExpected;
            }
        }
        return reinterpret_cast<void*>(GetProcAddress(hModule, pszFunction));
    }

private:
    const char* m_pszFileName;
    std::atomic<HMODULE> m_hModule{nullptr};
};

OnDemandLibrary g_Shell("shell32.dll");
OnDemandLibrary g_CommonDialogs("comdlg32.dll");

template <class Fn>
Fn Find(OnDemandLibrary& library, const char* pszFunction) {
    void* pFunction = library.Find(pszFunction);
    if (pFunction == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
    return reinterpret_cast<Fn>(pFunction);
}

}  // namespace

HINSTANCE WINAPI ShellExecuteOnDemand(HWND hWnd, LPCSTR pszVerb, LPCSTR pszFile, LPCSTR pszParameters,
                                      LPCSTR pszDirectory, INT nShowCmd) {
    auto pfn = Find<decltype(&ShellExecuteA)>(g_Shell, "ShellExecuteA");
    if (pfn == nullptr) return reinterpret_cast<HINSTANCE>(SE_ERR_DLLNOTFOUND);
    return pfn(hWnd, pszVerb, pszFile, pszParameters, pszDirectory, nShowCmd);
}

BOOL WINAPI GetSaveFileNameOnDemand(LPOPENFILENAMEA pOpenFileName) {
    auto pfn = Find<decltype(&GetSaveFileNameA)>(g_CommonDialogs, "GetSaveFileNameA");
    return pfn != nullptr && pfn(pOpenFileName);
}

BOOL WINAPI GetOpenFileNameOnDemand(LPOPENFILENAMEA pOpenFileName) {
    auto pfn = Find<decltype(&GetOpenFileNameA)>(g_CommonDialogs, "GetOpenFileNameA");
    return pfn != nullptr && pfn(pOpenFileName);
}

HRESULT ShellGetMallocOnDemand(IMalloc** ppMalloc) {
    auto pfn = Find<decltype(&SHGetMalloc)>(g_Shell, "SHGetMalloc");
    return pfn != nullptr ? pfn(ppMalloc) : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}

HRESULT ShellGetDesktopFolderOnDemand(IShellFolder** ppFolder) {
    auto pfn = Find<decltype(&SHGetDesktopFolder)>(g_Shell, "SHGetDesktopFolder");
    return pfn != nullptr ? pfn(ppFolder) : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}

BOOL ShellGetPathFromIDListOnDemand(PCIDLIST_ABSOLUTE pidl, LPSTR pszPath) {
    auto pfn = Find<decltype(&SHGetPathFromIDListA)>(g_Shell, "SHGetPathFromIDListA");
    return pfn != nullptr && pfn(pidl, pszPath);
}

}  // namespace platform
