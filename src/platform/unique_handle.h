// Owners for the handles the module acquires: one template, one alias per
// handle kind. Movable, not copyable; cleanup keeps GetLastError intact so a
// failure's code survives the unwinding that follows it.
//
// Menus, bitmaps and device contexts are counted while they live: the module
// makes them in every host on every placement and click, and the platform's
// own count of GUI objects is not available everywhere (Wine stubs it). A
// handle given away with release() still counts (it lives on in a host's menu
// or a record) until an owner takes it back with Adopt() and closes it.
#pragma once

#include <windows.h>

#include <atomic>
#include <type_traits>
#include <utility>

#include "platform/fault_guard.h"

namespace platform {

template <class Handle, class Traits>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    // Takes a handle fresh from the call that made it.
    explicit UniqueHandle(Handle h) noexcept : m_h(h) { Counted(+1); }
    // Takes back a handle that an owner gave away with release().
    static UniqueHandle Adopt(Handle h) noexcept {
        UniqueHandle owner;
        owner.m_h = h;
        return owner;
    }
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.release()) {}
    // The handle moves with its count: reset(h) would count it a second time.
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            m_h = other.release();
        }
        return *this;
    }
    // Compared with the handle it holds, so that a record's owner reads like
    // the handle (pInfo->hPopupMenu == hOpening, != nullptr).
    friend bool operator==(const UniqueHandle& owner, Handle h) noexcept { return owner.m_h == h; }
    friend bool operator==(Handle h, const UniqueHandle& owner) noexcept { return owner.m_h == h; }
    friend bool operator!=(const UniqueHandle& owner, Handle h) noexcept { return owner.m_h != h; }
    friend bool operator!=(Handle h, const UniqueHandle& owner) noexcept { return owner.m_h != h; }

    Handle get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return Traits::IsValid(m_h); }
    Handle release() noexcept {
        Handle h = m_h;
        m_h = Traits::Invalid();
        return h;
    }
    void reset(Handle h = Traits::Invalid()) noexcept {
        if (Traits::IsValid(m_h)) {
            const DWORD dwLastError = GetLastError();
            Traits::Close(m_h);
            SetLastError(dwLastError);
            Counted(-1);
        }
        m_h = h;
        Counted(+1);
    }
    // For out-parameters of creating calls.
    Handle* put() noexcept {
        static_assert(!CountsLive<Traits>::value, "a counted handle is taken through the constructor or reset()");
        reset();
        return &m_h;
    }

private:
    template <class T, class = void>
    struct CountsLive : std::false_type {};
    template <class T>
    struct CountsLive<T, std::void_t<decltype(T::nLive)>> : std::true_type {};

    void Counted(long nDelta) noexcept {
        if constexpr (CountsLive<Traits>::value) {
            if (Traits::IsValid(m_h)) Traits::nLive += nDelta;
        }
    }

    Handle m_h = Traits::Invalid();
};

template <class Handle, class CloseResult, CloseResult(WINAPI* pfnClose)(Handle)>
struct NullInvalidTraits {
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { pfnClose(h); }
};

struct FileHandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HANDLE h) noexcept { CloseHandle(h); }
};

using unique_handle = UniqueHandle<HANDLE, NullInvalidTraits<HANDLE, BOOL, CloseHandle>>;
using unique_file = UniqueHandle<HANDLE, FileHandleTraits>;
using unique_hkey = UniqueHandle<HKEY, NullInvalidTraits<HKEY, LONG, RegCloseKey>>;
// Handle is the owner's type; pfnClose may take a wider one (HGDIOBJ).
template <class Handle, class CloseArg, class CloseResult, CloseResult(WINAPI* pfnClose)(CloseArg)>
struct CountedTraits {
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { pfnClose(h); }
    static inline std::atomic<long> nLive{0};
};
using MenuTraits = CountedTraits<HMENU, HMENU, BOOL, DestroyMenu>;
using BitmapTraits = CountedTraits<HBITMAP, HGDIOBJ, BOOL, DeleteObject>;
using MemoryDCTraits = CountedTraits<HDC, HDC, BOOL, DeleteDC>;

using unique_hmenu = UniqueHandle<HMENU, MenuTraits>;
using unique_hbitmap = UniqueHandle<HBITMAP, BitmapTraits>;
using unique_hdc = UniqueHandle<HDC, MemoryDCTraits>;
using unique_hmodule = UniqueHandle<HMODULE, NullInvalidTraits<HMODULE, BOOL, FreeLibrary>>;
using unique_heap = UniqueHandle<HANDLE, NullInvalidTraits<HANDLE, BOOL, HeapDestroy>>;
using unique_hglobal = UniqueHandle<HGLOBAL, NullInvalidTraits<HGLOBAL, HGLOBAL, GlobalFree>>;

// Window DCs taken and not yet given back; with the counts of the owners
// above, what the leak tests read.
inline std::atomic<long> g_nLiveWindowDCs{0};

inline long LiveMenuCount() noexcept { return MenuTraits::nLive; }
inline long LiveBitmapCount() noexcept { return BitmapTraits::nLive; }
inline long LiveDCCount() noexcept { return MemoryDCTraits::nLive + g_nLiveWindowDCs; }

