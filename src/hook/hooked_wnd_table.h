// The table of hooked windows of this process: the records, how they are
// found, and the windows given back under a later subclass whose messages
// are still passed on.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "hook/base/hooked_wnd.h"
#include "platform/unique_handle.h"

// The table owns its records; g_HookedWndLock guards it. It is a slim
// reader/writer lock, not re-entrant: every message of every hooked window
// looks the table up (shared), so a lock that costs a kernel call per message
// would dominate the path; only insertion and removal take it exclusively.
extern std::vector<HookedWndInfo*>& g_HookedWndList;
extern SRWLOCK g_HookedWndLock;

// Either hold is given back by a fault guard's landing as well.
class TableReadLock : public platform::SharedSrwLock {
public:
    TableReadLock() noexcept : platform::SharedSrwLock(g_HookedWndLock) {}
};

class TableWriteLock : public platform::ExclusiveSrwLock {
public:
    TableWriteLock() noexcept : platform::ExclusiveSrwLock(g_HookedWndLock) {}
};

// Position out: the record's index in the table at the time of the lookup.
HookedWndInfo* FindHookedWnd(HWND hWnd, size_t* pPosition);
// What a message the module does not handle needs: the procedure to pass it
// on to and how. False when the window has no record.
bool FindPassOnTarget(HWND hWnd, WNDPROC* ppfnOldWndProc, bool* pbUnicode);
// The same, with a reference taken for the caller.
HookedWndRef FindHookedWndRef(HWND hWnd, size_t* pPosition);
size_t CountHookedWindows();
// Takes the record out of the table (by identity: the position is only a
// hint, another thread may have changed the table since it was found) and
// marks it unhooked; a window still subclassed by us is remembered for
// passing on. False when it was no longer there.
bool DetachFromTable(HookedWndInfo* pInfo, size_t nPosition);
// At the module's exit, once every window is given back: the table's memory
// and the Print-learning lock.
void ReleaseHookedWndTable();

// Windows whose procedure could not be given back because somebody else
// subclassed them after us still call HookProc: their messages are passed on
// to the procedure we replaced until the window goes.
struct ForwardOnlyWnd {
    HWND hWnd;
    WNDPROC pfnOldWndProc;
    bool bUnicode;
};
// Under the table's exclusive lock: the window's entry, taken out of the
// list.
bool TakeForwardOnlyWnd(HWND hWnd, ForwardOnlyWnd* pEntry);
bool FindForwardOnlyWnd(HWND hWnd, WNDPROC* ppfnOldWndProc, bool* pbUnicode);
void ForgetForwardOnlyWnd(HWND hWnd);
size_t CountForwardOnlyWindows();
