#pragma once
// The DoP block comparisons on x86-64 vector units. Both take a buffer of
// at least one block and report whether every block matches the picture;
// they stop at the first group of blocks that does not.

#include <cstddef>
#include <cstdint>

#include "asio/core/kernels/dop_image.h"
#include "asio/core/kernels/vector_unit.h"

namespace veltrano::kernels::dop {

#if VELTRANO_KERNELS_X86_64
bool BlocksMatchSse2(const uint8_t* p, size_t bytes, size_t sampleBytes, const BlockImage& image);
// Only where cpu::HasAvx2().
bool BlocksMatchAvx2(const uint8_t* p, size_t bytes, size_t sampleBytes, const BlockImage& image);
#endif

}  // namespace veltrano::kernels::dop
