// The menu worker. Some browser hosts rebuild their menu after they have
// told us (message 0x0402); the worker watches for a while and puts the send
// item back once the host's new menu has replaced ours.
//
// Lifetime: the worker holds a reference to its record from before the
// thread starts until it ends, so a window destroyed while the worker sleeps
// only unhooks the record (bUnhooked) and the worker finds it still there,
// sees that, and ends with -6. It also holds a reference to this module, so
// that removing the hook cannot unload the code it runs in.
#include "hook/hooked_wnd.h"
#include "hook/shared_state.h"
#include "menu/menu_search.h"
#include "platform/unique_handle.h"

namespace {

// Taken for each attempt in this order: the process's worker lock, then the
// record's own.
class AttemptLocks {
public:
    explicit AttemptLocks(HookedWndInfo* pInfo) : m_csLock(g_csMenuThread), m_recordLock(pInfo->hLock) {}

private:
    platform::CriticalSectionLock m_csLock;
    platform::SemaphoreLock m_recordLock;
};

struct MenuWaitStart {
    HookedWndInfo* pInfo;
    HMODULE hModule;
};

DWORD WINAPI MenuWaitThreadStart(LPVOID pParameter) {
    MenuWaitStart start = *static_cast<MenuWaitStart*>(pParameter);
    delete static_cast<MenuWaitStart*>(pParameter);
    const DWORD dwResult = MenuWaitThread(start.pInfo);
    ReleaseHookedWnd(start.pInfo);
    FreeLibraryAndExitThread(start.hModule, dwResult);
}

}  // namespace

DWORD MenuWaitThread(HookedWndInfo* pInfo) {
    InterlockedIncrement(&g_nBusyThreads);
    DWORD dwResult = 0;
    if (!IsWindow(pInfo->hWnd) || !IsWindowVisible(pInfo->hWnd)) {
        dwResult = kMenuWaitGone;
    } else if (GetMenu(pInfo->hWnd) == nullptr) {
        dwResult = kMenuWaitNoMenu;
    } else {
        for (int nAttempt = 0; nAttempt < kMenuWaitAttempts; ++nAttempt) {
            if (pInfo->dwFlags & kHookFlagClosing) break;
            {
                AttemptLocks locks(pInfo);
                const UINT uPopupId = pInfo->aCmdID[kCmdPrintDefault];
                const bool bPopupPresent = uPopupId != 0 && FindMenuCommand(GetMenu(pInfo->hWnd), uPopupId);
                if (!bPopupPresent) {
                    if (pInfo->bUnhooked || pInfo->pfnOldWndProc == nullptr) {
                        dwResult = kMenuWaitUnhooked;
                        break;
                    }
                    if (hook_seams::pfnAddHookedMenuItem(pInfo)) break;
                }
            }
            hook_seams::pfnSleep(kMenuWaitIntervalMs);
        }
    }
    InterlockedDecrement(&g_nBusyThreads);
    return dwResult;
}

bool StartMenuWaitThread(HookedWndInfo* pInfo, DWORD* pdwThreadId) {
    HMODULE hModule = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(reinterpret_cast<void*>(&MenuWaitThreadStart)), &hModule))
        return false;
    AddRefHookedWnd(pInfo);
    auto* pStart = new MenuWaitStart{pInfo, hModule};
    HANDLE hThread = CreateThread(nullptr, 0, MenuWaitThreadStart, pStart, 0, pdwThreadId);
    if (hThread == nullptr) {
        delete pStart;
        ReleaseHookedWnd(pInfo);
        FreeLibrary(hModule);
        return false;
    }
    CloseHandle(hThread);
    return true;
}
