// System libraries that are not among the system's known DLLs. The module
// runs inside every windowed process, and a library it imports, or loads by
// name, is looked for in the host's own folder first: a planted copy there
// would run inside the host. Such libraries are loaded by their full path in
// the system folder, at the moment they are needed.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace platform {

// pszFileName: a bare file name such as "mpr.dll". Null owner on failure.
unique_hmodule LoadSystemLibrary(const char* pszFileName);

}  // namespace platform
