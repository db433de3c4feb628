#include "asio/core/kernels/sample_copy.h"

#include "asio/core/kernels/copy_portable.h"
#include "asio/core/kernels/copy_x86.h"
#include "asio/core/kernels/cpu_features.h"

namespace veltrano::kernels {

void CopyToInterleavedGeneric(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                              size_t strideBytes) {
    for (size_t f = 0; f < frames; ++f) {
        for (size_t i = 0; i < sampleBytes; ++i)
            dst[f * strideBytes + i] = src[f * sampleBytes + i];
    }
}

void CopyFromInterleavedGeneric(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                                size_t strideBytes) {
    for (size_t f = 0; f < frames; ++f) {
        for (size_t i = 0; i < sampleBytes; ++i)
            dst[f * sampleBytes + i] = src[f * strideBytes + i];
    }
}

void CopyToInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                       size_t strideBytes) {
#if VELTRANO_KERNELS_X86_64
    if (x86::CopyToInterleaved(src, dst, frames, sampleBytes, strideBytes, cpu::HasSsse3())) {
        return;
    }
#endif
    portable::CopyToInterleaved(src, dst, frames, sampleBytes, strideBytes);
}

void CopyFromInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                         size_t strideBytes) {
#if VELTRANO_KERNELS_X86_64
    if (x86::CopyFromInterleaved(src, dst, frames, sampleBytes, strideBytes, cpu::HasSsse3())) {
        return;
    }
#endif
    portable::CopyFromInterleaved(src, dst, frames, sampleBytes, strideBytes);
}

void InterleaveStereo(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames,
                      size_t sampleBytes) {
#if VELTRANO_KERNELS_X86_64
    if (x86::InterleaveStereo(left, right, dst, frames, sampleBytes, cpu::HasSsse3())) return;
#endif
    portable::InterleaveStereo(left, right, dst, frames, sampleBytes);
}

void DeinterleaveStereo(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames,
                        size_t sampleBytes) {
#if VELTRANO_KERNELS_X86_64
    if (x86::DeinterleaveStereo(src, left, right, frames, sampleBytes, cpu::HasSsse3())) return;
#endif
    portable::DeinterleaveStereo(src, left, right, frames, sampleBytes);
}

}  // namespace veltrano::kernels
