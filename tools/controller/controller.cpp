// The suite's controlling program for the send command: installs the shell
// hook and keeps it while it runs, removes it on the way out, reports the
// state of both bitnesses, and opens the module's configuration.
//
//   pfcctl --hook      install the hook (on a 64-bit system the 32-bit program
//                      also starts its 64-bit twin); stay until --unhook
//   pfcctl --unhook    ask every running controller to remove its hook and end
//   pfcctl --status    for each bitness: hook in or not, profile, hosts
//   pfcctl --config    open the configuration dialog
//   pfcctl --release NAME|all
//                      lift the quarantine of a program that kept crashing
//   pfcctl --install-profile, --remove-default-profile
//                      the installer's steps for the user's profile
#include <cstdio>
#include <cstring>

#include "exit_codes.h"
#include "hook_session.h"
#include "requests.h"
#include "send_module.h"

namespace {

using namespace controller;

int RunConfiguration() {
    SendModule module(SendModule::Mode::kRun);
    if (!module.Loaded() || !module.OpenConfiguration()) {
        std::fprintf(stderr, "pfcctl: cannot load %s\n", module.Path().c_str());
        return kExitModuleMissing;
    }
    return kExitOk;
}

bool Is(const char* pszArg, const char* pszSwitch) { return std::strcmp(pszArg, pszSwitch) == 0; }

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2) {
        if (Is(argv[1], "--hook")) return RunHooked(nullptr);
        if (Is(argv[1], "--unhook")) return RequestUnhook();
        if (Is(argv[1], "--status")) return ReportStatus();
        if (Is(argv[1], "--config")) return RunConfiguration();
        if (Is(argv[1], "--install-profile")) return InstallDefaultProfile();
        if (Is(argv[1], "--remove-default-profile")) return RemoveDefaultProfile();
    }
    if (argc == 3 && Is(argv[1], "--release")) return ReleaseQuarantine(argv[2]);
    // Started by the 32-bit controller, never by a person.
    TwinLink link;
    if (argc == 5 && Is(argv[1], "--hook") && Is(argv[2], "--twin") && ParseTwinLink(argv[3], argv[4], &link)) {
        return RunHooked(&link);
    }
    std::fprintf(stderr, "usage: pfcctl --hook | --unhook | --status | --config | --release NAME|all\n");
    return kExitUsage;
}
