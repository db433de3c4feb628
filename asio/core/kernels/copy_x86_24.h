#pragma once
// The packed 24-bit loops for 2-channel frames, built for SSSE3 (pshufb):
// only for processors that report it. Each moves whole blocks of frames and
// returns how many frames it moved; the caller copies the rest.

#include <cstddef>
#include <cstdint>

#include "asio/core/kernels/vector_unit.h"

namespace veltrano::kernels::x86 {

#if VELTRANO_KERNELS_X86_64
size_t InterleaveStereo24(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames);
size_t DeinterleaveStereo24(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames);
size_t ToStride6(const uint8_t* src, uint8_t* dst, size_t frames);
size_t FromStride6(const uint8_t* src, uint8_t* dst, size_t frames);
#endif

}  // namespace veltrano::kernels::x86
