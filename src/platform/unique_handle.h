// Owners for the handles the module acquires: one template, one alias per
// handle kind. Movable, not copyable; cleanup keeps GetLastError intact so a
// failure's code survives the unwinding that follows it.
#pragma once

#include <windows.h>

#include <utility>

namespace platform {

template <class Handle, class Traits>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle h) noexcept : m_h(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

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
        }
        m_h = h;
    }
    // For out-parameters of creating calls.
    Handle* put() noexcept {
        reset();
        return &m_h;
    }

private:
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
using unique_hmenu = UniqueHandle<HMENU, NullInvalidTraits<HMENU, BOOL, DestroyMenu>>;
using unique_hbitmap = UniqueHandle<HBITMAP, NullInvalidTraits<HGDIOBJ, BOOL, DeleteObject>>;
using unique_hdc = UniqueHandle<HDC, NullInvalidTraits<HDC, BOOL, DeleteDC>>;
using unique_hmodule = UniqueHandle<HMODULE, NullInvalidTraits<HMODULE, BOOL, FreeLibrary>>;
using unique_hhook = UniqueHandle<HHOOK, NullInvalidTraits<HHOOK, BOOL, UnhookWindowsHookEx>>;
using unique_heap = UniqueHandle<HANDLE, NullInvalidTraits<HANDLE, BOOL, HeapDestroy>>;

// A window DC is released, not deleted.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND hWnd) noexcept : m_hWnd(hWnd), m_hDC(GetDC(hWnd)) {}
    ~ScopedWindowDC() {
        if (m_hDC != nullptr) ReleaseDC(m_hWnd, m_hDC);
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    HDC get() const noexcept { return m_hDC; }

private:
    HWND m_hWnd;
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
          m_bHeld(hSemaphore != nullptr && WaitForSingleObject(hSemaphore, dwTimeout) == WAIT_OBJECT_0) {}
    ~SemaphoreLock() {
        if (m_bHeld) ReleaseSemaphore(m_hSemaphore, 1, nullptr);
    }
    SemaphoreLock(const SemaphoreLock&) = delete;
    SemaphoreLock& operator=(const SemaphoreLock&) = delete;
    bool held() const noexcept { return m_bHeld; }

private:
    HANDLE m_hSemaphore;
    bool m_bHeld;
};

// A mutex of several processes: released on scope exit when it was taken.
// An abandoned mutex (its holder died) counts as taken: the waiter owns it.
class MutexLock {
public:
    explicit MutexLock(HANDLE hMutex, DWORD dwTimeout = INFINITE) noexcept : m_hMutex(hMutex), m_bHeld(false) {
        if (hMutex == nullptr) return;
        const DWORD dwWait = WaitForSingleObject(hMutex, dwTimeout);
        m_bHeld = dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
    }
    ~MutexLock() {
        if (m_bHeld) ReleaseMutex(m_hMutex);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    bool held() const noexcept { return m_bHeld; }

private:
    HANDLE m_hMutex;
    bool m_bHeld;
};

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& cs) noexcept : m_cs(cs) { EnterCriticalSection(&m_cs); }
    ~CriticalSectionLock() { LeaveCriticalSection(&m_cs); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& m_cs;
};

class ExclusiveSrwLock {
public:
    explicit ExclusiveSrwLock(SRWLOCK& lock) noexcept : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~ExclusiveSrwLock() { ReleaseSRWLockExclusive(&m_lock); }
    ExclusiveSrwLock(const ExclusiveSrwLock&) = delete;
    ExclusiveSrwLock& operator=(const ExclusiveSrwLock&) = delete;

private:
    SRWLOCK& m_lock;
};

}  // namespace platform
