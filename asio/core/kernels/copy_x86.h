#pragma once
// Vector loops for the 2-channel shapes on x86-64. The packed 24-bit loops
// need SSSE3's byte shuffle, which some early 64-bit processors lack, so
// they run only when the processor reports it.

#include <cstddef>
#include <cstdint>

#include "asio/core/kernels/vector_unit.h"

namespace veltrano::kernels::x86 {

#if VELTRANO_KERNELS_X86_64

// Same contracts as the functions in sample_copy.h. Each returns false,
// having touched nothing, when it has no loop for the shape (or the loop
// needs SSSE3 and `ssse3` is false); the frames after the last whole block
// go through the portable loops.
bool CopyToInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                       size_t strideBytes, bool ssse3);
bool CopyFromInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                         size_t strideBytes, bool ssse3);
bool InterleaveStereo(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames,
                      size_t sampleBytes, bool ssse3);
bool DeinterleaveStereo(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames,
                        size_t sampleBytes, bool ssse3);

#endif

}  // namespace veltrano::kernels::x86
