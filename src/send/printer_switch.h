// Making a send printer the user's default printer for the length of one
// Print command, in a way that several hosts printing at once cannot break.
//
// The default printer is WIN.INI's "windows"/"device", shared by every
// program of the user. Each host that switches it saves what it finds and
// writes that back afterwards; two hosts whose switches overlap would then
// save each other's send printer, and the last one to finish would leave a
// send printer as the user's default for good. So the switches of all
// processes share one record, kept in the user's suite key and changed only
// under a named mutex:
//   - the user's own default, taken from WIN.INI by the first switch of a
//     burst (no switch open) and kept until the last one ends;
//   - every open switch: its process (id and creation time) and its device;
//   - the device the module last wrote, to recognise a switch left behind.
// A switch that ends puts back the device of the newest switch still open,
// or, when it was the last one, the user's own default.
//
// A host that dies in the middle cannot spoil the record: the record is one
// registry value written whole, so a process that dies while it writes leaves
// the old record or the new one; the mutex is then abandoned, which the next
// waiter takes as owned. Its open switch stays listed, but each use of the
// record first drops the switches of processes that no longer run (a pid
// reused by a new process has another creation time), and when no switch is
// left and WIN.INI still holds what the module wrote, the user's own default
// is written back. The record lives in the registry, not in memory that dies
// with the last process, so that repair also happens when every host that
// printed has gone.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "hook/base/hook_names.h"
#include "platform/fault_guard.h"

namespace send {

// Value of the user's suite key holding the record.
constexpr char kPrinterSwitchValueName[] = "PrinterSwitches";
// The record is changed in microseconds; a lock still held after this long
// belongs to a process that is stuck, and the switch then goes on alone.
constexpr DWORD kPrinterSwitchLockTimeoutMs = 5000;

// Who holds a switch: a process, told apart from a later process with the
// same id by its creation time, and a number unique within the process.
struct SwitchHolder {
    DWORD dwProcessId;
    ULONGLONG ullCreationTime;
    DWORD dwToken;
};

// A new holder of this process.
SwitchHolder MakeSwitchHolder();
// True while the holder's process runs.
bool IsHolderAlive(const SwitchHolder& holder);

// For the controller, which outlives every host: drops the switches of
// processes that have ended and, when none is left open, puts the user's own
// default back while WIN.INI still shows what the module wrote. With
// bSessionEnding every open switch is over (the user logs off). True when
// WIN.INI was written.
bool RepairAbandonedSwitches(bool bSessionEnding);

// WIN.INI's default printer ("windows"/"device").
std::string ReadDefaultPrinterDevice();
void WriteDefaultPrinterDevice(const std::string& device);

// One switch of the default printer to a device and back. Made on the heap
// only: while it is open, a fault that ends the guarded call around it
// restores the printer and frees it in the guard's landing.
class DefaultPrinterSwitch {
public:
    // hHost: the window told of the switch, and of the default's return.
    static std::unique_ptr<DefaultPrinterSwitch> Open(SwitchHolder holder, HWND hHost = nullptr);
    // Restores if Restore was not called (a C++ exception on the way).
    ~DefaultPrinterSwitch();
    DefaultPrinterSwitch(const DefaultPrinterSwitch&) = delete;
    DefaultPrinterSwitch& operator=(const DefaultPrinterSwitch&) = delete;

    // Makes device the default. True when WIN.INI was written, so the host
    // must be told; an equal default is left alone.
    bool Switch(const std::string& device);
    // Puts back the newest other open switch's device, or the user's own
    // default. True when the host must be told: the default is no longer the
    // device it printed to.
    bool Restore();

private:
    DefaultPrinterSwitch(SwitchHolder holder, HWND hHost);
    static void RestoreAfterFault(void* pSwitch);
    // Restore with the record; *pTold: the other hosts to tell.
    bool RestoreListed(std::vector<DWORD>* pTold);

    SwitchHolder m_holder;
    HWND m_hHost;
    platform::FaultUndo m_undo;
    bool m_bOpen = false;       // listed in the record (or switched alone)
    bool m_bAlone = false;      // the record's lock could not be had
    bool m_bChanged = false;    // Switch wrote WIN.INI
    std::string m_savedDefault; // the user's default as known at the switch
    std::string m_device;       // what the host was left believing
};

}  // namespace send
