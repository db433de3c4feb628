#pragma once
// The sample copies in plain C++, with a loop per common shape. They serve
// targets without vector units (32-bit x86 does not assume SSE2), and they
// copy the frames that remain after a vector loop. Same contracts as the
// functions in sample_copy.h.

#include <cstddef>
#include <cstdint>

namespace veltrano::kernels::portable {

void CopyToInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                       size_t strideBytes);
void CopyFromInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                         size_t strideBytes);
void InterleaveStereo(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames,
                      size_t sampleBytes);
void DeinterleaveStereo(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames,
                        size_t sampleBytes);

}  // namespace veltrano::kernels::portable
