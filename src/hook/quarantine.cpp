#include "hook/quarantine.h"

#include "hook/base/hook_messages.h"
#include "hook/base/process_name.h"
#include "suite/safe_mode.h"

volatile LONG g_nSeenQuarantineGeneration = 0;
volatile bool g_bProcessQuarantined = false;

namespace {

// The controller answers at once; a controller that does not is not waited
// for longer than a person would notice at a window's opening.
constexpr UINT kServedNoteTimeoutMs = 2000;

volatile LONG g_bServedNoted = FALSE;
volatile UINT g_uServedProcessMsg = 0;
volatile UINT g_uGuardIncidentMsg = 0;

UINT RegisteredMessage(volatile UINT& uMsg, const char* pszName) {
    if (uMsg == 0) uMsg = RegisterWindowMessageA(pszName);
    return uMsg;
}

HWND FindOwnController() {
    return g_SharedSection.dwSafeModeWatch != 0 ? FindWindowA(OwnControllerWindowClass(), nullptr) : nullptr;
}

}  // namespace

bool RecheckQuarantine() {
    // The generation is read before the list: the controller writes the list
    // first, so a list changed meanwhile makes the next message look again.
    const LONG nGeneration = g_SharedSection.nQuarantineGeneration;
    MemoryBarrier();
    const char* pszModuleName = ProcessModuleName();
    g_bProcessQuarantined = pszModuleName != nullptr &&
                            safe_mode::KeyListHolds(g_SharedSection.szQuarantineList, kSharedListSize, pszModuleName);
    g_nSeenQuarantineGeneration = nGeneration;
    return g_bProcessQuarantined;
}

void NoteServedProcess() {
    if (g_bServedNoted || g_SharedSection.dwSafeModeWatch == 0) return;
    HWND hController = FindOwnController();
    if (hController == nullptr || InterlockedExchange(&g_bServedNoted, TRUE) != FALSE) return;
    DWORD_PTR dwResult = 0;
    if (!SendMessageTimeoutA(hController, RegisteredMessage(g_uServedProcessMsg, kServedProcessMessageName),
                             GetCurrentProcessId(), 0, SMTO_ABORTIFHUNG, kServedNoteTimeoutMs, &dwResult) ||
        dwResult == 0)
        g_bServedNoted = FALSE;  // the next hooked window tries again
}

void NoteGuardIncident(DWORD dwFaultCode) {
    if (dwFaultCode == 0) return;  // a C++ exception swallowed, no machine fault
    HWND hController = FindOwnController();
    if (hController != nullptr)
        PostMessageA(hController, RegisteredMessage(g_uGuardIncidentMsg, kGuardIncidentMessageName),
                     GetCurrentProcessId(), dwFaultCode);
}
