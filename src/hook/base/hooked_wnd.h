// The host index and the record of one hooked window, with the references
// that keep a record alive while a message or a thread uses it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <utility>
#include <vector>

#include "hook/base/send_command_table.h"
#include "platform/fault_guard.h"
#include "platform/unique_handle.h"

// Host index (position of the host's module name in the module list).
constexpr int kHostNotHooked = -1;
constexpr int kHostBrowser = 0;      // button host with a rebar
constexpr int kHostDocObject = 1;    // menu host with a "Shell DocObject View"
constexpr int kHostGeneric = 2;      // included, unlisted or without its dock

// Host indices 0 and 3 to 7 get a tool-bar button instead of a menu item.
inline bool IsButtonMenuModule(int nModule) { return nModule == 0 || (nModule >= 3 && nModule <= 7); }

// Bits of HookedWndInfo::dwFlags.
constexpr DWORD kHookFlagClosing = 0x1;        // WM_CLOSE or WM_QUIT seen
constexpr DWORD kHookFlagItemConfirmed = 0x2;  // the send item is in place
constexpr DWORD kHookFlagBrowser = 0x4;        // browser-type window
constexpr DWORD kHookFlagUnicode = 0x8;        // messages travel as Unicode

struct ItemPlacer;

struct HookedWndInfo {
    HWND hWnd;
    WNDPROC pfnOldWndProc;  // 0 once restored, or when subclassing failed
    WNDPROC pfnHookProc;    // the procedure put in its place
    int nModule;
    const ItemPlacer* pPlacer;  // popup or button, chosen with nModule
    DWORD dwFlags;
    UINT_PTR uTimerID;
    UINT aCmdID[kSendCommandCount];
    UINT uPrintCmd;
    platform::unique_hbitmap hBitmap;
    platform::unique_hmenu hPopupMenu;  // in the host's menu bar while placed
    HWND hButtonWnd;
    HMENU hMenu;
    int nMenuItems;
    platform::unique_handle hLock;  // semaphore 1/1, taken by the menu worker thread

    // Lifetime. The table holds one reference; a menu worker thread and a
    // message being handled hold one each. The record is freed when the last
    // goes. bUnhooked is set, under g_HookedWndLock, when the record leaves
    // the table: its window is no longer ours to touch.
    volatile LONG nRefCount;
    volatile LONG bUnhooked;

    // Message 0x0402: one menu worker per window at a time; a request that
    // comes while it runs makes it watch once more instead of a second one.
    volatile LONG bMenuWorkerRunning;
    volatile LONG bMenuWorkerAgain;
};

// A new record with its lock and its host's placer, counted once for the
// table.
HookedWndInfo* NewHookedWndInfo(int nModule, const ItemPlacer& placer);
// Zeroes the send-item part (aCmdID through nMenuItems).
void InitHookedWndInfo(HookedWndInfo* pInfo);

// A reference held for a scope: a message being handled, a worker thread,
// the table's own. A fault that ends the guarded call holding it gives the
// reference back in the guard's landing. The count is changed nowhere else.
class HookedWndRef {
public:
    HookedWndRef() noexcept = default;
    // A further reference to a record the caller reaches under a lock or
    // through a reference of its own.
    static HookedWndRef Share(HookedWndInfo* pInfo) noexcept {
        AddRef(pInfo);
        return HookedWndRef(pInfo);
    }
    // Takes over a reference already counted for the caller: the table's,
    // or one handed to a thread with release().
    explicit HookedWndRef(HookedWndInfo* pInfo) noexcept
        : m_pInfo(pInfo), m_undo(pInfo != nullptr ? platform::FaultUndo(&Release, pInfo) : platform::FaultUndo()) {}
    ~HookedWndRef() {
        m_undo.Settle();
        if (m_pInfo != nullptr) ReleaseHookedWnd(m_pInfo);
    }
    HookedWndRef(const HookedWndRef&) = delete;
    HookedWndRef& operator=(const HookedWndRef&) = delete;
    HookedWndRef(HookedWndRef&& other) noexcept : m_pInfo(other.m_pInfo), m_undo(std::move(other.m_undo)) {
        other.m_pInfo = nullptr;
    }
    HookedWndRef& operator=(HookedWndRef&& other) noexcept {
        if (this != &other) {
            m_undo.Settle();
            if (m_pInfo != nullptr) ReleaseHookedWnd(m_pInfo);
            m_pInfo = other.m_pInfo;
            m_undo = std::move(other.m_undo);
            other.m_pInfo = nullptr;
        }
        return *this;
    }
    // Hands the reference on (to a thread that adopts it); still counted.
    HookedWndInfo* release() noexcept {
        m_undo.Settle();
        HookedWndInfo* pInfo = m_pInfo;
        m_pInfo = nullptr;
        return pInfo;
    }
    HookedWndInfo* get() const noexcept { return m_pInfo; }
    HookedWndInfo* operator->() const noexcept { return m_pInfo; }
    explicit operator bool() const noexcept { return m_pInfo != nullptr; }

private:
    static void AddRef(HookedWndInfo* pInfo) noexcept;
    static void ReleaseHookedWnd(HookedWndInfo* pInfo) noexcept;
    static void Release(void* pInfo) { ReleaseHookedWnd(static_cast<HookedWndInfo*>(pInfo)); }
    HookedWndInfo* m_pInfo = nullptr;
    platform::FaultUndo m_undo;
};

// Records made and not yet freed in this process: those in the table plus
// those still held by a worker or a message being handled.
LONG CountLiveHookedRecords();
