#include "asio/core/kernels/sample_copy.h"

#include <cstring>

namespace veltrano::kernels {
namespace {

// Fixed-size memcpy compiles to plain loads and stores; with a constant
// stride the loop vectorises where the target allows.
template <size_t kBytes, size_t kStride>
void ToInterleavedFixed(const uint8_t* src, uint8_t* dst, size_t frames) {
    for (size_t f = 0; f < frames; ++f) {
        std::memcpy(dst + f * kStride, src + f * kBytes, kBytes);
    }
}

template <size_t kBytes, size_t kStride>
void FromInterleavedFixed(const uint8_t* src, uint8_t* dst, size_t frames) {
    for (size_t f = 0; f < frames; ++f) {
        std::memcpy(dst + f * kBytes, src + f * kStride, kBytes);
    }
}

template <size_t kBytes>
void InterleaveStereoFixed(const uint8_t* left, const uint8_t* right, uint8_t* dst,
                           size_t frames) {
    for (size_t f = 0; f < frames; ++f) {
        std::memcpy(dst + f * 2 * kBytes, left + f * kBytes, kBytes);
        std::memcpy(dst + f * 2 * kBytes + kBytes, right + f * kBytes, kBytes);
    }
}

template <size_t kBytes>
void DeinterleaveStereoFixed(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames) {
    for (size_t f = 0; f < frames; ++f) {
        std::memcpy(left + f * kBytes, src + f * 2 * kBytes, kBytes);
        std::memcpy(right + f * kBytes, src + f * 2 * kBytes + kBytes, kBytes);
    }
}

// 16-bit stereo: two 16-bit samples make one 32-bit frame, so the pair is
// built in a register and stored once.
void InterleaveStereo16(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames) {
    for (size_t f = 0; f < frames; ++f) {
        uint16_t l;
        uint16_t r;
        std::memcpy(&l, left + 2 * f, 2);
        std::memcpy(&r, right + 2 * f, 2);
        const uint32_t frame = static_cast<uint32_t>(l) | (static_cast<uint32_t>(r) << 16);
        std::memcpy(dst + 4 * f, &frame, 4);
    }
}

// Packed 24-bit samples move as 32-bit words: each store writes one byte
// too many, and the next store puts the right value there. The last frame
// uses exact 3-byte copies so nothing outside the buffers is read or written.
void InterleaveStereo24(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames) {
    if (frames == 0) return;
    for (size_t f = 0; f + 1 < frames; ++f) {
        uint32_t l;
        uint32_t r;
        std::memcpy(&l, left + 3 * f, 4);
        std::memcpy(&r, right + 3 * f, 4);
        std::memcpy(dst + 6 * f, &l, 4);
        std::memcpy(dst + 6 * f + 3, &r, 4);
    }
    const size_t last = frames - 1;
    std::memcpy(dst + 6 * last, left + 3 * last, 3);
    std::memcpy(dst + 6 * last + 3, right + 3 * last, 3);
}

void DeinterleaveStereo24(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames) {
    if (frames == 0) return;
    for (size_t f = 0; f + 1 < frames; ++f) {
        uint32_t l;
        uint32_t r;
        std::memcpy(&l, src + 6 * f, 4);
        std::memcpy(&r, src + 6 * f + 3, 4);
        std::memcpy(left + 3 * f, &l, 4);
        std::memcpy(right + 3 * f, &r, 4);
    }
    const size_t last = frames - 1;
    std::memcpy(left + 3 * last, src + 6 * last, 3);
    std::memcpy(right + 3 * last, src + 6 * last + 3, 3);
}

// One packed 24-bit channel into frames of `stride` bytes: a 32-bit
// read-modify-write keeps the neighbouring channel's byte as it was.
void ToInterleaved24(const uint8_t* src, uint8_t* dst, size_t frames, size_t stride) {
    if (frames == 0) return;
    for (size_t f = 0; f + 1 < frames; ++f) {
        uint32_t s;
        uint32_t d;
        std::memcpy(&s, src + 3 * f, 4);
        std::memcpy(&d, dst + f * stride, 4);
        d = (d & 0xFF000000u) | (s & 0x00FFFFFFu);
        std::memcpy(dst + f * stride, &d, 4);
    }
    std::memcpy(dst + (frames - 1) * stride, src + 3 * (frames - 1), 3);
}

void FromInterleaved24(const uint8_t* src, uint8_t* dst, size_t frames, size_t stride) {
    if (frames == 0) return;
    for (size_t f = 0; f + 1 < frames; ++f) {
        uint32_t s;
        std::memcpy(&s, src + f * stride, 4);
        std::memcpy(dst + 3 * f, &s, 4);  // the extra byte is overwritten next frame
    }
    std::memcpy(dst + 3 * (frames - 1), src + (frames - 1) * stride, 3);
}

}  // namespace

void CopyToInterleavedGeneric(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                              size_t strideBytes) {
    for (size_t f = 0; f < frames; ++f) {
        for (size_t i = 0; i < sampleBytes; ++i) dst[f * strideBytes + i] = src[f * sampleBytes + i];
    }
}

void CopyFromInterleavedGeneric(const uint8_t* src, uint8_t* dst, size_t frames,
                                size_t sampleBytes, size_t strideBytes) {
    for (size_t f = 0; f < frames; ++f) {
        for (size_t i = 0; i < sampleBytes; ++i) dst[f * sampleBytes + i] = src[f * strideBytes + i];
    }
}

void CopyToInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                       size_t strideBytes) {
    if (frames == 0) return;
    if (sampleBytes == strideBytes) {
        std::memcpy(dst, src, frames * sampleBytes);
        return;
    }
    switch (sampleBytes * 100 + strideBytes) {
        case 204: return ToInterleavedFixed<2, 4>(src, dst, frames);
        case 306: return ToInterleaved24(src, dst, frames, 6);
        case 408: return ToInterleavedFixed<4, 8>(src, dst, frames);
        case 208: return ToInterleavedFixed<2, 8>(src, dst, frames);
        case 312: return ToInterleaved24(src, dst, frames, 12);
        case 416: return ToInterleavedFixed<4, 16>(src, dst, frames);
        default: return CopyToInterleavedGeneric(src, dst, frames, sampleBytes, strideBytes);
    }
}

void CopyFromInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                         size_t strideBytes) {
    if (frames == 0) return;
    if (sampleBytes == strideBytes) {
        std::memcpy(dst, src, frames * sampleBytes);
        return;
    }
    switch (sampleBytes * 100 + strideBytes) {
        case 204: return FromInterleavedFixed<2, 4>(src, dst, frames);
        case 306: return FromInterleaved24(src, dst, frames, 6);
        case 408: return FromInterleavedFixed<4, 8>(src, dst, frames);
        case 208: return FromInterleavedFixed<2, 8>(src, dst, frames);
        case 312: return FromInterleaved24(src, dst, frames, 12);
        case 416: return FromInterleavedFixed<4, 16>(src, dst, frames);
        default: return CopyFromInterleavedGeneric(src, dst, frames, sampleBytes, strideBytes);
    }
}

void InterleaveStereo(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames,
                      size_t sampleBytes) {
    switch (sampleBytes) {
        case 2: return InterleaveStereo16(left, right, dst, frames);
        case 3: return InterleaveStereo24(left, right, dst, frames);
        case 4: return InterleaveStereoFixed<4>(left, right, dst, frames);
        default:
            CopyToInterleavedGeneric(left, dst, frames, sampleBytes, 2 * sampleBytes);
            CopyToInterleavedGeneric(right, dst + sampleBytes, frames, sampleBytes,
                                     2 * sampleBytes);
    }
}

void DeinterleaveStereo(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames,
                        size_t sampleBytes) {
    switch (sampleBytes) {
        case 2: return DeinterleaveStereoFixed<2>(src, left, right, frames);
        case 3: return DeinterleaveStereo24(src, left, right, frames);
        case 4: return DeinterleaveStereoFixed<4>(src, left, right, frames);
        default:
            CopyFromInterleavedGeneric(src, left, frames, sampleBytes, 2 * sampleBytes);
            CopyFromInterleavedGeneric(src + sampleBytes, right, frames, sampleBytes,
                                       2 * sampleBytes);
    }
}

}  // namespace veltrano::kernels
