# uint32 __cdecl measured_call(const void* function, const void* object, const uint32* words,
#                              uint32 count, uint32 rest, Measured* measured)
#
# The call is made with ESP equal to REST modulo 16 at the call instruction:
# a host compiled for this boundary keeps ESP aligned to 4 bytes only.
#
# Makes the call itself, so that nothing a compiler does around a call (such
# as restoring ESP from a frame pointer) can hide a callee that removes too
# few or too many bytes. ESP and the caller's registers are kept in static
# storage across the call: the host calls it from one thread only.

        .text
        .globl  _measured_call
        .p2align 4
_measured_call:
        pushl   %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        # 16: return address, 20: function, 24: object, 28: words, 32: count,
        # 36: rest, 40: measured
        movl    20(%esp), %eax
        movl    %eax, call_target
        movl    24(%esp), %eax
        movl    %eax, call_object
        movl    28(%esp), %esi
        movl    32(%esp), %ecx
        movl    36(%esp), %edx
        movl    %esp, saved_esp
        # ESP before the pushes: 16-aligned less (-(rest + 4 * count)) mod 16
        leal    (%edx,%ecx,4), %eax
        negl    %eax
        andl    $15, %eax
        andl    $-16, %esp
        subl    %eax, %esp
        movl    %esp, esp_before
1:      testl   %ecx, %ecx
        jz      2f
        pushl   -4(%esi,%ecx,4)
        decl    %ecx
        jmp     1b
2:      movl    $0x0B0B0B0B, %ebx
        movl    $0x51515151, %esi
        movl    $0xD1D1D1D1, %edi
        movl    $0xB9B9B9B9, %ebp
        movl    call_object, %ecx
        call    *call_target
        movl    %esp, esp_after
        movl    %eax, call_result
        movl    %ebx, after_ebx
        movl    %esi, after_esi
        movl    %edi, after_edi
        movl    %ebp, after_ebp
        movl    saved_esp, %esp
        movl    40(%esp), %ecx
        movl    esp_after, %eax
        subl    esp_before, %eax
        movl    %eax, 0(%ecx)
        movl    after_ebx, %eax
        movl    %eax, 4(%ecx)
        movl    after_esi, %eax
        movl    %eax, 8(%ecx)
        movl    after_edi, %eax
        movl    %eax, 12(%ecx)
        movl    after_ebp, %eax
        movl    %eax, 16(%ecx)
        movl    call_result, %eax
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        retl

        .data
        .p2align 2
call_target:    .long 0
call_object:    .long 0
call_result:    .long 0
saved_esp:      .long 0
esp_before:     .long 0
esp_after:      .long 0
after_ebx:      .long 0
after_esi:      .long 0
after_edi:      .long 0
after_ebp:      .long 0
