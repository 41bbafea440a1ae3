// The shell's and the common dialogs' calls, made only on a user's command
// (a program started, a file chosen, a long path asked of the shell). Their
// libraries are loaded at the first such call, not with the module: the hook
// loads the module into every windowed process, and binding two more
// libraries there was most of what a process that never shows a host paid.
// Each call has the signature of the system's own, so that it can stand in
// the seams table; when its library cannot be loaded it fails as the call
// fails, with ERROR_MOD_NOT_FOUND as the last error.
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

namespace platform {

HINSTANCE WINAPI ShellExecuteOnDemand(HWND hWnd, LPCSTR pszVerb, LPCSTR pszFile, LPCSTR pszParameters,
                                      LPCSTR pszDirectory, INT nShowCmd);
BOOL WINAPI GetSaveFileNameOnDemand(LPOPENFILENAMEA pOpenFileName);
BOOL WINAPI GetOpenFileNameOnDemand(LPOPENFILENAMEA pOpenFileName);
HRESULT ShellGetMallocOnDemand(IMalloc** ppMalloc);
HRESULT ShellGetDesktopFolderOnDemand(IShellFolder** ppFolder);
BOOL ShellGetPathFromIDListOnDemand(PCIDLIST_ABSOLUTE pidl, LPSTR pszPath);

}  // namespace platform
