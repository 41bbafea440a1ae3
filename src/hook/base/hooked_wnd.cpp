// The record of one hooked window and its reference count.
#include "hook/base/hooked_wnd.h"

#include <cstring>

namespace {
volatile LONG g_nLiveRecords = 0;
}  // namespace

HookedWndInfo* NewHookedWndInfo(int nModule, const ItemPlacer& placer) {
    auto* pInfo = new HookedWndInfo{};
    pInfo->nModule = nModule;
    pInfo->pPlacer = &placer;
    InterlockedIncrement(&g_nLiveRecords);
    pInfo->hLock.reset(CreateSemaphoreA(nullptr, 1, 1, nullptr));
    InitHookedWndInfo(pInfo);
    pInfo->dwFlags = 0;
    pInfo->uTimerID = 0;
    pInfo->nRefCount = 1;  // the table's
    pInfo->bUnhooked = FALSE;
    return pInfo;
}

void InitHookedWndInfo(HookedWndInfo* pInfo) {
    std::memset(pInfo->aCmdID, 0, sizeof pInfo->aCmdID);
    pInfo->uPrintCmd = 0;
    pInfo->hBitmap.reset();
    pInfo->hPopupMenu.reset();
    pInfo->hButtonWnd = nullptr;
    pInfo->hMenu = nullptr;
    pInfo->nMenuItems = 0;
}

void HookedWndRef::AddRef(HookedWndInfo* pInfo) noexcept { InterlockedIncrement(&pInfo->nRefCount); }

void HookedWndRef::ReleaseHookedWnd(HookedWndInfo* pInfo) noexcept {
    if (InterlockedDecrement(&pInfo->nRefCount) != 0) return;
    delete pInfo;
    InterlockedDecrement(&g_nLiveRecords);
}

LONG CountLiveHookedRecords() { return g_nLiveRecords; }
