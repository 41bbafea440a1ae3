#include "platform/fault_guard.h"

namespace platform {
namespace {

struct GuardFrame {
    void* jumpBuffer[5];
    GuardFrame* pOuter;
    DWORD dwFaultCode;
};

DWORD g_dwGuardSlot = TLS_OUT_OF_INDEXES;
PVOID g_hFaultHandler = nullptr;

LONG CALLBACK OnMachineFault(EXCEPTION_POINTERS* pInfo) {
    if (g_dwGuardSlot == TLS_OUT_OF_INDEXES || !IsMachineFault(pInfo->ExceptionRecord->ExceptionCode))
        return EXCEPTION_CONTINUE_SEARCH;
    auto* pFrame = static_cast<GuardFrame*>(TlsGetValue(g_dwGuardSlot));
    if (pFrame == nullptr) return EXCEPTION_CONTINUE_SEARCH;
    pFrame->dwFaultCode = pInfo->ExceptionRecord->ExceptionCode;
    TlsSetValue(g_dwGuardSlot, pFrame->pOuter);
    __builtin_longjmp(pFrame->jumpBuffer, 1);
}

}  // namespace

bool IsMachineFault(DWORD dwExceptionCode) {
    switch (dwExceptionCode) {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_FLT_DENORMAL_OPERAND:
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
        case EXCEPTION_FLT_INEXACT_RESULT:
        case EXCEPTION_FLT_INVALID_OPERATION:
        case EXCEPTION_FLT_OVERFLOW:
        case EXCEPTION_FLT_STACK_CHECK:
        case EXCEPTION_FLT_UNDERFLOW:
        case EXCEPTION_ILLEGAL_INSTRUCTION:
        case EXCEPTION_IN_PAGE_ERROR:
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
        case EXCEPTION_INT_OVERFLOW:
        case EXCEPTION_PRIV_INSTRUCTION:
            return true;
        default:
            return false;
    }
}

bool InstallFaultGuard() {
    if (g_hFaultHandler != nullptr) return true;
    if (g_dwGuardSlot == TLS_OUT_OF_INDEXES) g_dwGuardSlot = TlsAlloc();
    if (g_dwGuardSlot == TLS_OUT_OF_INDEXES) return false;
    g_hFaultHandler = AddVectoredExceptionHandler(1, OnMachineFault);
    return g_hFaultHandler != nullptr;
}

void RemoveFaultGuard() {
    if (g_hFaultHandler != nullptr) {
        RemoveVectoredExceptionHandler(g_hFaultHandler);
        g_hFaultHandler = nullptr;
    }
    if (g_dwGuardSlot != TLS_OUT_OF_INDEXES) {
        TlsFree(g_dwGuardSlot);
        g_dwGuardSlot = TLS_OUT_OF_INDEXES;
    }
}

__attribute__((noinline)) bool RunFaultGuarded(GuardedCall pfnCall, void* pContext, DWORD* pdwFaultCode) {
    if (g_hFaultHandler == nullptr) {
        pfnCall(pContext);
        return true;
    }
    // TlsGetValue clears the last error; the guarded code may rely on the
    // caller's, so it is kept across the frame's set-up and removal.
    const DWORD dwCallerError = GetLastError();
    GuardFrame frame{};
    frame.pOuter = static_cast<GuardFrame*>(TlsGetValue(g_dwGuardSlot));
    if (__builtin_setjmp(frame.jumpBuffer) != 0) {
        // The handler has already unlinked the frame.
        if (pdwFaultCode != nullptr) *pdwFaultCode = frame.dwFaultCode;
        return false;
    }
    TlsSetValue(g_dwGuardSlot, &frame);
    SetLastError(dwCallerError);
    pfnCall(pContext);
    const DWORD dwCallError = GetLastError();
    TlsSetValue(g_dwGuardSlot, frame.pOuter);
    SetLastError(dwCallError);
    return true;
}

}  // namespace platform
