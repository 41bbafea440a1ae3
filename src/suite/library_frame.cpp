#include "suite/library_frame.h"

#include <cstring>
#include <new>

#include "docengine/document_set.h"
#include "platform/fault_guard.h"
#include "platform/unique_handle.h"
#include "suite/suite_settings.h"
#include "platform/no_destructor.h"

namespace {

// Win32s has no semaphores: the lock then keeps only its held flag.
bool IsWin32s() {
    const DWORD dwVersion = GetVersion();
    return (dwVersion & 0x80000000u) != 0 && LOBYTE(LOWORD(dwVersion)) == 3;
}

struct LibraryGlobals {
    HINSTANCE hInstance = nullptr;
    platform::unique_heap heap;
    platform::unique_handle errorLock;
    platform::unique_handle executableMutex;
    bool bStarted = false;
    UINT uStringOffset = 512;
};

LibraryGlobals& Globals() {
    static platform::NoDestructor<LibraryGlobals> globals;
    return *globals;
}

bool TryAcquireErrorLock() {
    HANDLE hLock = Globals().errorLock.get();
    if (hLock == nullptr) return IsWin32s();
    return WaitForSingleObject(hLock, 0) == WAIT_OBJECT_0;
}

bool ReleaseErrorLock() {
    HANDLE hLock = Globals().errorLock.get();
    if (hLock == nullptr) return true;
    return ReleaseSemaphore(hLock, 1, nullptr) != FALSE;
}

const LibraryErrorLockHooks kErrorLockHooks = {TryAcquireErrorLock, ReleaseErrorLock};

LibraryErrorCode RunUnderFaultGuard(library_error_detail::GuardedCall pfnCall, void* pContext) {
    if (platform::RunFaultGuarded(pfnCall, pContext)) return LIBERR_OK;
    return LIBERR_MACHINE_FAULT;
}

struct LanguageOffset {
    BYTE bPrimaryLanguage;
    UINT uOffset;
};

constexpr LanguageOffset kLanguageOffsets[] = {
    {LANG_FRENCH, 1024},     {LANG_GERMAN, 1536},     {LANG_SPANISH, 2048}, {LANG_DUTCH, 2560},
    {LANG_ITALIAN, 3072},    {LANG_DANISH, 3584},     {LANG_NORWEGIAN, 4096}, {LANG_PORTUGUESE, 4608},
    {LANG_HUNGARIAN, 5120},  {LANG_CZECH, 5632},      {LANG_SLOVAK, 6144},  {LANG_RUSSIAN, 6656},
    {LANG_TURKISH, 7168},    {LANG_POLISH, 7680},
};

}  // namespace

void MakeExecutableMutexName(const char* pszExecutablePath, char* pszName, size_t cchName) {
    if (cchName == 0) return;
    size_t i = 0;
    for (; pszExecutablePath[i] != '\0' && i + 1 < cchName; ++i)
        pszName[i] = pszExecutablePath[i] == '\\' ? 'a' : pszExecutablePath[i];
    pszName[i] = '\0';
}

bool InitializeLibrary() {
    LibraryGlobals& globals = Globals();
    globals.hInstance = GetModuleHandleA(nullptr);
    globals.heap.reset(HeapCreate(HEAP_NO_SERIALIZE, 0, 0));
    EndLibraryError();
    if (!IsWin32s()) globals.errorLock.reset(CreateSemaphoreA(nullptr, 1, 1, nullptr));
    SetLibraryErrorLockHooks(&kErrorLockHooks);
    library_error_detail::SetFaultGuardRunner(RunUnderFaultGuard);

    char szPath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, szPath, MAX_PATH - 1);
    char szMutexName[MAX_PATH] = {};
    MakeExecutableMutexName(szPath, szMutexName, sizeof szMutexName);
    globals.executableMutex.reset(CreateMutexA(nullptr, FALSE, szMutexName));
    return globals.heap && (globals.errorLock || IsWin32s());
}

void TeardownLibrary() {
    LibraryGlobals& globals = Globals();
    ReleaseRegistryLayer();
    library_error_detail::SetFaultGuardRunner(nullptr);
    SetLibraryErrorLockHooks(nullptr);
    globals.errorLock.reset();
    globals.heap.reset();
    globals.executableMutex.reset();
    globals.hInstance = nullptr;
    globals.bStarted = false;
}

void* LibraryAlloc(size_t cb) {
    HANDLE hHeap = Globals().heap.get();
    if (hHeap == nullptr) ThrowLibraryError(LIBERR_OUT_OF_MEMORY, nullptr);
    SetLastError(0);
    return ThrowIfNull(HeapAlloc(hHeap, 0, cb), nullptr);
}

void LibraryFree(void* pBlock) {
    if (pBlock != nullptr && Globals().heap) HeapFree(Globals().heap.get(), 0, pBlock);
}

LibraryErrorCode StartLibrary(const char* pszKeyPath, UINT uKeyStringId) {
    LibraryGlobals& globals = Globals();
    if (globals.bStarted) return LIBERR_OK;
    return RunLibraryFacade([&] {
        globals.hInstance = GetModuleHandleA(nullptr);
        SelectStringLanguage();
        if (pszKeyPath != nullptr) {
            SetCurrentKeyPath(pszKeyPath);
        } else if (uKeyStringId != 0) {
            char szKey[MAX_PATH];
            SetCurrentKeyPath(LoadLibraryString(uKeyStringId, szKey, false));
        } else {
            SetCurrentKeyPath("");
        }
        globals.bStarted = true;
    });
}

LibraryErrorCode StopLibrary() {
    LibraryGlobals& globals = Globals();
    if (!globals.bStarted) return LIBERR_BAD_ARGUMENT;
    // The engine's shared scratch block (the last menu table) goes with the library.
    docengine::ReleaseSharedScratch();
    globals.bStarted = false;
    return LIBERR_OK;
}

bool IsLibraryStarted() { return Globals().bStarted; }

int SelectStringLanguage() {
    Globals().uStringOffset = ChooseStringOffset(static_cast<BYTE>(GetSystemDefaultLangID() & 0xFF));
    return 0;
}

UINT ChooseStringOffset(BYTE bPrimaryLanguage) {
    constexpr UINT kDefaultOffset = 512;
    UINT uOffset = kDefaultOffset;
    for (const LanguageOffset& entry : kLanguageOffsets)
        if (entry.bPrimaryLanguage == bPrimaryLanguage) uOffset = entry.uOffset;
    if (uOffset == kDefaultOffset) return uOffset;
    // A language whose block the executable lacks falls back to the default.
    const HINSTANCE hInstance = Globals().hInstance;
    char szProbe[MAX_PATH] = {};
    if (hInstance != nullptr) LoadStringA(hInstance, uOffset, szProbe, MAX_PATH);
    return szProbe[0] != '\0' ? uOffset : kDefaultOffset;
}

char* LoadLibraryString(UINT uId, char* pszBuffer, bool bMustExist) {
    pszBuffer[0] = '\0';
    LibraryGlobals& globals = Globals();
    if (globals.hInstance != nullptr) LoadStringA(globals.hInstance, globals.uStringOffset + uId, pszBuffer, MAX_PATH);
    if (bMustExist && pszBuffer[0] == '\0') ThrowLibraryError(LIBERR_BAD_ARGUMENT, nullptr);
    return pszBuffer;
}
