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
};

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
