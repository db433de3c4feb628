#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "asio/core/kernels/dop_detector.h"

namespace veltrano::kernels {
namespace {

std::vector<uint8_t> WithMarkers(const std::vector<uint8_t>& markers, size_t bytes) {
    std::vector<uint8_t> v(markers.size() * bytes);
    for (size_t i = 0; i < markers.size(); ++i) {
        for (size_t b = 0; b + 1 < bytes; ++b) v[i * bytes + b] = static_cast<uint8_t>(i * 7 + b);
        v[i * bytes + bytes - 1] = markers[i];
    }
    return v;
}

bool Scan(const std::vector<uint8_t>& markers, size_t bytes) {
    const auto samples = WithMarkers(markers, bytes);
    return ScanDopMarkers(samples.data(), markers.size(), bytes);
}

TEST(DopDetector, AcceptsPerSampleAndPairwiseAlternationAndIdleMarkers) {
    for (size_t bytes : {3u, 4u}) {
        EXPECT_TRUE(Scan({0x05, 0xFA, 0x05, 0xFA, 0x05, 0xFA}, bytes));
        EXPECT_TRUE(Scan({0xFA, 0x05, 0xFA, 0x05}, bytes));
        EXPECT_TRUE(Scan({0x05, 0x05, 0xFA, 0xFA, 0x05, 0x05, 0xFA}, bytes));
        EXPECT_TRUE(Scan({0xAA, 0xAA, 0xAA}, bytes));
        EXPECT_TRUE(Scan({0xFA}, bytes));  // a single sample compares its own marker only
    }
}

TEST(DopDetector, RejectsForeignMarkersBrokenPatternsAndEmptyBuffers) {
    EXPECT_FALSE(Scan({0x05, 0xFA, 0x05, 0x17, 0x05, 0xFA}, 3));  // one foreign marker
    EXPECT_FALSE(Scan({0x05, 0xFA, 0xFA, 0x05}, 3));               // pattern breaks at frame 2
    EXPECT_FALSE(Scan({0x05, 0x05, 0x05, 0x05}, 3));               // no alternation at all
    EXPECT_FALSE(Scan({0xAA, 0x05}, 3));
    EXPECT_FALSE(Scan({0x00}, 3));
    EXPECT_FALSE(Scan({}, 3));
    EXPECT_FALSE(ScanDopMarkers(nullptr, 4, 3));
    // 16-bit samples carry no marker byte.
    const uint8_t pcm16[4] = {0x00, 0x05, 0x00, 0xFA};
    EXPECT_FALSE(ScanDopMarkers(pcm16, 2, 2));
}

TEST(DopDetector, MarkerIsTheMostSignificantByteOfEachSample) {
    // The markers sit in byte 2 of a packed 24-bit sample: read as 32-bit
    // samples the same bytes do not form a pattern.
    const auto packed = WithMarkers({0x05, 0xFA, 0x05, 0xFA}, 3);
    EXPECT_TRUE(ScanDopMarkers(packed.data(), 4, 3));
    EXPECT_FALSE(ScanDopMarkers(packed.data(), 3, 4));
}

TEST(DopDetector, ScanAppliesOnlyToDopCarrierRatesAndWideSamples) {
    EXPECT_TRUE(DopScanApplies(3, 176400, false));
    EXPECT_TRUE(DopScanApplies(3, 352800, true));  // nativeDsd only gates 32-bit samples
    EXPECT_TRUE(DopScanApplies(4, 352800, false));
    EXPECT_FALSE(DopScanApplies(4, 176400, true));
    EXPECT_FALSE(DopScanApplies(3, 96000, false));
    EXPECT_FALSE(DopScanApplies(3, 88200, false));
    EXPECT_FALSE(DopScanApplies(2, 176400, false));
}

}  // namespace
}  // namespace veltrano::kernels

namespace veltrano::kernels {
namespace {

// Long buffers take the word-at-a-time path: a single wrong marker anywhere,
// including in the last block and in the tail after the blocks, must be seen.
TEST(DopDetector, LongBuffersRejectAMismatchAtAnyPosition) {
    for (size_t bytes : {3u, 4u}) {
        for (bool pairwise : {false, true}) {
            std::vector<uint8_t> markers(203);
            for (size_t i = 0; i < markers.size(); ++i) {
                const size_t phase = pairwise ? (i / 2) : i;
                markers[i] = (phase & 1) ? 0xFA : 0x05;
            }
            ASSERT_TRUE(Scan(markers, bytes));
            for (size_t pos : {1u, 63u, 64u, 127u, 191u, 192u, 202u}) {
                auto broken = markers;
                broken[pos] = 0xAA;
                EXPECT_FALSE(Scan(broken, bytes)) << bytes << " bytes, pos " << pos;
            }
            // The audio bytes below the marker never matter.
            auto samples = WithMarkers(markers, bytes);
            for (size_t i = 0; i < markers.size(); ++i) samples[i * bytes] ^= 0xFF;
            EXPECT_TRUE(ScanDopMarkers(samples.data(), markers.size(), bytes));
        }
    }
}

}  // namespace
}  // namespace veltrano::kernels
