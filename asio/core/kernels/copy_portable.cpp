#include "asio/core/kernels/copy_portable.h"

#include <cstring>

#include "asio/core/kernels/sample_copy.h"

namespace veltrano::kernels::portable {
namespace {

// A fixed-size memcpy compiles to one load and one store of that size; a
// constant stride (kStride, 0 for any) lets the compiler unroll and
// vectorise the loop.
template <size_t kBytes, size_t kStride = 0>
void ToStrided(const uint8_t* src, uint8_t* dst, size_t frames, size_t stride) {
    if (kStride != 0) stride = kStride;
    for (size_t f = 0; f < frames; ++f) std::memcpy(dst + f * stride, src + f * kBytes, kBytes);
}

template <size_t kBytes, size_t kStride = 0>
void FromStrided(const uint8_t* src, uint8_t* dst, size_t frames, size_t stride) {
    if (kStride != 0) stride = kStride;
    for (size_t f = 0; f < frames; ++f) std::memcpy(dst + f * kBytes, src + f * stride, kBytes);
}

// One packed 24-bit channel into frames of `stride` (at least 4) bytes: a
// 32-bit read-modify-write keeps the neighbouring byte as it was. The last
// frame takes an exact 3-byte copy, so nothing past the channel's last
// sample is touched.
void ToStrided24(const uint8_t* src, uint8_t* dst, size_t frames, size_t stride) {
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

void FromStrided24(const uint8_t* src, uint8_t* dst, size_t frames, size_t stride) {
    if (frames == 0) return;
    for (size_t f = 0; f + 1 < frames; ++f) {
        uint32_t s;
        std::memcpy(&s, src + f * stride, 4);
        std::memcpy(dst + 3 * f, &s, 4);  // the extra byte is overwritten next frame
    }
    std::memcpy(dst + 3 * (frames - 1), src + (frames - 1) * stride, 3);
}

// Two 16-bit samples make one 32-bit frame, so the pair is built in a
// register and stored once.
void Interleave16(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames) {
    for (size_t f = 0; f < frames; ++f) {
        uint16_t l;
        uint16_t r;
        std::memcpy(&l, left + 2 * f, 2);
        std::memcpy(&r, right + 2 * f, 2);
        const uint32_t frame = static_cast<uint32_t>(l) | (static_cast<uint32_t>(r) << 16);
        std::memcpy(dst + 4 * f, &frame, 4);
    }
}

void Deinterleave16(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames) {
    for (size_t f = 0; f < frames; ++f) {
        uint32_t frame;
        std::memcpy(&frame, src + 4 * f, 4);
        const auto l = static_cast<uint16_t>(frame);
        const auto r = static_cast<uint16_t>(frame >> 16);
        std::memcpy(left + 2 * f, &l, 2);
        std::memcpy(right + 2 * f, &r, 2);
    }
}

// Packed 24-bit samples move as 32-bit words: each store writes one byte
// too many, and the next store puts the right value there. The last frame
// uses exact 3-byte copies so nothing outside the buffers is read or written.
void Interleave24(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames) {
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

void Deinterleave24(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames) {
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

template <size_t kBytes>
void InterleaveFixed(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames) {
    for (size_t f = 0; f < frames; ++f) {
        std::memcpy(dst + f * 2 * kBytes, left + f * kBytes, kBytes);
        std::memcpy(dst + f * 2 * kBytes + kBytes, right + f * kBytes, kBytes);
    }
}

template <size_t kBytes>
void DeinterleaveFixed(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames) {
    for (size_t f = 0; f < frames; ++f) {
        std::memcpy(left + f * kBytes, src + f * 2 * kBytes, kBytes);
        std::memcpy(right + f * kBytes, src + f * 2 * kBytes + kBytes, kBytes);
    }
}

}  // namespace

void CopyToInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                       size_t strideBytes) {
    if (frames == 0) return;
    if (sampleBytes == strideBytes) {
        std::memcpy(dst, src, frames * sampleBytes);
        return;
    }
    // A stride shorter than a sample overlaps frames: only the byte loop
    // defines that.
    if (strideBytes > sampleBytes) {
        switch (sampleBytes * 100 + strideBytes) {
            case 204:
                return ToStrided<2, 4>(src, dst, frames, strideBytes);
            case 208:
                return ToStrided<2, 8>(src, dst, frames, strideBytes);
            case 408:
                return ToStrided<4, 8>(src, dst, frames, strideBytes);
            case 416:
                return ToStrided<4, 16>(src, dst, frames, strideBytes);
            default:
                break;
        }
        switch (sampleBytes) {
            case 2:
                return ToStrided<2>(src, dst, frames, strideBytes);
            case 3:
                return ToStrided24(src, dst, frames, strideBytes);
            case 4:
                return ToStrided<4>(src, dst, frames, strideBytes);
            default:
                break;
        }
    }
    CopyToInterleavedGeneric(src, dst, frames, sampleBytes, strideBytes);
}

void CopyFromInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                         size_t strideBytes) {
    if (frames == 0) return;
    if (sampleBytes == strideBytes) {
        std::memcpy(dst, src, frames * sampleBytes);
        return;
    }
    if (strideBytes > sampleBytes) {
        switch (sampleBytes * 100 + strideBytes) {
            case 204:
                return FromStrided<2, 4>(src, dst, frames, strideBytes);
            case 208:
                return FromStrided<2, 8>(src, dst, frames, strideBytes);
            case 408:
                return FromStrided<4, 8>(src, dst, frames, strideBytes);
            case 416:
                return FromStrided<4, 16>(src, dst, frames, strideBytes);
            default:
                break;
        }
        switch (sampleBytes) {
            case 2:
                return FromStrided<2>(src, dst, frames, strideBytes);
            case 3:
                return FromStrided24(src, dst, frames, strideBytes);
            case 4:
                return FromStrided<4>(src, dst, frames, strideBytes);
            default:
                break;
        }
    }
    CopyFromInterleavedGeneric(src, dst, frames, sampleBytes, strideBytes);
}

void InterleaveStereo(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames,
                      size_t sampleBytes) {
    switch (sampleBytes) {
        case 2:
            return Interleave16(left, right, dst, frames);
        case 3:
            return Interleave24(left, right, dst, frames);
        case 4:
            return InterleaveFixed<4>(left, right, dst, frames);
        default:
            CopyToInterleavedGeneric(left, dst, frames, sampleBytes, 2 * sampleBytes);
            CopyToInterleavedGeneric(right, dst + sampleBytes, frames, sampleBytes,
                                     2 * sampleBytes);
    }
}

void DeinterleaveStereo(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames,
                        size_t sampleBytes) {
    switch (sampleBytes) {
        case 2:
            return Deinterleave16(src, left, right, frames);
        case 3:
            return Deinterleave24(src, left, right, frames);
        case 4:
            return DeinterleaveFixed<4>(src, left, right, frames);
        default:
            CopyFromInterleavedGeneric(src, left, frames, sampleBytes, 2 * sampleBytes);
            CopyFromInterleavedGeneric(src + sampleBytes, right, frames, sampleBytes,
                                       2 * sampleBytes);
    }
}

}  // namespace veltrano::kernels::portable
