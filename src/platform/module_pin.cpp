#include "platform/module_pin.h"

#include "platform/unique_handle.h"

namespace platform {
namespace {

// g_nPins and g_hReference change together under the lock; the reference is
// taken when the first pin comes and handed to a give-back thread when the
// last one goes. Both happen only when a window is hooked or let go, never on
// a message.
SRWLOCK g_pinLock = SRWLOCK_INIT;
LONG g_nPins = 0;
HMODULE g_hReference = nullptr;
volatile LONG g_nCallsUnderWay = 0;

// A call that has left its scope still has a few instructions of ours to
// run before it is back in its caller.
constexpr DWORD kSettleMs = 50;

HMODULE ReferenceThisModule() {
    HMODULE hModule = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(reinterpret_cast<void*>(&ReferenceThisModule)), &hModule))
        return nullptr;
    return hModule;
}

DWORD WINAPI GiveBackWhenNoCallIsUnderWay(LPVOID pModule) {
    do {
        while (g_nCallsUnderWay > 0) Sleep(kSettleMs);
        Sleep(kSettleMs);
    } while (g_nCallsUnderWay > 0);
    FreeLibraryAndExitThread(static_cast<HMODULE>(pModule), 0);
}

void AddPin() {
    const DWORD dwLastError = GetLastError();
    {
        ExclusiveSrwLock lock(g_pinLock);
        if (g_nPins++ == 0) g_hReference = ReferenceThisModule();
    }
    SetLastError(dwLastError);
}

void DropPin() {
    const DWORD dwLastError = GetLastError();
    HMODULE hGiveBack = nullptr;
    {
        ExclusiveSrwLock lock(g_pinLock);
        if (--g_nPins == 0) {
            hGiveBack = g_hReference;
            g_hReference = nullptr;
        }
    }
    if (hGiveBack != nullptr) {
        // Without a thread the reference stays: staying loaded is safe.
        HANDLE hThread = CreateThread(nullptr, 0, GiveBackWhenNoCallIsUnderWay, hGiveBack, 0, nullptr);
        if (hThread != nullptr) CloseHandle(hThread);
    }
    SetLastError(dwLastError);
}

}  // namespace

ModulePin::ModulePin() noexcept : m_bHeld(true) { AddPin(); }

ModulePin::~ModulePin() {
    if (m_bHeld) DropPin();
}

ModulePin::ModulePin(ModulePin&& other) noexcept : m_bHeld(other.m_bHeld) { other.m_bHeld = false; }

ModulePin& ModulePin::operator=(ModulePin&& other) noexcept {
    if (this != &other) {
        if (m_bHeld) DropPin();
        m_bHeld = other.m_bHeld;
        other.m_bHeld = false;
    }
    return *this;
}

ModuleCallScope::ModuleCallScope() noexcept { InterlockedIncrement(&g_nCallsUnderWay); }

ModuleCallScope::~ModuleCallScope() { InterlockedDecrement(&g_nCallsUnderWay); }

LONG CountModulePins() {
    ExclusiveSrwLock lock(g_pinLock);
    return g_nPins;
}

bool HoldsModuleReference() {
    ExclusiveSrwLock lock(g_pinLock);
    return g_hReference != nullptr;
}

}  // namespace platform
