# uint32_t __cdecl kavrel_call_measured(const void* fn, const uint32_t* args, int count,
#                                      int* bytesRemovedByCallee)
# Pushes the arguments right to left, calls fn, and measures how far the stack pointer moved
# during the call: a callee-cleans function removes its own arguments, a caller-cleans one does
# not. The stack is restored from the frame afterwards either way.
    .text
    .globl _kavrel_call_measured
_kavrel_call_measured:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    pushl %ebx
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  movl %esp, %edi
    call *8(%ebp)
    movl %esp, %ecx
    subl %edi, %ecx
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    leal -12(%ebp), %esp
    popl %ebx
    popl %edi
    popl %esi
    popl %ebp
    ret
