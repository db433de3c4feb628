#include "asio/core/kernels/dop_detector.h"

#include <cstring>

namespace veltrano::kernels {
namespace {

constexpr uint8_t kMarkerA = 0x05;
constexpr uint8_t kMarkerB = 0xFA;
constexpr uint8_t kMarkerIdle = 0xAA;

inline bool IsMarker(uint8_t m) { return m == kMarkerA || m == kMarkerB || m == kMarkerIdle; }

inline uint8_t Flip(uint8_t expected) {
    return expected == kMarkerIdle ? expected : static_cast<uint8_t>(~expected);
}

}  // namespace

// The expected marker depends only on the frame index modulo 4: per-sample
// alternation repeats every 2 frames, pairwise alternation every 4, the idle
// marker never changes. So the scan compares 4 frames at a time against a
// precomputed pattern with word masks, instead of one branch per frame.
bool ScanDopMarkers(const uint8_t* samples, size_t frames, size_t sampleBytes) {
    if (samples == nullptr || frames == 0 || (sampleBytes != 3 && sampleBytes != 4)) return false;
    const uint8_t* marker = samples + sampleBytes - 1;

    const uint8_t first = marker[0];
    if (!IsMarker(first)) return false;
    // A one-sample buffer compares its single marker only.
    const bool alternating = frames > 1 && marker[sampleBytes] != first;

    uint8_t pattern[4];
    uint8_t expected = first;
    pattern[0] = expected;
    for (size_t f = 1; f < 4; ++f) {
        if ((f & 1) == 0 || alternating) expected = Flip(expected);
        pattern[f] = expected;
    }

    size_t f = 0;
    if (sampleBytes == 4) {
        // Markers are the top byte of each little-endian 32-bit sample.
        constexpr uint64_t kMask = 0xFF000000FF000000ull;
        const uint64_t a = (uint64_t{pattern[0]} << 24) | (uint64_t{pattern[1]} << 56);
        const uint64_t b = (uint64_t{pattern[2]} << 24) | (uint64_t{pattern[3]} << 56);
        while (frames - f >= 16) {
            uint64_t diff = 0;
            for (size_t block = 0; block < 4; ++block, f += 4) {
                uint64_t w0;
                uint64_t w1;
                std::memcpy(&w0, samples + 4 * f, 8);
                std::memcpy(&w1, samples + 4 * f + 8, 8);
                diff |= ((w0 & kMask) ^ a) | ((w1 & kMask) ^ b);
            }
            if (diff != 0) return false;
        }
    } else {
        // Four packed 24-bit samples are 12 bytes: markers at bytes 2, 5, 8, 11.
        constexpr uint64_t kMask64 = 0x0000FF0000FF0000ull;
        constexpr uint32_t kMask32 = 0xFF0000FFu;
        const uint64_t a = (uint64_t{pattern[0]} << 16) | (uint64_t{pattern[1]} << 40);
        const uint32_t b = uint32_t{pattern[2]} | (uint32_t{pattern[3]} << 24);
        while (frames - f >= 16) {
            uint64_t diff = 0;
            for (size_t block = 0; block < 4; ++block, f += 4) {
                uint64_t w0;
                uint32_t w1;
                std::memcpy(&w0, samples + 3 * f, 8);
                std::memcpy(&w1, samples + 3 * f + 8, 4);
                diff |= ((w0 & kMask64) ^ a) | ((w1 & kMask32) ^ b);
            }
            if (diff != 0) return false;
        }
    }
    for (; f < frames; ++f) {
        if (marker[f * sampleBytes] != pattern[f & 3]) return false;
    }
    return true;
}

bool DopScanApplies(size_t sampleBytes, uint32_t pcmRate, bool nativeDsd) {
    if (pcmRate != 176400 && pcmRate != 352800) return false;
    if (sampleBytes == 3) return true;
    return sampleBytes == 4 && !nativeDsd;
}

}  // namespace veltrano::kernels
