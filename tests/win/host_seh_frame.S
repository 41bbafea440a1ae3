/* A host's own probe under an exception frame of its own, as hosts write
   them: int HostProbeWrite(volatile LONG* pTarget, LONG nValue) stores nValue
   through pTarget. The frame's handler (HostProbeHandler, in the test) may
   take a fault of the store and resume at HostProbeRecovered: the probe then
   answers 0; a store that worked answers 1. */

#if defined(__i386__)

    .text
    .p2align 4
    .globl _HostProbeWrite
    .globl _HostProbeFaultAt
    .globl _HostProbeRecovered
    .def _HostProbeWrite; .scl 2; .type 32; .endef
_HostProbeWrite:
    pushl %ebp
    movl %esp, %ebp
    pushl $_HostProbeHandler
    pushl %fs:0
    movl %esp, %fs:0
    movl 8(%ebp), %ecx
    movl 12(%ebp), %edx
    movl $1, %eax
_HostProbeFaultAt:
    movl %edx, (%ecx)
    jmp 1f
_HostProbeRecovered:
    xorl %eax, %eax
1:
    movl (%esp), %ecx
    movl %ecx, %fs:0
    movl %ebp, %esp
    popl %ebp
    ret

#elif defined(__x86_64__)

    .text
    .p2align 4
    .globl HostProbeWrite
    .globl HostProbeFaultAt
    .globl HostProbeRecovered
    .def HostProbeWrite; .scl 2; .type 32; .endef
    .seh_proc HostProbeWrite
HostProbeWrite:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler HostProbeHandler, @except, @unwind
    movl $1, %eax
HostProbeFaultAt:
    movl %edx, (%rcx)
    nop
    addq $40, %rsp
    ret
HostProbeRecovered:
    xorl %eax, %eax
    addq $40, %rsp
    ret
    .seh_endproc

#endif
