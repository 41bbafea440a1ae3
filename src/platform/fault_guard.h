// Machine-fault guard for code that runs on behalf of other programs.
//
// The guard is a frame-based structured exception handler around one call,
// so every handler of the host inside that call (its own SEH frames, its C++
// catch blocks) sees a fault first; the guard takes only machine faults that
// nobody closer to them handled. mingw's GCC has no __try/__except, so the
// frame is built by hand: on i686 a registration record on the thread's fs:0
// chain, on x86_64 a trampoline whose unwind data names the handler. Taking
// a fault unwinds the system's frames properly, but skips C++ destructors:
// guarded code must not hold a lock or owe a restore across a point that may
// fault.
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
