// Subclassing a host window and giving it back. A hooked window gets its
// record in the table, the procedure it is given (the dispatcher's), and the
// placer of its send item, all chosen once here.
#pragma once

#include <windows.h>

#include <cstddef>

#include "hook/base/hooked_wnd.h"

struct ItemPlacer;

// The window's thread only: a visible window of this process, not yet in the
// table, with a menu bar unless it is a button host.
void HookThisWnd(HWND hWnd, int nModule, WNDPROC pfnHookProc);
void RestoreWndProc(HookedWndInfo* pInfo, BOOL bRemoveItem);
void UnhookThisWnd(HookedWndInfo* pInfo, BOOL bRemoveItem, size_t nPosition);
void UnhookAllWindows();
void ReleaseIfExcluded(HookedWndInfo* pInfo);

// The send button for button hosts, the send popup for the others.
const ItemPlacer& HostItemPlacer(int nModule);

// Windows hooked while it lives get the given placer: a test's recorder or
// fault, never left behind by an assertion that ends the test early.
class ScopedItemPlacer {
public:
    explicit ScopedItemPlacer(const ItemPlacer& placer) noexcept;
    ~ScopedItemPlacer();
    ScopedItemPlacer(const ScopedItemPlacer&) = delete;
    ScopedItemPlacer& operator=(const ScopedItemPlacer&) = delete;

private:
    const ItemPlacer* m_pSaved;
};
