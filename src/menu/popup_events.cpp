#include "menu/popup_events.h"

#include <atomic>

#include "config/profile.h"
#include "hook/base/hooked_wnd.h"
#include "hook/base/shared_state.h"
#include "menu/menu_search.h"
#include "platform/seams.h"
#include "platform/unique_handle.h"

namespace {

// A host that faulted while we held the lock would otherwise leave every
// later learning of every window of the process waiting for ever.
constexpr DWORD kPrintCmdLockTimeoutMs = 2000;

bool IsSendPopup(const HookedWndInfo* pInfo, HMENU hOpening, UINT uPosition) {
    if (pInfo->hPopupMenu == nullptr) return false;
    if (hOpening == pInfo->hPopupMenu) return true;
    return uPosition != 0 && GetSubMenu(pInfo->hPopupMenu.get(), static_cast<int>(uPosition)) == hOpening;
}

// Made at the first Print learning, not at load: the hook loads the module
// into every windowed process, and most never learn a Print command. Closed
// by the module's exit, never at process end.
std::atomic<HANDLE> g_hPrintCmdLock{nullptr};

}  // namespace

HANDLE PrintCmdLock() {
    HANDLE hLock = g_hPrintCmdLock.load(std::memory_order_acquire);
    if (hLock != nullptr) return hLock;
    platform::unique_handle hMade(CreateSemaphoreA(nullptr, 1, 1, nullptr));
    if (!hMade) return nullptr;
    // Two first learnings at once: one semaphore is kept, the other closed.
    if (g_hPrintCmdLock.compare_exchange_strong(hLock, hMade.get(), std::memory_order_acq_rel))
        return hMade.release();
    return hLock;
}

void ReleasePrintCmdLock() { platform::unique_handle(g_hPrintCmdLock.exchange(nullptr, std::memory_order_acq_rel)); }

bool OnSendPopupOpening(const HookMessage& message, LRESULT* plResult) {
    HookedWndInfo* pInfo = message.pInfo;
    HMENU hOpening = reinterpret_cast<HMENU>(message.wParam);
    if (hOpening == nullptr || !IsSendPopup(pInfo, hOpening, LOWORD(message.lParam))) return false;

    SendMessageA(message.hWnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetMenu(message.hWnd)), 0);
    platform::InjectFault(platform::FaultPoint::kPopupOpening);
    if (pInfo->uPrintCmd == 0) pInfo->uPrintCmd = FindPrintCmd(GetModuleEntry(pInfo->nModule), pInfo->hMenu);
    *plResult = 1;
    return true;
}

bool OnMenuSelectLearnPrint(const HookMessage& message, LRESULT*) {
    HookedWndInfo* pInfo = message.pInfo;
    HMENU hMenu = reinterpret_cast<HMENU>(message.lParam);
    if (!(pInfo->dwFlags & kHookFlagBrowser) || hMenu == nullptr || HIWORD(message.wParam) == 0xFFFF ||
        LOWORD(message.wParam) != 0)
        return false;

    const char* pszHostSection = GetModuleEntry(pInfo->nModule);
    if (ReadHostPrintCmd(pszHostSection, 0) != 0) return false;
    platform::SemaphoreLock lock(PrintCmdLock(), kPrintCmdLockTimeoutMs);
    if (!lock.held()) return false;
    platform::InjectFault(platform::FaultPoint::kPrintLearning);
    const UINT uPrintCmd = FindPrintCmd(pszHostSection, hMenu);
    if (uPrintCmd != 0) {
        pInfo->uPrintCmd = uPrintCmd;
        WriteHostPrintCmd(pszHostSection, uPrintCmd);
    }
    return false;
}
