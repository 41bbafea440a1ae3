#include "platform/seams.h"

#include "platform/shell_calls.h"

namespace platform {
namespace {

void SleepFor(DWORD dwMilliseconds) { Sleep(dwMilliseconds); }

const Seams kDefaultSeams = {MessageBoxA, ShellExecuteOnDemand, ExitWindowsEx, GetSaveFileNameOnDemand,
                             GetOpenFileNameOnDemand, SleepFor, SleepFor};
Seams g_Seams = kDefaultSeams;
volatile LONG g_nArmedFaultPoint = static_cast<LONG>(FaultPoint::kNone);

}  // namespace

void InjectFault(FaultPoint point) {
    if (g_nArmedFaultPoint != static_cast<LONG>(point)) return;
    if (InterlockedCompareExchange(&g_nArmedFaultPoint, static_cast<LONG>(FaultPoint::kNone),
                                   static_cast<LONG>(point)) != static_cast<LONG>(point))
        return;
    *static_cast<volatile int*>(nullptr) = 0;
}

FaultPoint ArmFaultPoint(FaultPoint point) {
    return static_cast<FaultPoint>(InterlockedExchange(&g_nArmedFaultPoint, static_cast<LONG>(point)));
}

Seams& GetSeams() { return g_Seams; }

const Seams& DefaultSeams() { return kDefaultSeams; }

}  // namespace platform
