#include "asio/core/kernels/dop_scan_x86.h"

#if VELTRANO_KERNELS_X86_64

#include <immintrin.h>

namespace veltrano::kernels::dop {
namespace {

// Four blocks (192 bytes) are tested at once: the differences from the
// expected picture pile up per position in the group and only the pile's
// marker bytes are tested, so each vector of input costs a load, an
// exclusive or and an or, and there is one branch per group. After the
// whole groups, one more group ends with the buffer, overlapping the one
// before it. Buffers shorter than a group go block by block, the last block
// ending with the buffer.
constexpr size_t kGroupBytes = 4 * kBlockBytes;

inline __m128i Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The marker bytes of three piles of differences (picture at `s`) are zero.
inline bool Clean(const BlockImage& image, size_t s, __m128i d0, __m128i d1, __m128i d2) {
    const uint8_t* mask = image.mask + s;
    const __m128i marked = _mm_or_si128(
        _mm_or_si128(_mm_and_si128(d0, Load(mask)), _mm_and_si128(d1, Load(mask + 16))),
        _mm_and_si128(d2, Load(mask + 32)));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(marked, _mm_setzero_si128())) == 0xFFFF;
}

// Inlined into both loops, so under AVX2 it is encoded for AVX too.
inline bool ShortBufferMatches(const uint8_t* p, size_t bytes, size_t sampleBytes,
                               const BlockImage& image) {
    for (size_t o = 0; o < bytes; o += kBlockBytes) {
        const size_t at = o + kBlockBytes <= bytes ? o : bytes - kBlockBytes;
        const size_t s = PictureOffset(at, sampleBytes);
        const uint8_t* expected = image.expected + s;
        const __m128i d0 = _mm_xor_si128(Load(p + at), Load(expected));
        const __m128i d1 = _mm_xor_si128(Load(p + at + 16), Load(expected + 16));
        const __m128i d2 = _mm_xor_si128(Load(p + at + 32), Load(expected + 32));
        if (!Clean(image, s, d0, d1, d2)) return false;
    }
    return true;
}

inline bool GroupMatchesSse2(const uint8_t* p, const BlockImage& image, size_t s) {
    const uint8_t* expected = image.expected + s;
    const __m128i e0 = Load(expected), e1 = Load(expected + 16), e2 = Load(expected + 32);
    __m128i d0 = _mm_setzero_si128(), d1 = d0, d2 = d0;
    for (size_t i = 0; i < kGroupBytes; i += kBlockBytes) {
        d0 = _mm_or_si128(d0, _mm_xor_si128(Load(p + i), e0));
        d1 = _mm_or_si128(d1, _mm_xor_si128(Load(p + i + 16), e1));
        d2 = _mm_or_si128(d2, _mm_xor_si128(Load(p + i + 32), e2));
    }
    return Clean(image, s, d0, d1, d2);
}

#define VELTRANO_AVX2 __attribute__((target("avx2")))

VELTRANO_AVX2 inline __m256i Load256(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Two blocks are three 256-bit vectors; the picture covers both.
VELTRANO_AVX2 inline bool GroupMatchesAvx2(const uint8_t* p, const BlockImage& image, size_t s) {
    const uint8_t* expected = image.expected + s;
    const __m256i e0 = Load256(expected), e1 = Load256(expected + 32), e2 = Load256(expected + 64);
    __m256i d0 = _mm256_setzero_si256(), d1 = d0, d2 = d0;
    for (size_t i = 0; i < kGroupBytes; i += 2 * kBlockBytes) {
        d0 = _mm256_or_si256(d0, _mm256_xor_si256(Load256(p + i), e0));
        d1 = _mm256_or_si256(d1, _mm256_xor_si256(Load256(p + i + 32), e1));
        d2 = _mm256_or_si256(d2, _mm256_xor_si256(Load256(p + i + 64), e2));
    }
    const uint8_t* mask = image.mask + s;
    const __m256i marked =
        _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(d0, Load256(mask)),
                                        _mm256_and_si256(d1, Load256(mask + 32))),
                        _mm256_and_si256(d2, Load256(mask + 64)));
    return _mm256_testz_si256(marked, marked) != 0;
}

}  // namespace

bool BlocksMatchSse2(const uint8_t* p, size_t bytes, size_t sampleBytes, const BlockImage& image) {
    if (bytes < kGroupBytes) return ShortBufferMatches(p, bytes, sampleBytes, image);
    size_t o = 0;
    for (; o + kGroupBytes <= bytes; o += kGroupBytes) {
        if (!GroupMatchesSse2(p + o, image, 0)) return false;
    }
    const size_t last = bytes - kGroupBytes;
    return o == bytes || GroupMatchesSse2(p + last, image, PictureOffset(last, sampleBytes));
}

VELTRANO_AVX2 bool BlocksMatchAvx2(const uint8_t* p, size_t bytes, size_t sampleBytes,
                                   const BlockImage& image) {
    if (bytes < kGroupBytes) return ShortBufferMatches(p, bytes, sampleBytes, image);
    size_t o = 0;
    for (; o + kGroupBytes <= bytes; o += kGroupBytes) {
        if (!GroupMatchesAvx2(p + o, image, 0)) return false;
    }
    const size_t last = bytes - kGroupBytes;
    return o == bytes || GroupMatchesAvx2(p + last, image, PictureOffset(last, sampleBytes));
}

}  // namespace veltrano::kernels::dop

#endif
