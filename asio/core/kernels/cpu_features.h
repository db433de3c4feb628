#pragma once
// What the processor (and, for AVX, the operating system) supports beyond
// the build's baseline. Asked once; later calls read a cached answer, so
// the streaming path may ask freely.

#include "asio/core/kernels/vector_unit.h"

namespace veltrano::kernels::cpu {

#if VELTRANO_KERNELS_X86_64
bool HasSsse3();
// AVX2 instructions and an operating system that saves the 256-bit
// registers across thread switches.
bool HasAvx2();
#endif

}  // namespace veltrano::kernels::cpu
