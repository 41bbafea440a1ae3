#include "platform/seams.h"

#include <commdlg.h>
#include <shellapi.h>

namespace platform {
namespace {

const Seams kDefaultSeams = {MessageBoxA, ShellExecuteA, ExitWindowsEx, GetSaveFileNameA, GetOpenFileNameA};
Seams g_Seams = kDefaultSeams;

}  // namespace

Seams& GetSeams() { return g_Seams; }

const Seams& DefaultSeams() { return kDefaultSeams; }

}  // namespace platform
