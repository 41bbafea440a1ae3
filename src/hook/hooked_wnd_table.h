// The table of hooked windows of this process and the acts of subclassing a
// window and giving it back.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "hook/hooked_wnd.h"

// The table owns its records; g_HookedWndLock guards it. It is a slim
// reader/writer lock, not re-entrant: every message of every hooked window
// looks the table up (shared), so a lock that costs a kernel call per message
// would dominate the path; only insertion and removal take it exclusively.
extern std::vector<HookedWndInfo*>& g_HookedWndList;
extern SRWLOCK g_HookedWndLock;

void TryToHookThisWnd(HWND hWnd, int nModule);
// Position out: the record's index in the table at the time of the lookup.
HookedWndInfo* FindHookedWnd(HWND hWnd, size_t* pPosition);
// What a message the module does not handle needs: the procedure to pass it
// on to and how. False when the window has no record.
bool FindPassOnTarget(HWND hWnd, WNDPROC* ppfnOldWndProc, bool* pbUnicode);
// The same, with a reference taken for the caller.
HookedWndRef FindHookedWndRef(HWND hWnd, size_t* pPosition);
void RestoreWndProc(HookedWndInfo* pInfo, BOOL bRemoveItem);
void UnhookThisWnd(HookedWndInfo* pInfo, BOOL bRemoveItem, size_t nPosition);
void UnhookAllWindows();
void ReleaseIfExcluded(HookedWndInfo* pInfo);
size_t CountHookedWindows();
// At the module's exit, once every window is given back: the table's memory
// and the Print-learning lock.
void ReleaseHookedWndTable();

// Windows whose procedure could not be given back because somebody else
// subclassed them after us still call HookProc: their messages are passed on
// to the procedure we replaced until the window goes.
bool FindForwardOnlyWnd(HWND hWnd, WNDPROC* ppfnOldWndProc, bool* pbUnicode);
void ForgetForwardOnlyWnd(HWND hWnd);
size_t CountForwardOnlyWindows();
