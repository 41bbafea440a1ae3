// Machine-fault guard for code that runs on behalf of other programs.
//
// The guard is a frame-based structured exception handler around one call,
// so every handler of the host inside that call (its own SEH frames, its C++
// catch blocks) sees a fault first; the guard takes only machine faults that
// nobody closer to them handled. mingw's GCC has no __try/__except, so the
// frame is built by hand: on i686 a registration record on the thread's fs:0
// chain, on x86_64 a trampoline whose unwind data names the handler. Taking
// a fault unwinds the system's frames properly, but skips C++ destructors:
// whatever guarded code holds across a point that may fault (a lock, a flag,
// a reference, a switched printer) is registered as a FaultUndo, and the
// guard's landing gives it back.
#pragma once

#include <windows.h>

namespace platform {

// True for the exception codes the guard turns into a failed call.
bool IsMachineFault(DWORD dwExceptionCode);

using GuardedCall = void (*)(void* pContext);

// Runs pfnCall(pContext). Returns true when it ran to its end, false when a
// machine fault ended it (its code in *pdwFaultCode when given); after a
// fault the caller's last-error value is what it was before the call.
// pfnCall must not let a C++ exception out.
bool RunFaultGuarded(GuardedCall pfnCall, void* pContext, DWORD* pdwFaultCode = nullptr);

// A debt of guarded code: while the object lives, a fault that the innermost
// guard of the thread takes runs pfnUndo(pArg) in that guard's landing, after
// the faulting frames are gone. pArg must therefore not point into the stack
// of guarded code. Outside any guard it costs one thread-local read.
class FaultUndo {
public:
    using Undo = void (*)(void* pArg);
    FaultUndo() noexcept = default;
    FaultUndo(Undo pfnUndo, void* pArg) noexcept;
    ~FaultUndo() { Settle(); }
    FaultUndo(FaultUndo&& other) noexcept : m_pSlot(other.m_pSlot), m_pGuard(other.m_pGuard) {
        other.m_pSlot = nullptr;
    }
    FaultUndo& operator=(FaultUndo&& other) noexcept;
    FaultUndo(const FaultUndo&) = delete;
    FaultUndo& operator=(const FaultUndo&) = delete;
    // The debt is paid the ordinary way: a later fault owes nothing for it.
    void Settle() noexcept;

private:
    void* m_pSlot = nullptr;
    void* m_pGuard = nullptr;  // the guard whose landing would pay it
};

// Gives back the thread-local slot the guards share, when the module leaves a
// process; no guard may be running then.
void ReleaseFaultGuardSlot();

// Convenience form: C++ exceptions are swallowed as well, so callers that
// only need "ran or not" get one answer for both kinds of failure.
template <class Function>
bool RunFaultGuarded(Function& function, DWORD* pdwFaultCode = nullptr) {
    struct Context {
        Function* pFunction;
        bool bThrew;
    } context{&function, false};
    const bool bRan = RunFaultGuarded(
        [](void* p) {
            auto* pCtx = static_cast<Context*>(p);
            try {
                (*pCtx->pFunction)();
            } catch (...) {
                pCtx->bThrew = true;
            }
        },
        &context, pdwFaultCode);
    return bRan && !context.bThrew;
}

}  // namespace platform
