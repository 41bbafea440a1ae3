#include "host_seh_frame.h"

extern "C" {
extern char HostProbeFaultAt[];
extern char HostProbeRecovered[];
EXCEPTION_DISPOSITION __cdecl HostProbeHandler(EXCEPTION_RECORD* pRecord, void*, CONTEXT* pContext, void*);
}

namespace test_support {
HostFrameLog g_hostFrame;
}  // namespace test_support

// Takes only a fault of its own store, the way a host's pointer probe does,
// and resumes behind it.
EXCEPTION_DISPOSITION __cdecl HostProbeHandler(EXCEPTION_RECORD* pRecord, void*, CONTEXT* pContext, void*) {
    test_support::HostFrameLog& log = test_support::g_hostFrame;
    if ((pRecord->ExceptionFlags & EXCEPTION_UNWIND) != 0) {
        ++log.nUnwound;
        return ExceptionContinueSearch;
    }
    if (!log.bTakesFaults || pRecord->ExceptionAddress != static_cast<void*>(HostProbeFaultAt))
        return ExceptionContinueSearch;
    ++log.nTaken;
#if defined(_WIN64)
    pContext->Rip = reinterpret_cast<DWORD64>(HostProbeRecovered);
#else
    pContext->Eip = reinterpret_cast<DWORD>(HostProbeRecovered);
#endif
    return ExceptionContinueExecution;
}
