// A host's own probe under an exception frame of its own (host_seh_frame.S):
// HostProbeWrite stores nValue through pTarget and answers 1, or 0 when its
// frame took the fault of the store. Whether the frame takes such faults, and
// what it saw, is in g_hostFrame.
#pragma once

#include <windows.h>

extern "C" int HostProbeWrite(volatile LONG* pTarget, LONG nValue);

namespace test_support {

struct HostFrameLog {
    bool bTakesFaults = true;
    int nTaken = 0;
    int nUnwound = 0;
};
extern HostFrameLog g_hostFrame;

inline void ResetHostFrame(bool bTakesFaults) { g_hostFrame = HostFrameLog{bTakesFaults, 0, 0}; }

}  // namespace test_support
