#include "printer_watch.h"

#include "send/printer_switch.h"

namespace controller {
namespace {

constexpr UINT_PTR kPrinterWatchTimerId = 1;

}  // namespace

bool StartPrinterWatch(HWND hWnd) { return SetTimer(hWnd, kPrinterWatchTimerId, kPrinterWatchPeriodMs, nullptr) != 0; }

bool OnPrinterWatchMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM) {
    switch (uMsg) {
        case WM_TIMER:
            if (wParam != kPrinterWatchTimerId) return false;
            send::RepairAbandonedSwitches(false);
            return true;
        case WM_ENDSESSION:
            // The session ends whatever the hosts are doing: the switch is
            // undone before it goes, and the user logs on to their own default.
            if (wParam != FALSE) {
                KillTimer(hWnd, kPrinterWatchTimerId);
                send::RepairAbandonedSwitches(true);
            }
            return false;
        default:
            return false;
    }
}

}  // namespace controller
