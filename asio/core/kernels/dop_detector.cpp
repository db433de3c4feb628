#include "asio/core/kernels/dop_detector.h"

#include <array>
#include <cstring>

#include "asio/core/kernels/cpu_features.h"
#include "asio/core/kernels/dop_image.h"
#include "asio/core/kernels/dop_scan_x86.h"

namespace veltrano::kernels {
namespace dop {
namespace {

constexpr BlockImage MakeImage(size_t sampleBytes, uint8_t first, bool alternating) {
    const Pattern p = ExpectedMarkers(first, alternating);
    BlockImage image{};
    for (size_t f = 0; f < kImageBytes / sampleBytes; ++f) {
        image.mask[f * sampleBytes + sampleBytes - 1] = 0xFF;
        image.expected[f * sampleBytes + sampleBytes - 1] = p.marker[f & 3];
    }
    return image;
}

constexpr uint8_t kFirstMarkers[3] = {kMarkerA, kMarkerB, kMarkerIdle};

constexpr size_t ImageIndex(size_t sampleBytes, size_t firstIndex, bool alternating) {
    return (sampleBytes == 4 ? 6 : 0) + firstIndex * 2 + (alternating ? 1 : 0);
}

constexpr std::array<BlockImage, 12> MakeImages() {
    std::array<BlockImage, 12> images{};
    for (size_t bytes : {size_t{3}, size_t{4}}) {
        for (size_t i = 0; i < 3; ++i) {
            for (bool alternating : {false, true}) {
                images[ImageIndex(bytes, i, alternating)] =
                    MakeImage(bytes, kFirstMarkers[i], alternating);
            }
        }
    }
    return images;
}

constexpr std::array<BlockImage, 12> kImages = MakeImages();

// 32-bit words: what 32-bit builds run. 64-bit builds always have a
// vector loop, so the words stay 32 bits wide there too and the tests on
// any machine check the code the 32-bit builds carry.
using Word = uint32_t;
constexpr size_t kWords = kBlockBytes / sizeof(Word);
constexpr size_t kBlocksPerTest = 4;

inline Word LoadWord(const uint8_t* p) {
    Word w;
    std::memcpy(&w, p, sizeof(Word));
    return w;
}

// As the vector loops: four blocks per test, the differences piled up per
// word of the block, then one more group ending with the buffer (or, in a
// buffer shorter than a group, single blocks).
bool RangeMatchesWords(const uint8_t* p, size_t blocks, const BlockImage& image, size_t s) {
    Word diff[kWords] = {};
    for (size_t i = 0; i < blocks; ++i) {
        for (size_t k = 0; k < kWords; ++k) {
            const size_t at = k * sizeof(Word);
            diff[k] |= LoadWord(p + i * kBlockBytes + at) ^ LoadWord(image.expected + s + at);
        }
    }
    Word marked = 0;
    for (size_t k = 0; k < kWords; ++k) {
        marked |= diff[k] & LoadWord(image.mask + s + k * sizeof(Word));
    }
    return marked == 0;
}

bool BlocksMatchWords(const uint8_t* p, size_t bytes, size_t sampleBytes, const BlockImage& image) {
    constexpr size_t kGroupBytes = kBlocksPerTest * kBlockBytes;
    if (bytes < kGroupBytes) {
        for (size_t o = 0; o < bytes; o += kBlockBytes) {
            const size_t at = o + kBlockBytes <= bytes ? o : bytes - kBlockBytes;
            if (!RangeMatchesWords(p + at, 1, image, PictureOffset(at, sampleBytes))) return false;
        }
        return true;
    }
    size_t o = 0;
    for (; o + kGroupBytes <= bytes; o += kGroupBytes) {
        if (!RangeMatchesWords(p + o, kBlocksPerTest, image, 0)) return false;
    }
    const size_t last = bytes - kGroupBytes;
    return o == bytes ||
           RangeMatchesWords(p + last, kBlocksPerTest, image, PictureOffset(last, sampleBytes));
}

}  // namespace

const BlockImage& ImageFor(size_t sampleBytes, uint8_t first, bool alternating) {
    const size_t firstIndex = first == kMarkerA ? 0 : first == kMarkerB ? 1 : 2;
    return kImages[ImageIndex(sampleBytes, firstIndex, alternating)];
}

}  // namespace dop

namespace {

bool Scan(ScanLoop loop, const uint8_t* samples, size_t frames, size_t sampleBytes) {
    using namespace dop;
    if (samples == nullptr || frames == 0 || (sampleBytes != 3 && sampleBytes != 4)) return false;
    const uint8_t* marker = samples + sampleBytes - 1;

    const uint8_t first = marker[0];
    if (!IsMarker(first)) return false;
    // A one-sample buffer compares its single marker only.
    const bool alternating = frames > 1 && marker[sampleBytes] != first;

    const size_t bytes = frames * sampleBytes;
    if (bytes < kBlockBytes) {
        const Pattern p = ExpectedMarkers(first, alternating);
        for (size_t f = 1; f < frames; ++f) {
            if (marker[f * sampleBytes] != p.marker[f & 3]) return false;
        }
        return true;
    }
    const BlockImage& image = ImageFor(sampleBytes, first, alternating);
    switch (loop) {
#if VELTRANO_KERNELS_X86_64
        case ScanLoop::kAvx2:
            return BlocksMatchAvx2(samples, bytes, sampleBytes, image);
        case ScanLoop::kSse2:
            return BlocksMatchSse2(samples, bytes, sampleBytes, image);
#endif
        default:
            return BlocksMatchWords(samples, bytes, sampleBytes, image);
    }
}

}  // namespace

bool ScanLoopAvailable(ScanLoop loop) {
    switch (loop) {
        case ScanLoop::kWords:
            return true;
#if VELTRANO_KERNELS_X86_64
        case ScanLoop::kSse2:
            return true;
        case ScanLoop::kAvx2:
            return cpu::HasAvx2();
#endif
        default:
            return false;
    }
}

bool ScanDopMarkersWith(ScanLoop loop, const uint8_t* samples, size_t frames, size_t sampleBytes) {
    return Scan(ScanLoopAvailable(loop) ? loop : ScanLoop::kWords, samples, frames, sampleBytes);
}

bool ScanDopMarkers(const uint8_t* samples, size_t frames, size_t sampleBytes) {
#if VELTRANO_KERNELS_X86_64
    return Scan(cpu::HasAvx2() ? ScanLoop::kAvx2 : ScanLoop::kSse2, samples, frames, sampleBytes);
#else
    return Scan(ScanLoop::kWords, samples, frames, sampleBytes);
#endif
}

bool DopScanApplies(size_t sampleBytes, uint32_t pcmRate, bool nativeDsd) {
    if (pcmRate != 176400 && pcmRate != 352800) return false;
    if (sampleBytes == 3) return true;
    return sampleBytes == 4 && !nativeDsd;
}

}  // namespace veltrano::kernels
