#include "platform/fault_guard.h"

#include <atomic>

namespace platform {

namespace {

// The debts registered while one guard is the thread's innermost. It lives
// in the frame of RunFaultGuarded, which a fault never leaves, so its
// entries can still be read in the landing.
constexpr int kMaxUndos = 16;

struct UndoSlot {
    FaultUndo::Undo pfnUndo;
    void* pArg;
};

struct UndoList {
    UndoSlot aSlots[kMaxUndos];
    int nUsed;
    UndoList* pOuter;
};

// The innermost guard of each thread lives in a slot of the system's
// thread-local storage, not in a thread_local: the runtime emulates those,
// and their first use in a process creates a key and allocates. Every process
// the hook reaches makes that first use at its first window-created
// notification, and it was a third of what such a process paid for the
// module. The slot is taken at the first guard and given back when the module
// leaves the process.
std::atomic<DWORD> g_dwGuardSlot{TLS_OUT_OF_INDEXES};

DWORD GuardSlot() {
    DWORD dwSlot = g_dwGuardSlot.load(std::memory_order_acquire);
    if (dwSlot != TLS_OUT_OF_INDEXES) return dwSlot;
    const DWORD dwTaken = TlsAlloc();
    if (dwTaken == TLS_OUT_OF_INDEXES) return dwTaken;
    // Two first guards at once: one slot is kept, the other given back.
    if (g_dwGuardSlot.compare_exchange_strong(dwSlot, dwTaken, std::memory_order_acq_rel)) return dwTaken;
    TlsFree(dwTaken);
    return dwSlot;
}

// Null outside any guard. TlsGetValue clears the last-error value, which the
// code it runs in (a host's window procedure among them) may still need.
UndoList* InnermostGuard() {
    const DWORD dwSlot = g_dwGuardSlot.load(std::memory_order_acquire);
    if (dwSlot == TLS_OUT_OF_INDEXES) return nullptr;
    const DWORD dwError = GetLastError();
    auto* pList = static_cast<UndoList*>(TlsGetValue(dwSlot));
    SetLastError(dwError);
    return pList;
}

// Without a slot the guard still guards; it only cannot give back debts.
void SetInnermostGuard(DWORD dwSlot, UndoList* pList) {
    if (dwSlot != TLS_OUT_OF_INDEXES) TlsSetValue(dwSlot, pList);
}

void PayUndos(UndoList& list) {
    for (int i = list.nUsed; i-- > 0;) {
        const UndoSlot slot = list.aSlots[i];
        list.aSlots[i].pfnUndo = nullptr;
        if (slot.pfnUndo != nullptr) slot.pfnUndo(slot.pArg);
    }
    list.nUsed = 0;
}

}  // namespace

FaultUndo::FaultUndo(Undo pfnUndo, void* pArg) noexcept {
    UndoList* pList = InnermostGuard();
    // Past the limit a debt goes unregistered: the guard is still a guard,
    // it only cannot give that one back.
    if (pList == nullptr || pList->nUsed == kMaxUndos) return;
    UndoSlot* pSlot = &pList->aSlots[pList->nUsed++];
    pSlot->pfnUndo = pfnUndo;
    pSlot->pArg = pArg;
    m_pSlot = pSlot;
    m_pGuard = pList;
}

FaultUndo& FaultUndo::operator=(FaultUndo&& other) noexcept {
    if (this != &other) {
        Settle();
        m_pSlot = other.m_pSlot;
        m_pGuard = other.m_pGuard;
        other.m_pSlot = nullptr;
    }
    return *this;
}

void FaultUndo::Settle() noexcept {
    if (m_pSlot == nullptr) return;
    auto* pSlot = static_cast<UndoSlot*>(m_pSlot);
    auto* pOwner = static_cast<UndoList*>(m_pGuard);
    m_pSlot = nullptr;
    // An owner that outlived its guard (moved out of the guarded call) has
    // nothing left to settle: that guard's frame is gone.
    UndoList* pList = InnermostGuard();
    while (pList != nullptr && pList != pOwner) pList = pList->pOuter;
    if (pList == nullptr) return;
    pSlot->pfnUndo = nullptr;
    // Trailing settled slots are freed for reuse; a slot settled out of
    // order waits until those above it go.
    while (pList->nUsed > 0 && pList->aSlots[pList->nUsed - 1].pfnUndo == nullptr) --pList->nUsed;
}

void ReleaseFaultGuardSlot() {
    const DWORD dwSlot = g_dwGuardSlot.exchange(TLS_OUT_OF_INDEXES, std::memory_order_acq_rel);
    if (dwSlot != TLS_OUT_OF_INDEXES) TlsFree(dwSlot);
}

// The guard's frame itself, one per target below.
bool RunFaultGuardedFrame(GuardedCall pfnCall, void* pContext, DWORD* pdwFaultCode);

bool RunFaultGuarded(GuardedCall pfnCall, void* pContext, DWORD* pdwFaultCode) {
    const DWORD dwSlot = GuardSlot();
    UndoList list;
    list.nUsed = 0;
    list.pOuter = InnermostGuard();
    SetInnermostGuard(dwSlot, &list);
    const bool bRan = RunFaultGuardedFrame(pfnCall, pContext, pdwFaultCode);
    SetInnermostGuard(dwSlot, list.pOuter);
    if (!bRan) {
        const DWORD dwError = GetLastError();
        PayUndos(list);
        SetLastError(dwError);
    }
    return bRan;
}

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

#if defined(_MSC_VER)

bool RunFaultGuardedFrame(GuardedCall pfnCall, void* pContext, DWORD* pdwFaultCode) {
    const DWORD dwCallerError = GetLastError();
    DWORD dwFaultCode = 0;
    __try {
        pfnCall(pContext);
        return true;
    } __except (IsMachineFault(dwFaultCode = GetExceptionCode()) ? EXCEPTION_EXECUTE_HANDLER
                                                                   : EXCEPTION_CONTINUE_SEARCH) {
    }
    SetLastError(dwCallerError);
    if (pdwFaultCode != nullptr) *pdwFaultCode = dwFaultCode;
    return false;
}

#elif defined(__i386__)

namespace {

// Starts with the registration record the system walks (next, handler); the
// rest is the guard's own.
struct GuardFrame {
    GuardFrame* pNext;
    void* pfnHandler;
    void* aJumpBuffer[5];
    DWORD dwFaultCode;
};

GuardFrame* ChainHead() {
    GuardFrame* pHead;
    asm volatile("movl %%fs:0, %0" : "=r"(pHead));
    return pHead;
}

void SetChainHead(GuardFrame* pHead) { asm volatile("movl %0, %%fs:0" : : "r"(pHead) : "memory"); }

}  // namespace

// In fault_guard_frames.S: RtlUnwind to the frame, keeping the registers it
// is not bound to keep.
extern "C" void pfc_unwind_to_frame(void* pTargetFrame, EXCEPTION_RECORD* pRecord);

namespace {

EXCEPTION_DISPOSITION __cdecl OnGuardedFault(EXCEPTION_RECORD* pRecord, void* pEstablisherFrame, CONTEXT*, void*) {
    if ((pRecord->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
        !IsMachineFault(pRecord->ExceptionCode))
        return ExceptionContinueSearch;
    auto* pFrame = static_cast<GuardFrame*>(pEstablisherFrame);
    pFrame->dwFaultCode = pRecord->ExceptionCode;
    // Every frame between the fault and ours is called back for its unwind
    // and taken off the chain; ours is left at its head.
    pfc_unwind_to_frame(pFrame, pRecord);
    __builtin_longjmp(pFrame->aJumpBuffer, 1);
}

}  // namespace

__attribute__((noinline)) bool RunFaultGuardedFrame(GuardedCall pfnCall, void* pContext, DWORD* pdwFaultCode) {
    const DWORD dwCallerError = GetLastError();
    GuardFrame frame;
    frame.pfnHandler = reinterpret_cast<void*>(&OnGuardedFault);
    frame.dwFaultCode = 0;
    frame.pNext = ChainHead();
    if (__builtin_setjmp(frame.aJumpBuffer) != 0) {
        SetChainHead(frame.pNext);
        SetLastError(dwCallerError);
        if (pdwFaultCode != nullptr) *pdwFaultCode = *static_cast<volatile DWORD*>(&frame.dwFaultCode);
        return false;
    }
    SetChainHead(&frame);
    pfnCall(pContext);
    SetChainHead(frame.pNext);
    return true;
}

#elif defined(__x86_64__)

// In fault_guard_frames.S: calls pfnCall(pContext) in a frame whose unwind
// data names pfc_guard_handler; 1 when the call returned, 0 when the handler
// unwound to pfc_guard_landing.
extern "C" int pfc_guarded_call(GuardedCall pfnCall, void* pContext, DWORD* pdwFaultCode);
extern "C" char pfc_guard_landing[];

extern "C" EXCEPTION_DISPOSITION pfc_guard_handler(EXCEPTION_RECORD* pRecord, void* pEstablisherFrame, CONTEXT*,
                                                   DISPATCHER_CONTEXT* pDispatch) {
    if ((pRecord->ExceptionFlags & EXCEPTION_UNWIND) != 0 || !IsMachineFault(pRecord->ExceptionCode))
        return ExceptionContinueSearch;
    // The trampoline keeps its third argument just above the callee's home area.
    DWORD* pdwFaultCode = *reinterpret_cast<DWORD**>(static_cast<char*>(pEstablisherFrame) + 32);
    *pdwFaultCode = pRecord->ExceptionCode;
    RtlUnwindEx(pEstablisherFrame, pfc_guard_landing, pRecord, nullptr, pDispatch->ContextRecord,
                pDispatch->HistoryTable);
    return ExceptionContinueSearch;  // not reached: the unwind resumes at the landing
}

bool RunFaultGuardedFrame(GuardedCall pfnCall, void* pContext, DWORD* pdwFaultCode) {
    const DWORD dwCallerError = GetLastError();
    DWORD dwFaultCode = 0;
    if (pfc_guarded_call(pfnCall, pContext, &dwFaultCode) != 0) return true;
    SetLastError(dwCallerError);
    if (pdwFaultCode != nullptr) *pdwFaultCode = dwFaultCode;
    return false;
}

#else
#error "no fault guard for this target"
#endif

}  // namespace platform
