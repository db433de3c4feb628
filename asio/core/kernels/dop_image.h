#pragma once
// What a DoP scan compares the samples with. The expected marker depends
// only on the frame index modulo 4: per-sample alternation repeats every 2
// frames, pairwise alternation every 4, the idle marker never changes.

#include <cstddef>
#include <cstdint>

namespace veltrano::kernels::dop {

constexpr uint8_t kMarkerA = 0x05;
constexpr uint8_t kMarkerB = 0xFA;
constexpr uint8_t kMarkerIdle = 0xAA;

constexpr bool IsMarker(uint8_t m) { return m == kMarkerA || m == kMarkerB || m == kMarkerIdle; }

constexpr uint8_t Flip(uint8_t expected) {
    return expected == kMarkerIdle ? expected : static_cast<uint8_t>(~expected);
}

struct Pattern {
    uint8_t marker[4];
};

constexpr Pattern ExpectedMarkers(uint8_t first, bool alternating) {
    Pattern p{};
    uint8_t expected = first;
    p.marker[0] = expected;
    for (size_t f = 1; f < 4; ++f) {
        if ((f & 1) == 0 || alternating) expected = Flip(expected);
        p.marker[f] = expected;
    }
    return p;
}

// 48 bytes hold a whole number of pattern periods for both sample sizes
// (16 packed 24-bit samples, 12 32-bit ones), so every block of a buffer is
// compared with the same picture: the marker bytes kept by `mask` must
// equal `expected`. The picture covers two blocks and one period more, so
// the picture of a block that starts s bytes into a period is the one at
// offset s: the last block of a buffer overlaps the one before it and may
// start anywhere.
constexpr size_t kBlockBytes = 48;
constexpr size_t kImageBytes = 2 * kBlockBytes + 16;

struct BlockImage {
    alignas(32) uint8_t mask[kImageBytes];
    alignas(32) uint8_t expected[kImageBytes];
};

// sampleBytes 3 or 4, first one of the three markers.
const BlockImage& ImageFor(size_t sampleBytes, uint8_t first, bool alternating);

// Where a block starting at byte `offset` of the buffer begins in the picture.
inline size_t PictureOffset(size_t offset, size_t sampleBytes) {
    return sampleBytes == 4 ? offset % 16 : offset % 12;
}

}  // namespace veltrano::kernels::dop
