// Printing the host's document to one of the suite's send printers: the
// chosen printer becomes the default for one Print command of the host, or,
// for Office-type button hosts, the suite's companion program prints.
#pragma once

#include <windows.h>

#include <string>

#include "resource_ids.h"

struct HookedWndInfo;

namespace send {

constexpr char kCompanionParameterFormat[] = "%u %u";

struct PrinterDevice {
    std::string name;
    std::string driver;
    std::string port;
};

// The printer of a kind (1 to 5) as WIN.INI [devices] knows it. The name is
// set as soon as the suite key gives it, also when [devices] has no entry.
bool GetSendPrinterDevice(UINT uPrinterKind, PrinterDevice* pDevice);

// "name,driver,port", as WIN.INI's default printer is written.
std::string FormatDefaultDevice(const PrinterDevice& device);

// Records the output option, then prints through the printer of the kind.
// Every outcome is told to the user by a message box.
void PrintToSendPrinter(HookedWndInfo& info, UINT uOutputOption, UINT uPrinterKind);

}  // namespace send
