#include "asio/core/kernels/dop_detector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace veltrano::kernels {
namespace {

// The detection rule spelled out frame by frame: ok stays true only while
// every marker is one of the three and equals the expected one; the
// expected marker flips at every even frame and, when the first two markers
// differ, at every odd frame too; 0xAA never flips.
bool ReferenceScan(const std::vector<uint8_t>& markers) {
    if (markers.empty()) return false;
    bool ok = true;
    bool alternating = false;
    uint8_t expected = 0;
    for (size_t f = 0; f < markers.size(); ++f) {
        const uint8_t m = markers[f];
        if (m != 0x05 && m != 0xFA && m != 0xAA) ok = false;
        if (f == 0) {
            expected = m;
            alternating = markers.size() > 1 && markers[1] != m;
        } else if ((f % 2 == 0 || alternating) && expected != 0xAA) {
            expected = static_cast<uint8_t>(~expected);
        }
        if (m != expected) ok = false;
    }
    return ok;
}

// Samples with the given markers in their top byte and varying audio bytes
// below, starting `offset` bytes into the returned buffer's allocation, which
// ends with the last sample.
struct Samples {
    Samples(const std::vector<uint8_t>& markers, size_t bytes, size_t offset = 0)
        : storage(offset + markers.size() * bytes), offset(offset) {
        for (size_t i = 0; i < markers.size(); ++i) {
            for (size_t b = 0; b + 1 < bytes; ++b) {
                storage[offset + i * bytes + b] = static_cast<uint8_t>(i * 7 + b * 13);
            }
            storage[offset + i * bytes + bytes - 1] = markers[i];
        }
    }
    const uint8_t* data() const { return storage.data() + offset; }
    std::vector<uint8_t> storage;
    size_t offset;
};

// The public scan and every loop this processor can run.
std::vector<std::pair<std::string, ScanLoop>> Loops() {
    std::vector<std::pair<std::string, ScanLoop>> loops;
    for (auto [name, loop] :
         {std::pair{"words", ScanLoop::kWords}, std::pair{"SSE2", ScanLoop::kSse2},
          std::pair{"AVX2", ScanLoop::kAvx2}}) {
        if (ScanLoopAvailable(loop)) loops.emplace_back(name, loop);
    }
    return loops;
}

// Runs the public scan and every loop on the same samples; they must all
// give `expected`.
void ExpectScan(const std::vector<uint8_t>& markers, size_t bytes, bool expected,
                size_t offset = 0) {
    const Samples samples(markers, bytes, offset);
    EXPECT_EQ(expected, ScanDopMarkers(samples.data(), markers.size(), bytes))
        << "public, " << bytes << " bytes, " << markers.size() << " frames";
    for (const auto& [name, loop] : Loops()) {
        EXPECT_EQ(expected, ScanDopMarkersWith(loop, samples.data(), markers.size(), bytes))
            << name << ", " << bytes << " bytes, " << markers.size() << " frames";
    }
}

std::vector<uint8_t> Pattern(size_t frames, bool pairwise, uint8_t first = 0x05) {
    std::vector<uint8_t> markers(frames);
    for (size_t i = 0; i < frames; ++i) {
        const size_t phase = pairwise ? i / 2 : i;
        markers[i] = (phase & 1) ? static_cast<uint8_t>(~first) : first;
    }
    return markers;
}

TEST(DopDetector, AcceptsPerSampleAndPairwiseAlternationAndIdleMarkers) {
    for (size_t bytes : {3u, 4u}) {
        ExpectScan({0x05, 0xFA, 0x05, 0xFA, 0x05, 0xFA}, bytes, true);
        ExpectScan({0xFA, 0x05, 0xFA, 0x05}, bytes, true);
        ExpectScan({0x05, 0x05, 0xFA, 0xFA, 0x05, 0x05, 0xFA}, bytes, true);
        ExpectScan({0xAA, 0xAA, 0xAA}, bytes, true);
        ExpectScan({0xFA}, bytes, true);  // a single sample compares its own marker only
    }
}

TEST(DopDetector, RejectsForeignMarkersBrokenPatternsAndEmptyBuffers) {
    ExpectScan({0x05, 0xFA, 0x05, 0x17, 0x05, 0xFA}, 3, false);  // one foreign marker
    ExpectScan({0x05, 0xFA, 0xFA, 0x05}, 3, false);              // pattern breaks at frame 2
    ExpectScan({0x05, 0x05, 0x05, 0x05}, 3, false);              // no alternation at all
    ExpectScan({0xAA, 0x05}, 3, false);
    ExpectScan({0x00}, 3, false);
    ExpectScan({}, 3, false);
    EXPECT_FALSE(ScanDopMarkers(nullptr, 4, 3));
    // 16-bit samples carry no marker byte.
    const uint8_t pcm16[4] = {0x00, 0x05, 0x00, 0xFA};
    EXPECT_FALSE(ScanDopMarkers(pcm16, 2, 2));
}

TEST(DopDetector, MarkerIsTheMostSignificantByteOfEachSample) {
    // The markers sit in byte 2 of a packed 24-bit sample: read as 32-bit
    // samples the same bytes do not form a pattern.
    const Samples packed({0x05, 0xFA, 0x05, 0xFA}, 3);
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

// Every length from one sample to several groups of blocks, so the scan
// ends in every way: short buffers, a last block or group that overlaps the
// one before, exact multiples. A single wrong marker is seen wherever it is,
// the last frame included, and whatever it is: foreign, idle, or the other
// marker of the pattern.
TEST(DopDetector, EveryLengthAndEveryLoopSeesASingleWrongMarkerAnywhere) {
    for (size_t bytes : {3u, 4u}) {
        for (bool pairwise : {false, true}) {
            for (size_t frames = 1; frames <= 200; ++frames) {
                const auto markers = Pattern(frames, pairwise, frames % 2 ? 0x05 : 0xFA);
                ExpectScan(markers, bytes, true, frames % 5);
                std::vector<size_t> positions = {0, frames / 2, frames - 1};
                if (frames > 1) positions.push_back(1);
                for (size_t pos : positions) {
                    for (uint8_t wrong :
                         {uint8_t{0x17}, uint8_t{0xAA}, static_cast<uint8_t>(~markers[pos])}) {
                        auto broken = markers;
                        broken[pos] = wrong;
                        // Past the first two frames the expected markers are
                        // fixed, so any change there breaks the pattern.
                        if (pos >= 2) {
                            ASSERT_FALSE(ReferenceScan(broken));
                        }
                        ExpectScan(broken, bytes, ReferenceScan(broken), frames % 3);
                    }
                }
            }
        }
    }
}

TEST(DopDetector, AudioBytesBelowTheMarkerNeverMatter) {
    for (size_t bytes : {3u, 4u}) {
        for (size_t frames : {47u, 203u, 768u}) {
            const auto markers = Pattern(frames, true);
            Samples samples(markers, bytes);
            for (size_t i = 0; i < frames; ++i) {
                for (size_t b = 0; b + 1 < bytes; ++b) samples.storage[i * bytes + b] = 0xFF;
            }
            EXPECT_TRUE(ScanDopMarkers(samples.data(), frames, bytes));
            for (const auto& [name, loop] : Loops()) {
                EXPECT_TRUE(ScanDopMarkersWith(loop, samples.data(), frames, bytes)) << name;
            }
        }
    }
}

// Random marker streams close to a valid pattern (a few markers replaced,
// or the idle marker, or a pattern starting on its second phase), checked
// against the rule as written.
TEST(DopDetector, RandomStreamsAgreeWithTheRule) {
    std::mt19937 rng(2024);
    const uint8_t palette[] = {0x05, 0xFA, 0xAA, 0x00, 0xFF, 0x04};
    for (int round = 0; round < 600; ++round) {
        const size_t frames = 1 + rng() % 400;
        const size_t bytes = 3 + rng() % 2;
        std::vector<uint8_t> markers;
        switch (rng() % 3) {
            case 0:
                markers = Pattern(frames, rng() % 2 != 0, rng() % 2 ? 0x05 : 0xFA);
                break;
            case 1:
                markers.assign(frames, 0xAA);
                break;
            default:
                markers = Pattern(frames + 1, rng() % 2 != 0);
                markers.erase(markers.begin());
        }
        for (unsigned changes = rng() % 3; changes > 0; --changes) {
            markers[rng() % frames] = palette[rng() % std::size(palette)];
        }
        ExpectScan(markers, bytes, ReferenceScan(markers), rng() % 16);
    }
}

}  // namespace
}  // namespace veltrano::kernels
