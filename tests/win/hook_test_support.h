// Shared pieces of the hooked-window tests: the seams of the hook core
// replaced by recorders, and host procedures that record what they receive.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "hook/base/hook_messages.h"
#include "hook/hook_proc.h"
#include "hook/hooked_wnd_table.h"
#include "hook/base/item_placer.h"
#include "hook/menu_wait_thread.h"
#include "hook/base/target_selection.h"
#include "menu/popup_events.h"
#include "menu/send_item.h"
#include "hook/base/shared_state.h"
#include "hook/shell_proc.h"
#include "hook/subclassing.h"
#include "platform/seams.h"

namespace test_support {

struct ReceivedMessage {
    HWND hWnd;
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
};

// What the hosts' own procedures saw, in order.
inline std::vector<ReceivedMessage>& HostLog() {
    static std::vector<ReceivedMessage> log;
    return log;
}
inline std::wstring& LastWideText() {
    static std::wstring text;
    return text;
}

constexpr UINT kProbeMessage = WM_APP + 7;

inline LRESULT CALLBACK RecordingHostProcA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == kProbeMessage || uMsg == WM_NCDESTROY || uMsg == WM_CLOSE) HostLog().push_back({hWnd, uMsg, wParam, lParam});
    if (uMsg == kProbeMessage) return static_cast<LRESULT>(wParam + 1);
    if (uMsg == WM_CLOSE) return 0;  // the tests destroy their windows themselves
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

inline LRESULT CALLBACK RecordingHostProcW(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_SETTEXT && lParam != 0) LastWideText() = reinterpret_cast<const wchar_t*>(lParam);
    if (uMsg == kProbeMessage || uMsg == WM_NCDESTROY || uMsg == WM_CHAR) HostLog().push_back({hWnd, uMsg, wParam, lParam});
    if (uMsg == kProbeMessage) return static_cast<LRESULT>(wParam + 1);
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

template <class T>
struct NonDeduced {
    using type = T;
};

// One seam or setting replaced for a scope, and put back as it was when the
// scope ends, also when an assertion ends the test early.
template <class T>
class ScopedValue {
public:
    ScopedValue(T& target, typename NonDeduced<T>::type replacement) : m_target(target), m_saved(target) {
        target = replacement;
    }
    ~ScopedValue() { m_target = m_saved; }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    T& m_target;
    const T m_saved;
};

// Replaces the hook core's seams for one test: windows hooked while it lives
// get a placer that records its calls (and answers as told) and refreshes as
// their host's own would; the worker's pauses are counted instead of slept
// unless a test gives its own.
class HookSeamRecorder {
public:
    HookSeamRecorder() : m_placer(kRecordingPlacer) {
        s_pCurrent = this;
        m_seams->pfnWorkerPause = RecordSleep;
        // The in-process tests run without the module's start-up, which
        // creates the worker's lock.
        if (!g_bMenuThreadLockCreated) {
            InitializeCriticalSection(&g_csMenuThread);
            g_bMenuThreadLockCreated = true;
        }
    }
    ~HookSeamRecorder() { s_pCurrent = nullptr; }
    HookSeamRecorder(const HookSeamRecorder&) = delete;
    HookSeamRecorder& operator=(const HookSeamRecorder&) = delete;

    std::vector<HookedWndInfo*> adds;
    std::vector<std::pair<HookedWndInfo*, BOOL>> removes;
    volatile LONG nSleeps = 0;
    BOOL bAddResult = FALSE;
    void (*pfnOnSleep)(DWORD) = nullptr;

private:
    static BOOL RecordAdd(HookedWndInfo* pInfo) {
        s_pCurrent->adds.push_back(pInfo);
        return s_pCurrent->bAddResult;
    }
    static void RecordRemove(HookedWndInfo* pInfo, BOOL bRedraw) { s_pCurrent->removes.push_back({pInfo, bRedraw}); }
    static void RefreshAsTheHost(HookedWndInfo* pInfo) { HostItemPlacer(pInfo->nModule).pfnRefresh(pInfo); }
    static void RecordSleep(DWORD dwMs) {
        InterlockedIncrement(&s_pCurrent->nSleeps);
        if (s_pCurrent->pfnOnSleep != nullptr) s_pCurrent->pfnOnSleep(dwMs);
    }

    static inline HookSeamRecorder* s_pCurrent = nullptr;
    static constexpr ItemPlacer kRecordingPlacer = {RecordAdd, RecordRemove, RefreshAsTheHost};
    platform::ScopedSeams m_seams;
    ScopedItemPlacer m_placer;
};

}  // namespace test_support
