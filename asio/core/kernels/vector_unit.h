#pragma once
// Vector loops are built for x86-64 only: SSE2 belongs to every x86-64
// processor, while the i686 target assumes no vector unit at all, so 32-bit
// builds take the portable loops.

#if defined(__SSE2__) && (defined(__x86_64__) || defined(_M_X64))
#define VELTRANO_KERNELS_X86_64 1
#else
#define VELTRANO_KERNELS_X86_64 0
#endif
