#include "send/print_dispatch.h"

#include <cstdio>

#include "hook/base/hooked_wnd.h"
#include "hook/base/target_selection.h"
#include "platform/fault_guard.h"
#include "platform/seams.h"
#include "send/printer_switch.h"
#include "suite/suite_settings.h"
#include "suite/user_messages.h"

namespace send {
namespace {

constexpr int kProfileChars = 260;
constexpr DWORD kOutputOptionMask = 0xFF;

// Only the host hears of the change: a broadcast would make every program
// of the user reread its printer for a switch that lasts one command.
void TellHostOfNewDefault(HWND hWnd) {
    auto notify = [hWnd] { SendMessageA(hWnd, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>("windows")); };
    platform::RunFaultGuarded(notify);
}

void PrintThroughCompanion(const HookedWndInfo& info, UINT uPrinterKind) {
    char szPath[MAX_PATH] = {};
    if (!CheckLibraryResult(GetOleHelperPath(szPath))) return;
    char szParameters[32] = {};
    std::snprintf(szParameters, sizeof szParameters, kCompanionParameterFormat, static_cast<unsigned>(info.nModule),
                  uPrinterKind);
    RunProgram(info.hWnd, szPath, szParameters);
}

void PrintThroughDefaultPrinter(const HookedWndInfo& info, const PrinterDevice& device) {
    const HWND hWnd = info.hWnd;
    const WPARAM wPrintCmd = info.uPrintCmd;
    // On the heap: a fault in our own code while the switch is open ends the
    // command's guarded call, and that guard's landing puts the printer back.
    auto printerSwitch = DefaultPrinterSwitch::Open(MakeSwitchHolder(), hWnd);
    const bool bChanged = printerSwitch->Switch(FormatDefaultDevice(device));
    platform::InjectFault(platform::FaultPoint::kSendCommand);
    // The host's own code runs here and may fault; a fault ends only this
    // call, and the default printer is put back below, outside the guard.
    auto printInHost = [hWnd, wPrintCmd, bChanged] {
        if (bChanged) SendMessageA(hWnd, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>("windows"));
        SendMessageA(hWnd, WM_COMMAND, wPrintCmd, 0);
    };
    platform::RunFaultGuarded(printInHost);
    if (printerSwitch->Restore()) TellHostOfNewDefault(hWnd);
}

}  // namespace

bool GetSendPrinterDevice(UINT uPrinterKind, PrinterDevice* pDevice) {
    if (GetSendPrinterName(static_cast<int>(uPrinterKind), &pDevice->name) != LIBERR_OK) return false;
    char szEntry[kProfileChars] = {};
    if (GetProfileStringA("devices", pDevice->name.c_str(), "", szEntry, kProfileChars) < 1) return false;
    const std::string entry = szEntry;
    const size_t nComma = entry.find(',');
    // A port alone: no driver, the whole entry is the port.
    pDevice->driver = nComma == std::string::npos ? std::string() : entry.substr(0, nComma);
    pDevice->port = nComma == std::string::npos ? entry : entry.substr(nComma + 1);
    return true;
}

std::string FormatDefaultDevice(const PrinterDevice& device) {
    return device.name + "," + device.driver + "," + device.port;
}

void PrintToSendPrinter(HookedWndInfo& info, UINT uOutputOption, UINT uPrinterKind) {
    if (!CheckLibraryResult(UpdateLastOutputOptions(uOutputOption, kOutputOptionMask))) return;
    PrinterDevice device;
    if (!GetSendPrinterDevice(uPrinterKind, &device) || info.uPrintCmd == 0) {
        char szModule[MAX_PATH] = {};
        GetModuleName(szModule, info.hWnd);
        ShowFormattedMessage(IDS_NO_SEND_PRINTER, szModule, MB_SYSTEMMODAL, device.name.c_str());
        return;
    }
    if ((info.dwFlags & kHookFlagBrowser) == 0 && IsButtonMenuModule(info.nModule)) {
        PrintThroughCompanion(info, uPrinterKind);
        return;
    }
    PrintThroughDefaultPrinter(info, device);
}

}  // namespace send
