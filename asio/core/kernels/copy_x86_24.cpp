#include "asio/core/kernels/copy_x86_24.h"

#if VELTRANO_KERNELS_X86_64

#include <tmmintrin.h>

#include "asio/core/kernels/copy_x86_blocks.h"

#define VELTRANO_SSSE3 __attribute__((target("ssse3")))

namespace veltrano::kernels::x86 {
namespace {

// Eight frames per unit: 24 bytes per channel, 48 interleaved bytes. Each
// output vector is built with pshufb from the input vectors that hold its
// bytes; the shuffle masks are computed at compile time from the layout.

// The same loop as RunBlocks, compiled for SSSE3 so the ops inline.
template <typename Op>
VELTRANO_SSSE3 size_t RunBlocksSsse3(Op op, size_t frames) {
    const size_t end = Op::kStrict && frames > 0 ? frames - 1 : frames;
    size_t f = 0;
    for (; f + 2 * Op::kFrames <= end; f += 2 * Op::kFrames) op.template Run<2>(f);
    if (f + Op::kFrames <= end) {
        op.template Run<1>(f);
        f += Op::kFrames;
    }
    return f;
}

struct Mask {
    alignas(16) uint8_t b[16];
};

// Output byte i of a vector takes input byte where(i) if that lies in the
// input vector starting at `base`, else zero (pshufb zeroes a lane whose
// index has the top bit set). where(i) < 0: no input byte.
template <typename Where>
constexpr Mask Pick(Where where, int base) {
    Mask m{};
    for (int i = 0; i < 16; ++i) {
        const int s = where(i);
        m.b[i] = (s >= base && s < base + 16) ? static_cast<uint8_t>(s - base) : 0x80;
    }
    return m;
}

// Interleaved byte k belongs to frame k / 6, the left sample's bytes first.
constexpr int LeftByteOf(int k) { return k % 6 < 3 ? 3 * (k / 6) + k % 6 : -1; }
constexpr int RightByteOf(int k) { return k % 6 < 3 ? -1 : 3 * (k / 6) + k % 6 - 3; }
// Where byte k of a packed channel sits among interleaved frames.
constexpr int LeftSourceOf(int k) { return 6 * (k / 3) + k % 3; }
constexpr int RightSourceOf(int k) { return 6 * (k / 3) + 3 + k % 3; }

// Interleaved bytes kFirst.. taken from the left or the right channel.
template <int kFirst>
constexpr Mask InterleavedLeft(int base) {
    return Pick([](int i) { return LeftByteOf(kFirst + i); }, base);
}
template <int kFirst>
constexpr Mask InterleavedRight(int base) {
    return Pick([](int i) { return RightByteOf(kFirst + i); }, base);
}
// Channel bytes kFirst.. taken from interleaved frames.
template <int kFirst>
constexpr Mask PackedLeft(int base) {
    return Pick([](int i) { return LeftSourceOf(kFirst + i); }, base);
}
template <int kFirst>
constexpr Mask PackedRight(int base) {
    return Pick([](int i) { return RightSourceOf(kFirst + i); }, base);
}
// Bytes 16..23 of the left channel in lanes 0-7, those of the right in
// lanes 8-15.
constexpr Mask PackedTails(int base) {
    return Pick([](int i) { return i < 8 ? LeftSourceOf(16 + i) : RightSourceOf(8 + i); }, base);
}
// 0xFF in the lanes of an interleaved vector that hold the other channel.
template <int kFirst>
constexpr Mask OtherChannel() {
    Mask m{};
    for (int i = 0; i < 16; ++i) m.b[i] = LeftByteOf(kFirst + i) < 0 ? 0xFF : 0x00;
    return m;
}

inline __m128i LoadMask(const Mask& m) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m.b));
}

VELTRANO_SSSE3 inline __m128i Shuffle(__m128i v, const Mask& m) {
    return _mm_shuffle_epi8(v, LoadMask(m));
}

// Interleaving reads channel bytes 0-15 (l0, r0) and 8-23 (l1, r1).
constexpr Mask kIlL0 = InterleavedLeft<0>(0), kIlR0 = InterleavedRight<0>(0);
constexpr Mask kIlL1 = InterleavedLeft<16>(8), kIlR1 = InterleavedRight<16>(0);
constexpr Mask kIlL2 = InterleavedLeft<32>(8), kIlR2 = InterleavedRight<32>(8);

struct Interleave24Op {
    static constexpr size_t kFrames = 8;
    static constexpr bool kStrict = false;
    const uint8_t* left;
    const uint8_t* right;
    uint8_t* dst;
    template <size_t N>
    VELTRANO_SSSE3 void Run(size_t f) const {
        __m128i l0[N], l1[N], r0[N], r1[N];
        for (size_t u = 0; u < N; ++u) {
            l0[u] = Load(left + 3 * f + 24 * u);
            l1[u] = Load(left + 3 * f + 24 * u + 8);
            r0[u] = Load(right + 3 * f + 24 * u);
            r1[u] = Load(right + 3 * f + 24 * u + 8);
        }
        for (size_t u = 0; u < N; ++u) {
            uint8_t* out = dst + 6 * f + 48 * u;
            Store(out, _mm_or_si128(Shuffle(l0[u], kIlL0), Shuffle(r0[u], kIlR0)));
            Store(out + 16, _mm_or_si128(Shuffle(l1[u], kIlL1), Shuffle(r0[u], kIlR1)));
            Store(out + 32, _mm_or_si128(Shuffle(l1[u], kIlL2), Shuffle(r1[u], kIlR2)));
        }
    }
};

