// Machine-fault guard for code that runs on behalf of other programs.
//
// mingw's GCC has no __try/__except, so a guard is a frame on a per-thread
// chain (kept in a TLS slot; the compiler's thread_local is not visible from
// inside the exception handler) plus one vectored handler that jumps back to
// the innermost frame on an access violation or a similar fault. A jump skips
// destructors: guarded code must not hold a lock or owe a restore across a
// point that may fault.
#pragma once

#include <windows.h>

namespace platform {

// Called once when the module starts in a process, and once when it leaves:
// a handler left behind after unload would crash the host.
bool InstallFaultGuard();
void RemoveFaultGuard();

// True for the exception codes the guard turns into a failed call.
bool IsMachineFault(DWORD dwExceptionCode);

using GuardedCall = void (*)(void* pContext);

// Runs pfnCall(pContext). Returns true when it ran to its end, false when a
// machine fault ended it (its code in *pdwFaultCode when given). pfnCall must
// not let a C++ exception out.
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
