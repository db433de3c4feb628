// Calls a function the way code from the platform's own compiler does on
// 32-bit Windows, and records what the callee left behind: the stack
// pointer and the registers it must keep.
//
//   uint64_t veltrano_x86_call(const void* fn, uint32_t ecx, const uint32_t* args,
//                              uint32_t count, uint32_t padWords, X86CallRecord* record);
//
// `padWords` zero words go on the stack first (to vary the stack's
// alignment as different hosts do), then args[count-1] ... args[0], so that
// args[0] is on top; ECX holds `ecx` (the object for thiscall, a poison value
// otherwise). Both conventions under test make the callee pop its
// arguments, so ESP after the call must equal ESP before the arguments were
// pushed. The record gets that expected ESP, the actual one, and EBX, ESI,
// EDI after the call (loaded with the expected ESP and two fixed values
// before it). The callee's EDX:EAX is returned. Whatever the callee did, the
// frame is left through EBP, so a faulty callee is reported, not crashed on.

    .intel_syntax noprefix
    .text
    .globl _veltrano_x86_call
    .def _veltrano_x86_call; .scl 2; .type 32; .endef
_veltrano_x86_call:
    push ebp
    mov ebp, esp
    push ebx
    push esi
    push edi
    // [ebp+8] fn, [ebp+12] ecx, [ebp+16] args, [ebp+20] count,
    // [ebp+24] padWords, [ebp+28] record
    mov ecx, [ebp+24]
1:  test ecx, ecx
    jz 2f
    push 0
    dec ecx
    jmp 1b
2:  mov edi, esp                  // the ESP the callee must hand back
    mov esi, [ebp+16]
    mov ecx, [ebp+20]
3:  test ecx, ecx
    jz 4f
    push dword ptr [esi + ecx*4 - 4]
    dec ecx
    jmp 3b
4:  mov ebx, 0x5eb7c0de
    mov esi, 0x51c0ffee
    mov eax, [ebp+8]
    mov ecx, [ebp+12]
    call eax
    mov ecx, [ebp+28]
    mov [ecx+4], esp              // actual ESP
    mov [ecx+8], ebx
    mov [ecx+12], esi
    mov [ecx+16], edi
    // The expected ESP, computed again from the frame: EDI may be lost.
    mov ebx, [ebp+24]
    shl ebx, 2
    neg ebx
    lea ebx, [ebp - 12 + ebx]
    mov [ecx], ebx
    lea esp, [ebp-12]
    pop edi
    pop esi
    pop ebx
    pop ebp
    ret