// Deinterleaving reads interleaved bytes 0-15 (s0), 16-31 (s1), 32-47 (s2).
constexpr Mask kPkL0 = PackedLeft<0>(0), kPkL1 = PackedLeft<0>(16);
constexpr Mask kPkR0 = PackedRight<0>(0), kPkR1 = PackedRight<0>(16), kPkR2 = PackedRight<0>(32);
constexpr Mask kPkT1 = PackedTails(16), kPkT2 = PackedTails(32);

struct Deinterleave24Op {
    static constexpr size_t kFrames = 8;
    static constexpr bool kStrict = false;
    const uint8_t* src;
    uint8_t* left;
    uint8_t* right;
    template <size_t N>
    VELTRANO_SSSE3 void Run(size_t f) const {
        __m128i s0[N], s1[N], s2[N];
        for (size_t u = 0; u < N; ++u) {
            s0[u] = Load(src + 6 * f + 48 * u);
            s1[u] = Load(src + 6 * f + 48 * u + 16);
            s2[u] = Load(src + 6 * f + 48 * u + 32);
        }
        for (size_t u = 0; u < N; ++u) {
            uint8_t* l = left + 3 * f + 24 * u;
            uint8_t* r = right + 3 * f + 24 * u;
            const __m128i tails = _mm_or_si128(Shuffle(s1[u], kPkT1), Shuffle(s2[u], kPkT2));
            Store(l, _mm_or_si128(Shuffle(s0[u], kPkL0), Shuffle(s1[u], kPkL1)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(l + 16), tails);
            Store(r, _mm_or_si128(_mm_or_si128(Shuffle(s0[u], kPkR0), Shuffle(s1[u], kPkR1)),
                                  Shuffle(s2[u], kPkR2)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(r + 16), _mm_unpackhi_epi64(tails, tails));
        }
    }
};

constexpr Mask kKeep0 = OtherChannel<0>(), kKeep1 = OtherChannel<16>(), kKeep2 = OtherChannel<32>();

struct ToStride6Op {
    static constexpr size_t kFrames = 8;
    static constexpr bool kStrict = true;
    const uint8_t* src;
    uint8_t* dst;
    __m128i keep0 = Opaque(LoadMask(kKeep0));
    __m128i keep1 = Opaque(LoadMask(kKeep1));
    __m128i keep2 = Opaque(LoadMask(kKeep2));
    template <size_t N>
    VELTRANO_SSSE3 void Run(size_t f) const {
        __m128i s0[N], s1[N], d0[N], d1[N], d2[N];
        for (size_t u = 0; u < N; ++u) {
            s0[u] = Load(src + 3 * f + 24 * u);
            s1[u] = Load(src + 3 * f + 24 * u + 8);
            d0[u] = Load(dst + 6 * f + 48 * u);
            d1[u] = Load(dst + 6 * f + 48 * u + 16);
            d2[u] = Load(dst + 6 * f + 48 * u + 32);
        }
        for (size_t u = 0; u < N; ++u) {
            uint8_t* out = dst + 6 * f + 48 * u;
            Store(out, _mm_or_si128(_mm_and_si128(d0[u], keep0), Shuffle(s0[u], kIlL0)));
            Store(out + 16, _mm_or_si128(_mm_and_si128(d1[u], keep1), Shuffle(s1[u], kIlL1)));
            Store(out + 32, _mm_or_si128(_mm_and_si128(d2[u], keep2), Shuffle(s1[u], kIlL2)));
        }
    }
};

constexpr Mask kPkL1Tail = PackedLeft<16>(16), kPkL2Tail = PackedLeft<16>(32);

struct FromStride6Op {
    static constexpr size_t kFrames = 8;
    static constexpr bool kStrict = true;
    const uint8_t* src;
    uint8_t* dst;
    template <size_t N>
    VELTRANO_SSSE3 void Run(size_t f) const {
        __m128i s0[N], s1[N], s2[N];
        for (size_t u = 0; u < N; ++u) {
            s0[u] = Load(src + 6 * f + 48 * u);
            s1[u] = Load(src + 6 * f + 48 * u + 16);
            s2[u] = Load(src + 6 * f + 48 * u + 32);
        }
        for (size_t u = 0; u < N; ++u) {
            uint8_t* out = dst + 3 * f + 24 * u;
            Store(out, _mm_or_si128(Shuffle(s0[u], kPkL0), Shuffle(s1[u], kPkL1)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16),
                             _mm_or_si128(Shuffle(s1[u], kPkL1Tail), Shuffle(s2[u], kPkL2Tail)));
        }
    }
};

}  // namespace

size_t InterleaveStereo24(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames) {
    return RunBlocksSsse3(Interleave24Op{left, right, dst}, frames);
}

size_t DeinterleaveStereo24(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames) {
    return RunBlocksSsse3(Deinterleave24Op{src, left, right}, frames);
}

size_t ToStride6(const uint8_t* src, uint8_t* dst, size_t frames) {
    return RunBlocksSsse3(ToStride6Op{src, dst}, frames);
}

size_t FromStride6(const uint8_t* src, uint8_t* dst, size_t frames) {
    return RunBlocksSsse3(FromStride6Op{src, dst}, frames);
}

}  // namespace veltrano::kernels::x86

#endif
