/* The exception frames of the fault guard that C++ cannot spell under GCC.
   See fault_guard.cpp for the handlers. */

#if defined(__i386__)

/* void pfc_unwind_to_frame(void* pTargetFrame, EXCEPTION_RECORD* pRecord)
   RtlUnwind calls back and unlinks every registration record above the
   target. It is not bound to keep ebx, esi, edi or ebp, and the handler goes
   on after it, so they are kept here. */
    .text
    .p2align 4
    .globl _pfc_unwind_to_frame
    .def _pfc_unwind_to_frame; .scl 2; .type 32; .endef
_pfc_unwind_to_frame:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl %ebp
    pushl $0
    pushl 12(%ebp)
    pushl $1f
    pushl 8(%ebp)
    call _RtlUnwind@16
1:
    popl %ebp
    popl %edi
    popl %esi
    popl %ebx
    movl %ebp, %esp
    popl %ebp
    ret

#elif defined(__x86_64__)

/* int pfc_guarded_call(GuardedCall pfnCall, void* pContext, DWORD* pdwFaultCode)
   The frame's unwind data names pfc_guard_handler for exceptions. Its third
   argument stays at 32(%rsp), the establisher frame plus 32, where the
   handler finds it. The handler unwinds to pfc_guard_landing, which returns
   0 with the stack and the callee-saved registers of this frame. */
    .text
    .p2align 4
    .globl pfc_guarded_call
    .globl pfc_guard_landing
    .def pfc_guarded_call; .scl 2; .type 32; .endef
    .seh_proc pfc_guarded_call
pfc_guarded_call:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler pfc_guard_handler, @except
    movq %r8, 32(%rsp)
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    nop
    movl $1, %eax
    addq $40, %rsp
    ret
pfc_guard_landing:
    xorl %eax, %eax
    addq $40, %rsp
    ret
    .seh_endproc

#endif
