#pragma once
// Pieces shared by the x86-64 copy loops.

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace veltrano::kernels::x86 {

// Unaligned 16-byte loads and stores: host and device buffers carry no
// alignment promise.
inline __m128i Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// A constant the optimiser cannot see: it would otherwise merge a masked
// blend with the unpack next to it into a chain of word shuffles, several
// times slower than the and/or it replaces.
inline __m128i Opaque(__m128i v) {
    __asm__("" : "+x"(v));
    return v;
}

// A block op moves kFrames frames per unit; Run<N> moves N units starting
// at frame f, and does every load before the first store: a store to an
// address the processor cannot yet tell apart from a later load (4 KiB
// apart, say) would hold that load up. The stereo ops cover whole frames,
// so their blocks may end at the last frame. The per-channel ops into
// interleaved frames rewrite whole 16-byte spans, the other channels' bytes
// with the values they had, and the ops out of interleaved frames read such
// spans: their blocks (kStrict) may only end where another frame of this
// channel follows, so every byte they touch lies between this channel's
// first and last sample.
template <typename Op>
size_t RunBlocks(Op op, size_t frames) {
    const size_t end = Op::kStrict && frames > 0 ? frames - 1 : frames;
    size_t f = 0;
    for (; f + 2 * Op::kFrames <= end; f += 2 * Op::kFrames) op.template Run<2>(f);
    if (f + Op::kFrames <= end) {
        op.template Run<1>(f);
        f += Op::kFrames;
    }
    return f;
}

}  // namespace veltrano::kernels::x86
