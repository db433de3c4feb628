#include "asio/core/kernels/copy_x86.h"

#if VELTRANO_KERNELS_X86_64

#include "asio/core/kernels/copy_portable.h"
#include "asio/core/kernels/copy_x86_24.h"
#include "asio/core/kernels/copy_x86_blocks.h"

namespace veltrano::kernels::x86 {
namespace {

// 16-bit and 32-bit samples: SSE2 only.

struct Interleave16Op {
    static constexpr size_t kFrames = 8;
    static constexpr bool kStrict = false;
    const uint8_t* left;
    const uint8_t* right;
    uint8_t* dst;
    template <size_t N>
    void Run(size_t f) const {
        __m128i l[N], r[N];
        for (size_t u = 0; u < N; ++u) {
            l[u] = Load(left + 2 * f + 16 * u);
            r[u] = Load(right + 2 * f + 16 * u);
        }
        for (size_t u = 0; u < N; ++u) {
            Store(dst + 4 * f + 32 * u, _mm_unpacklo_epi16(l[u], r[u]));
            Store(dst + 4 * f + 32 * u + 16, _mm_unpackhi_epi16(l[u], r[u]));
        }
    }
};

// The low halves of eight 32-bit lanes, narrowed into one vector. pmaddwd
// with (1, 0) sign-extends each low half in one step (the shift pair would
// take two), so the saturating pack keeps every bit.
inline __m128i PackLow16(__m128i a, __m128i b) {
    const __m128i lowHalf = _mm_set1_epi32(1);
    return _mm_packs_epi32(_mm_madd_epi16(a, lowHalf), _mm_madd_epi16(b, lowHalf));
}

inline __m128i PackHigh16(__m128i a, __m128i b) {
    return _mm_packs_epi32(_mm_srai_epi32(a, 16), _mm_srai_epi32(b, 16));
}

struct Deinterleave16Op {
    static constexpr size_t kFrames = 8;
    static constexpr bool kStrict = false;
    const uint8_t* src;
    uint8_t* left;
    uint8_t* right;
    template <size_t N>
    void Run(size_t f) const {
        __m128i a[N], b[N];
        for (size_t u = 0; u < N; ++u) {
            a[u] = Load(src + 4 * f + 32 * u);
            b[u] = Load(src + 4 * f + 32 * u + 16);
        }
        for (size_t u = 0; u < N; ++u) Store(left + 2 * f + 16 * u, PackLow16(a[u], b[u]));
        for (size_t u = 0; u < N; ++u) Store(right + 2 * f + 16 * u, PackHigh16(a[u], b[u]));
    }
};

struct ToStride4Op {
    static constexpr size_t kFrames = 8;
    static constexpr bool kStrict = true;
    const uint8_t* src;
    uint8_t* dst;
    __m128i keep = Opaque(_mm_set1_epi32(static_cast<int>(0xFFFF0000u)));
    template <size_t N>
    void Run(size_t f) const {
        const __m128i zero = _mm_setzero_si128();
        __m128i s[N], d0[N], d1[N];
        for (size_t u = 0; u < N; ++u) {
            s[u] = Load(src + 2 * f + 16 * u);
            d0[u] = Load(dst + 4 * f + 32 * u);
            d1[u] = Load(dst + 4 * f + 32 * u + 16);
        }
        for (size_t u = 0; u < N; ++u) {
            Store(dst + 4 * f + 32 * u,
                  _mm_or_si128(_mm_and_si128(d0[u], keep), _mm_unpacklo_epi16(s[u], zero)));
            Store(dst + 4 * f + 32 * u + 16,
                  _mm_or_si128(_mm_and_si128(d1[u], keep), _mm_unpackhi_epi16(s[u], zero)));
        }
    }
};

struct FromStride4Op {
    static constexpr size_t kFrames = 8;
    static constexpr bool kStrict = true;
    const uint8_t* src;
    uint8_t* dst;
    template <size_t N>
    void Run(size_t f) const {
        __m128i a[N], b[N];
        for (size_t u = 0; u < N; ++u) {
            a[u] = Load(src + 4 * f + 32 * u);
            b[u] = Load(src + 4 * f + 32 * u + 16);
        }
        for (size_t u = 0; u < N; ++u) Store(dst + 2 * f + 16 * u, PackLow16(a[u], b[u]));
    }
};

struct Interleave32Op {
    static constexpr size_t kFrames = 4;
    static constexpr bool kStrict = false;
    const uint8_t* left;
    const uint8_t* right;
    uint8_t* dst;
    template <size_t N>
    void Run(size_t f) const {
        __m128i l[N], r[N];
        for (size_t u = 0; u < N; ++u) {
            l[u] = Load(left + 4 * f + 16 * u);
            r[u] = Load(right + 4 * f + 16 * u);
        }
        for (size_t u = 0; u < N; ++u) {
            Store(dst + 8 * f + 32 * u, _mm_unpacklo_epi32(l[u], r[u]));
            Store(dst + 8 * f + 32 * u + 16, _mm_unpackhi_epi32(l[u], r[u]));
        }
    }
};

// shufps only moves bits; nothing is read as a floating-point value.
inline __m128i EvenLanes(__m128i a, __m128i b) {
    return _mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}

inline __m128i OddLanes(__m128i a, __m128i b) {
    return _mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
}

struct Deinterleave32Op {
    static constexpr size_t kFrames = 4;
    static constexpr bool kStrict = false;
    const uint8_t* src;
    uint8_t* left;
    uint8_t* right;
    template <size_t N>
    void Run(size_t f) const {
        __m128i a[N], b[N];
        for (size_t u = 0; u < N; ++u) {
            a[u] = Load(src + 8 * f + 32 * u);
            b[u] = Load(src + 8 * f + 32 * u + 16);
        }
        for (size_t u = 0; u < N; ++u) Store(left + 4 * f + 16 * u, EvenLanes(a[u], b[u]));
        for (size_t u = 0; u < N; ++u) Store(right + 4 * f + 16 * u, OddLanes(a[u], b[u]));
    }
};

struct FromStride8Op {
    static constexpr size_t kFrames = 4;
    static constexpr bool kStrict = true;
    const uint8_t* src;
    uint8_t* dst;
    template <size_t N>
    void Run(size_t f) const {
        __m128i a[N], b[N];
        for (size_t u = 0; u < N; ++u) {
            a[u] = Load(src + 8 * f + 32 * u);
            b[u] = Load(src + 8 * f + 32 * u + 16);
        }
        for (size_t u = 0; u < N; ++u) Store(dst + 4 * f + 16 * u, EvenLanes(a[u], b[u]));
    }
};

}  // namespace

bool CopyToInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                       size_t strideBytes, bool ssse3) {
    if (strideBytes != 2 * sampleBytes) return false;
    size_t done = 0;
    switch (sampleBytes) {
        case 2:
            done = RunBlocks(ToStride4Op{src, dst}, frames);
            break;
        case 3:
            if (!ssse3) return false;
            done = ToStride6(src, dst, frames);
            break;
        default:
            // 32-bit samples: one plain store per sample is as fast as a
            // vector read-modify-write, and leaves the other channel's bytes
            // alone.
            return false;
    }
    if (done < frames) {
        portable::CopyToInterleaved(src + done * sampleBytes, dst + done * strideBytes,
                                    frames - done, sampleBytes, strideBytes);
    }
    return true;
}

