// uint32_t __cdecl StdcallProbe(const void *fn, const uint32_t *args,
//                               uint32_t count, int32_t *stackDelta)
//
// Pushes `count` 32-bit arguments (args[0] last, so it ends up first), calls
// fn and stores in *stackDelta how far the stack pointer is from where a
// __stdcall callee must leave it: 0 when the callee removed exactly its
// arguments, -4 * count when it removed none (a __cdecl function). Returns
// the callee's EAX. Written in assembly so that no compiler-made frame can
// hide a stack left unbalanced.
#if defined(__i386__)
asm(R"(
    .text
    .globl _StdcallProbe
    .def _StdcallProbe; .scl 2; .type 32; .endef
_StdcallProbe:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 16(%ebp), %ecx
    movl 12(%ebp), %esi
    movl %esp, %edi
1:
    testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:
    call *8(%ebp)
    movl %esp, %ecx
    subl %edi, %ecx
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
#endif
