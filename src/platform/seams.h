// Outward calls that would block a test or escape it (a message box waiting
// for a person, a program started, the session ended). The module makes them
// through this table; the default entries are the real calls, and a test may
// put recorders in their place for its own duration (ScopedSeams).
#pragma once

#include <windows.h>
#include <commdlg.h>

namespace platform {

struct Seams {
    int(WINAPI* pfnMessageBoxA)(HWND hWnd, LPCSTR pszText, LPCSTR pszCaption, UINT uType);
    HINSTANCE(WINAPI* pfnShellExecuteA)(HWND hWnd, LPCSTR pszVerb, LPCSTR pszFile, LPCSTR pszParameters,
                                        LPCSTR pszDirectory, INT nShowCmd);
    BOOL(WINAPI* pfnExitWindowsEx)(UINT uFlags, DWORD dwReason);
    // The common file dialog: modal, it waits for a person.
    BOOL(WINAPI* pfnGetSaveFileNameA)(LPOPENFILENAMEA pOpenFileName);
    BOOL(WINAPI* pfnGetOpenFileNameA)(LPOPENFILENAMEA pOpenFileName);
    // The module's two waits: a worker thread's pause between attempts, and
    // the module's exit waiting for busy workers. Two entries, so that a test
    // can count one while the other still takes its time.
    void (*pfnWorkerPause)(DWORD dwMilliseconds);
    void (*pfnExitWait)(DWORD dwMilliseconds);
};

// Points in the module's own code where a test can make it fault, to prove
// that a fault there costs the host nothing: the guard's landing gives back
// what was held, and the host still gets its message.
enum class FaultPoint : LONG {
    kNone = 0,
    kHooking,         // a window is being put into the table
    kRefresh,         // the send item is being checked and put right
    kPopupOpening,    // the send popup is opening, the host's menu prepared
    kPrintLearning,   // the host's Print command is being looked up
    kPlacement,       // the send item has just been placed
    kSendCommand,     // a send print runs with the default printer switched
};

// Faults (an access violation) when a test armed this point; once per arming.
void InjectFault(FaultPoint point);
// Returns the point armed before: kNone once an armed point has faulted.
FaultPoint ArmFaultPoint(FaultPoint point);

// The table in use: the real calls unless a test replaced some of them.
Seams& GetSeams();
// The real calls.
const Seams& DefaultSeams();

// Saves the whole table on construction and puts it back on destruction, so a
// test replaces only what it records and cannot leak a replacement.
class ScopedSeams {
public:
    ScopedSeams() noexcept : m_saved(GetSeams()) {}
    ~ScopedSeams() { GetSeams() = m_saved; }
    ScopedSeams(const ScopedSeams&) = delete;
    ScopedSeams& operator=(const ScopedSeams&) = delete;
    Seams* operator->() noexcept { return &GetSeams(); }

private:
    Seams m_saved;
};

}  // namespace platform
