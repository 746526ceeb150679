# void __cdecl kavrel_call_transfer_callback(callback, dib, index)
# Calls the caller's transfer callback with (dib, index) and puts the stack pointer back from a
# saved copy afterwards, so that a callback declared caller-cleans works as well as one declared
# callee-cleans (the documented convention).
    .text
    .globl _kavrel_call_transfer_callback
_kavrel_call_transfer_callback:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    movl %esp, %esi
    pushl 16(%ebp)
    pushl 12(%ebp)
    call *8(%ebp)
    movl %esi, %esp
    popl %esi
    popl %ebp
    ret