// A window DC is released, not deleted.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND hWnd) noexcept : m_hWnd(hWnd), m_hDC(GetDC(hWnd)) {
        if (m_hDC != nullptr) ++g_nLiveWindowDCs;
    }
    ~ScopedWindowDC() {
        if (m_hDC != nullptr) {
            ReleaseDC(m_hWnd, m_hDC);
            --g_nLiveWindowDCs;
        }
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    HDC get() const noexcept { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// A paint DC is ended, not released.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND hWnd) noexcept : m_hWnd(hWnd), m_hDC(BeginPaint(hWnd, &m_paint)) {
        if (m_hDC != nullptr) ++g_nLiveWindowDCs;
    }
    ~ScopedPaint() {
        if (m_hDC != nullptr) {
            EndPaint(m_hWnd, &m_paint);
            --g_nLiveWindowDCs;
        }
    }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;
    HDC get() const noexcept { return m_hDC; }

private:
    HWND m_hWnd;
    PAINTSTRUCT m_paint{};
    HDC m_hDC;
};

// Puts the previously selected GDI object back.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC hDC, HGDIOBJ hObject) noexcept : m_hDC(hDC), m_hOld(SelectObject(hDC, hObject)) {}
    ~ScopedSelectObject() {
        if (m_hOld != nullptr && m_hOld != HGDI_ERROR) SelectObject(m_hDC, m_hOld);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};

// A semaphore used as a lock: released on scope exit when it was taken.
class SemaphoreLock {
public:
    explicit SemaphoreLock(HANDLE hSemaphore, DWORD dwTimeout = INFINITE) noexcept
        : m_hSemaphore(hSemaphore),
          m_bHeld(hSemaphore != nullptr && WaitForSingleObject(hSemaphore, dwTimeout) == WAIT_OBJECT_0) {
        if (m_bHeld) m_undo = FaultUndo(&Release, m_hSemaphore);
    }
    ~SemaphoreLock() {
        m_undo.Settle();
        if (m_bHeld) Release(m_hSemaphore);
    }
    SemaphoreLock(const SemaphoreLock&) = delete;
    SemaphoreLock& operator=(const SemaphoreLock&) = delete;
    bool held() const noexcept { return m_bHeld; }

private:
    static void Release(void* hSemaphore) { ReleaseSemaphore(static_cast<HANDLE>(hSemaphore), 1, nullptr); }
    HANDLE m_hSemaphore;
    bool m_bHeld;
    FaultUndo m_undo;
};

// A mutex of several processes: released on scope exit when it was taken.
// An abandoned mutex (its holder died) counts as taken: the waiter owns it.
class MutexLock {
public:
    explicit MutexLock(HANDLE hMutex, DWORD dwTimeout = INFINITE) noexcept : m_hMutex(hMutex), m_bHeld(false) {
        if (hMutex == nullptr) return;
        const DWORD dwWait = WaitForSingleObject(hMutex, dwTimeout);
        m_bHeld = dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
        if (m_bHeld) m_undo = FaultUndo(&Release, m_hMutex);
    }
    ~MutexLock() {
        m_undo.Settle();
        if (m_bHeld) Release(m_hMutex);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    bool held() const noexcept { return m_bHeld; }

private:
    static void Release(void* hMutex) { ReleaseMutex(static_cast<HANDLE>(hMutex)); }
    HANDLE m_hMutex;
    bool m_bHeld;
    FaultUndo m_undo;
};

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& cs) noexcept : m_cs(cs) {
        EnterCriticalSection(&m_cs);
        m_undo = FaultUndo(&Leave, &m_cs);
    }
    ~CriticalSectionLock() {
        m_undo.Settle();
        LeaveCriticalSection(&m_cs);
    }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    static void Leave(void* pcs) { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(pcs)); }
    CRITICAL_SECTION& m_cs;
    FaultUndo m_undo;
};

// A hold of a slim reader/writer lock, exclusive or shared.
template <VOID(WINAPI* pfnAcquire)(PSRWLOCK), VOID(WINAPI* pfnRelease)(PSRWLOCK)>
class SrwLockHold {
public:
    explicit SrwLockHold(SRWLOCK& lock) noexcept : m_lock(lock) {
        pfnAcquire(&m_lock);
        m_undo = FaultUndo(&Release, &m_lock);
    }
    ~SrwLockHold() {
        m_undo.Settle();
        pfnRelease(&m_lock);
    }
    SrwLockHold(const SrwLockHold&) = delete;
    SrwLockHold& operator=(const SrwLockHold&) = delete;

private:
    static void Release(void* pLock) { pfnRelease(static_cast<SRWLOCK*>(pLock)); }
    SRWLOCK& m_lock;
    FaultUndo m_undo;
};

using ExclusiveSrwLock = SrwLockHold<AcquireSRWLockExclusive, ReleaseSRWLockExclusive>;
using SharedSrwLock = SrwLockHold<AcquireSRWLockShared, ReleaseSRWLockShared>;

}  // namespace platform
