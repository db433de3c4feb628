#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "asio/core/kernels/sample_copy.h"

namespace veltrano::kernels {
namespace {

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// Every width (16, packed 24, 32 bits) and channel count 1 to 8, at frame
// counts that include 0, 1 and odd sizes: the fast paths must write exactly
// the bytes the generic loop writes and nothing else.
TEST(SampleCopy, FastPathsMatchTheGenericLoopBitForBit) {
    for (size_t bytes : {2u, 3u, 4u}) {
        for (size_t channels = 1; channels <= 8; ++channels) {
            for (size_t frames : {0u, 1u, 7u, 88u, 441u}) {
                const size_t stride = bytes * channels;
                const auto host = RandomBytes(frames * bytes, static_cast<uint32_t>(frames + bytes));
                const auto device = RandomBytes(frames * stride + 16, 99);
                for (size_t ch = 0; ch < channels; ++ch) {
                    auto fast = device;
                    auto reference = device;
                    CopyToInterleaved(host.data(), fast.data() + ch * bytes, frames, bytes, stride);
                    CopyToInterleavedGeneric(host.data(), reference.data() + ch * bytes, frames,
                                             bytes, stride);
                    ASSERT_EQ(fast, reference) << bytes << " bytes, " << channels << " ch, " << ch;

                    std::vector<uint8_t> outFast(frames * bytes + 8, 0xCD);
                    auto outRef = outFast;
                    CopyFromInterleaved(device.data() + ch * bytes, outFast.data(), frames, bytes,
                                        stride);
                    CopyFromInterleavedGeneric(device.data() + ch * bytes, outRef.data(), frames,
                                               bytes, stride);
                    ASSERT_EQ(outFast, outRef);
                }
            }
        }
    }
}

TEST(SampleCopy, StereoPairEqualsTwoSingleChannelCopiesAndRoundTrips) {
    for (size_t bytes : {1u, 2u, 3u, 4u, 8u}) {
        for (size_t frames : {0u, 1u, 5u, 768u}) {
            const auto left = RandomBytes(frames * bytes, 1);
            const auto right = RandomBytes(frames * bytes, 2);
            std::vector<uint8_t> pair(frames * 2 * bytes + 4, 0x11);
            auto separate = pair;
            InterleaveStereo(left.data(), right.data(), pair.data(), frames, bytes);
            CopyToInterleavedGeneric(left.data(), separate.data(), frames, bytes, 2 * bytes);
            CopyToInterleavedGeneric(right.data(), separate.data() + bytes, frames, bytes,
                                     2 * bytes);
            ASSERT_EQ(pair, separate) << bytes << " bytes, " << frames << " frames";

            std::vector<uint8_t> l2(frames * bytes), r2(frames * bytes);
            DeinterleaveStereo(pair.data(), l2.data(), r2.data(), frames, bytes);
            EXPECT_EQ(l2, left);
            EXPECT_EQ(r2, right);
        }
    }
}

TEST(SampleCopy, DsdBytesKeepTheirOrderInsideEachDeviceSample) {
    // Native DSD: four consecutive host bytes form one 32-bit device sample,
    // first byte lowest in memory.
    const uint8_t host[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    uint8_t device[16] = {};
    CopyToInterleaved(host, device + 4, 2, 4, 8);  // channel 1 of 2
    const uint8_t expected[16] = {0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44,
                                  0, 0, 0, 0, 0x55, 0x66, 0x77, 0x88};
    EXPECT_EQ(0, memcmp(device, expected, sizeof(device)));
}

}  // namespace
}  // namespace veltrano::kernels
