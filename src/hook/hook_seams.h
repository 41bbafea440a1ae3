// Replaceable calls of the hook core, for the in-process tests; the defaults
// are the real ones.
#pragma once

#include <windows.h>

struct HookedWndInfo;

namespace hook_seams {
extern BOOL (*pfnAddHookedMenuItem)(HookedWndInfo* pInfo);
extern void (*pfnRemoveHookedItem)(HookedWndInfo* pInfo, BOOL bRedraw);
extern void (*pfnSleep)(DWORD dwMilliseconds);
// The module exit's wait for busy menu threads.
extern void (*pfnExitWait)(DWORD dwMilliseconds);
extern void (*pfnRefreshHookedItem)(HookedWndInfo* pInfo);
}  // namespace hook_seams
