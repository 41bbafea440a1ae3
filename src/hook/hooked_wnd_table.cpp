// The table of hooked windows of this process, and of the windows it still
// passes messages on for.
#include "hook/hooked_wnd_table.h"

#include <vector>

#include "menu/popup_events.h"
#include "platform/no_destructor.h"

SRWLOCK g_HookedWndLock = SRWLOCK_INIT;

namespace {

platform::NoDestructor<std::vector<HookedWndInfo*>> g_HookedWndStore;

// Touched only on the rare ways of unhooking under a later subclass and on a
// message that finds no record; kept under g_HookedWndLock.
platform::NoDestructor<std::vector<ForwardOnlyWnd>> g_ForwardOnlyStore;
std::vector<ForwardOnlyWnd>& g_ForwardOnlyList = *g_ForwardOnlyStore;

}  // namespace

std::vector<HookedWndInfo*>& g_HookedWndList = *g_HookedWndStore;

bool DetachFromTable(HookedWndInfo* pInfo, size_t nPosition) {
    TableWriteLock lock;
    auto& list = g_HookedWndList;
    if (nPosition >= list.size() || list[nPosition] != pInfo) {
        nPosition = 0;
        while (nPosition < list.size() && list[nPosition] != pInfo) ++nPosition;
        if (nPosition == list.size()) return false;
    }
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(nPosition));
    InterlockedExchange(&pInfo->bUnhooked, TRUE);
    if (pInfo->pfnOldWndProc != nullptr && IsWindow(pInfo->hWnd)) {
        g_ForwardOnlyList.push_back({pInfo->hWnd, pInfo->pfnOldWndProc, (pInfo->dwFlags & kHookFlagUnicode) != 0});
    }
    return true;
}

bool TakeForwardOnlyWnd(HWND hWnd, ForwardOnlyWnd* pEntry) {
    for (size_t i = 0; i < g_ForwardOnlyList.size(); ++i) {
        if (g_ForwardOnlyList[i].hWnd == hWnd) {
            *pEntry = g_ForwardOnlyList[i];
            g_ForwardOnlyList.erase(g_ForwardOnlyList.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

void ReleaseHookedWndTable() {
    std::vector<HookedWndInfo*>().swap(g_HookedWndList);
    std::vector<ForwardOnlyWnd>().swap(g_ForwardOnlyList);
    ReleasePrintCmdLock();
}

HookedWndInfo* FindHookedWnd(HWND hWnd, size_t* pPosition) {
    TableReadLock lock;
    const auto& list = g_HookedWndList;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] != nullptr && list[i]->hWnd == hWnd) {
            if (pPosition != nullptr) *pPosition = i;
            return list[i];
        }
    }
    return nullptr;
}

bool FindPassOnTarget(HWND hWnd, WNDPROC* ppfnOldWndProc, bool* pbUnicode) {
    TableReadLock lock;
    for (const HookedWndInfo* pInfo : g_HookedWndList) {
        if (pInfo != nullptr && pInfo->hWnd == hWnd) {
            *ppfnOldWndProc = pInfo->pfnOldWndProc;
            *pbUnicode = (pInfo->dwFlags & kHookFlagUnicode) != 0;
            return true;
        }
    }
    return false;
}

HookedWndRef FindHookedWndRef(HWND hWnd, size_t* pPosition) {
    TableReadLock lock;
    const auto& list = g_HookedWndList;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] != nullptr && list[i]->hWnd == hWnd) {
            if (pPosition != nullptr) *pPosition = i;
            return HookedWndRef::Share(list[i]);
        }
    }
    return HookedWndRef();
}

size_t CountHookedWindows() {
    TableReadLock lock;
    return g_HookedWndList.size();
}

bool FindForwardOnlyWnd(HWND hWnd, WNDPROC* ppfnOldWndProc, bool* pbUnicode) {
    TableReadLock lock;
    for (const ForwardOnlyWnd& entry : g_ForwardOnlyList) {
        if (entry.hWnd == hWnd) {
            *ppfnOldWndProc = entry.pfnOldWndProc;
            *pbUnicode = entry.bUnicode;
            return true;
        }
    }
    return false;
}

void ForgetForwardOnlyWnd(HWND hWnd) {
    TableWriteLock lock;
    for (size_t i = 0; i < g_ForwardOnlyList.size(); ++i) {
        if (g_ForwardOnlyList[i].hWnd == hWnd) {
            g_ForwardOnlyList.erase(g_ForwardOnlyList.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

size_t CountForwardOnlyWindows() {
    TableReadLock lock;
    return g_ForwardOnlyList.size();
}