bool CopyFromInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                         size_t strideBytes, bool ssse3) {
    if (strideBytes != 2 * sampleBytes) return false;
    size_t done = 0;
    switch (sampleBytes) {
        case 2:
            done = RunBlocks(FromStride4Op{src, dst}, frames);
            break;
        case 3:
            if (!ssse3) return false;
            done = FromStride6(src, dst, frames);
            break;
        case 4:
            done = RunBlocks(FromStride8Op{src, dst}, frames);
            break;
        default:
            return false;
    }
    if (done < frames) {
        portable::CopyFromInterleaved(src + done * strideBytes, dst + done * sampleBytes,
                                      frames - done, sampleBytes, strideBytes);
    }
    return true;
}

bool InterleaveStereo(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames,
                      size_t sampleBytes, bool ssse3) {
    size_t done = 0;
    switch (sampleBytes) {
        case 2:
            done = RunBlocks(Interleave16Op{left, right, dst}, frames);
            break;
        case 3:
            if (!ssse3) return false;
            done = InterleaveStereo24(left, right, dst, frames);
            break;
        case 4:
            done = RunBlocks(Interleave32Op{left, right, dst}, frames);
            break;
        default:
            return false;
    }
    const size_t offset = done * sampleBytes;
    if (done < frames) {
        portable::InterleaveStereo(left + offset, right + offset, dst + 2 * offset, frames - done,
                                   sampleBytes);
    }
    return true;
}

bool DeinterleaveStereo(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames,
                        size_t sampleBytes, bool ssse3) {
    size_t done = 0;
    switch (sampleBytes) {
        case 2:
            done = RunBlocks(Deinterleave16Op{src, left, right}, frames);
            break;
        case 3:
            if (!ssse3) return false;
            done = DeinterleaveStereo24(src, left, right, frames);
            break;
        case 4:
            done = RunBlocks(Deinterleave32Op{src, left, right}, frames);
            break;
        default:
            return false;
    }
    const size_t offset = done * sampleBytes;
    if (done < frames) {
        portable::DeinterleaveStereo(src + 2 * offset, left + offset, right + offset, frames - done,
                                     sampleBytes);
    }
    return true;
}

}  // namespace veltrano::kernels::x86

#endif
