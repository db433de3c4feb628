#include "asio/core/kernels/sample_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "asio/core/kernels/copy_portable.h"
#include "asio/core/kernels/copy_x86.h"
#include "asio/core/kernels/cpu_features.h"

namespace veltrano::kernels {
namespace {

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; i += 4) {
        const uint32_t r = rng();
        std::memcpy(v.data() + i, &r, std::min<size_t>(4, n - i));
    }
    return v;
}

// Every implementation of the four copies that a build can run: the public
// functions (whatever they pick on this processor), the portable loops (what
// 32-bit builds run) and, on x86-64, the vector loops with and without
// SSSE3, falling back to the portable loops as the public functions do.
struct CopyPath {
    std::string name;
    void (*to)(const uint8_t*, uint8_t*, size_t, size_t, size_t);
    void (*from)(const uint8_t*, uint8_t*, size_t, size_t, size_t);
    void (*interleave)(const uint8_t*, const uint8_t*, uint8_t*, size_t, size_t);
    void (*deinterleave)(const uint8_t*, uint8_t*, uint8_t*, size_t, size_t);
};

#if VELTRANO_KERNELS_X86_64
template <bool kSsse3>
CopyPath VectorPath() {
    return {kSsse3 ? "x86 with SSSE3" : "x86 SSE2 only",
            [](const uint8_t* s, uint8_t* d, size_t n, size_t b, size_t st) {
                if (!x86::CopyToInterleaved(s, d, n, b, st, kSsse3))
                    portable::CopyToInterleaved(s, d, n, b, st);
            },
            [](const uint8_t* s, uint8_t* d, size_t n, size_t b, size_t st) {
                if (!x86::CopyFromInterleaved(s, d, n, b, st, kSsse3))
                    portable::CopyFromInterleaved(s, d, n, b, st);
            },
            [](const uint8_t* l, const uint8_t* r, uint8_t* d, size_t n, size_t b) {
                if (!x86::InterleaveStereo(l, r, d, n, b, kSsse3))
                    portable::InterleaveStereo(l, r, d, n, b);
            },
            [](const uint8_t* s, uint8_t* l, uint8_t* r, size_t n, size_t b) {
                if (!x86::DeinterleaveStereo(s, l, r, n, b, kSsse3))
                    portable::DeinterleaveStereo(s, l, r, n, b);
            }};
}
#endif

std::vector<CopyPath> Paths() {
    std::vector<CopyPath> paths = {
        {"public", CopyToInterleaved, CopyFromInterleaved, InterleaveStereo, DeinterleaveStereo},
        {"portable", portable::CopyToInterleaved, portable::CopyFromInterleaved,
         portable::InterleaveStereo, portable::DeinterleaveStereo},
    };
#if VELTRANO_KERNELS_X86_64
    paths.push_back(VectorPath<false>());
    if (cpu::HasSsse3()) paths.push_back(VectorPath<true>());
#endif
    return paths;
}

// Every frame count up to a few vector blocks (each remainder after the
// blocks, and blocks that must stop one frame early because the next frame
// is not there), plus buffer-sized ones.
std::vector<size_t> FrameCounts() {
    std::vector<size_t> counts;
    for (size_t n = 0; n <= 40; ++n) counts.push_back(n);
    for (size_t n : {63u, 64u, 65u, 88u, 441u, 768u}) counts.push_back(n);
    return counts;
}

// Buffers are exactly as large as the copy's range, so the sanitizer sees
// any read or write beyond it; `offset` bytes in front move the start off
// every alignment.
struct Buffer {
    Buffer(size_t size, size_t offset, uint32_t seed)
        : bytes(RandomBytes(size + offset, seed)), offset(offset) {}
    uint8_t* data() { return bytes.data() + offset; }
    const uint8_t* data() const { return bytes.data() + offset; }
    std::vector<uint8_t> bytes;
    size_t offset;
};

// For one channel of an interleaved buffer, the device range runs from the
// buffer's start to the end of this channel's last sample: the bytes after
// it belong to channels the copy must not reach.
TEST(SampleCopy, EveryPathMatchesTheGenericLoopForEveryShape) {
    for (const CopyPath& path : Paths()) {
        for (size_t bytes : {2u, 3u, 4u}) {
            for (size_t channels = 1; channels <= 8; ++channels) {
                const size_t stride = bytes * channels;
                for (size_t frames : FrameCounts()) {
                    for (size_t ch = 0; ch < channels; ++ch) {
                        const size_t offset = (frames + ch) % 5;
                        const size_t deviceBytes =
                            frames == 0 ? 0 : (frames - 1) * stride + (ch + 1) * bytes;
                        const auto seed = static_cast<uint32_t>(frames * 64 + channels * 8 + ch);
                        SCOPED_TRACE(path.name + ": " + std::to_string(bytes) + " bytes, " +
                                     std::to_string(channels) + " ch, channel " +
                                     std::to_string(ch) + ", " + std::to_string(frames) +
                                     " frames");

                        const Buffer host(frames * bytes, offset, seed);
                        Buffer device(deviceBytes, 4 - offset % 4, seed + 1);
                        Buffer reference = device;
                        path.to(host.data(), device.data() + ch * bytes, frames, bytes, stride);
                        CopyToInterleavedGeneric(host.data(), reference.data() + ch * bytes, frames,
                                                 bytes, stride);
                        ASSERT_EQ(device.bytes, reference.bytes);

                        Buffer out(frames * bytes, offset, seed + 2);
                        Buffer outReference = out;
                        path.from(device.data() + ch * bytes, out.data(), frames, bytes, stride);
                        CopyFromInterleavedGeneric(device.data() + ch * bytes, outReference.data(),
                                                   frames, bytes, stride);
                        ASSERT_EQ(out.bytes, outReference.bytes);
                    }
                }
            }
        }
    }
}

TEST(SampleCopy, StereoPairEqualsTwoSingleChannelCopiesAndRoundTrips) {
    for (const CopyPath& path : Paths()) {
        for (size_t bytes : {1u, 2u, 3u, 4u, 8u}) {
            for (size_t frames : FrameCounts()) {
                SCOPED_TRACE(path.name + ": " + std::to_string(bytes) + " bytes, " +
                             std::to_string(frames) + " frames");
                const size_t offset = frames % 7;
                const Buffer left(frames * bytes, offset, 1);
                const Buffer right(frames * bytes, (offset + 3) % 7, 2);
                Buffer pair(frames * 2 * bytes, (offset + 1) % 7, 3);
                Buffer separate = pair;
                path.interleave(left.data(), right.data(), pair.data(), frames, bytes);
                CopyToInterleavedGeneric(left.data(), separate.data(), frames, bytes, 2 * bytes);
                CopyToInterleavedGeneric(right.data(), separate.data() + bytes, frames, bytes,
                                         2 * bytes);
                ASSERT_EQ(pair.bytes, separate.bytes);

                Buffer l2(frames * bytes, offset, 4);
                Buffer r2(frames * bytes, (offset + 5) % 7, 5);
                path.deinterleave(pair.data(), l2.data(), r2.data(), frames, bytes);
                EXPECT_TRUE(std::equal(l2.data(), l2.data() + frames * bytes, left.data()));
                EXPECT_TRUE(std::equal(r2.data(), r2.data() + frames * bytes, right.data()));
            }
        }
    }
}

#if VELTRANO_KERNELS_X86_64
// Without SSSE3 the vector code declines packed 24-bit samples, and a
// declined call must leave both buffers as they were: the caller then runs
// the portable loop over the same frames.
TEST(SampleCopy, DeclinedVectorCallTouchesNothing) {
    const auto host = RandomBytes(3 * 100, 7);
    const auto before = RandomBytes(6 * 100, 8);
    auto device = before;
    EXPECT_FALSE(x86::CopyToInterleaved(host.data(), device.data(), 100, 3, 6, false));
    EXPECT_FALSE(x86::InterleaveStereo(host.data(), host.data(), device.data(), 100, 3, false));
    EXPECT_EQ(device, before);
    auto left = host;
    auto right = host;
    EXPECT_FALSE(x86::CopyFromInterleaved(before.data(), left.data(), 100, 3, 6, false));
    EXPECT_FALSE(x86::DeinterleaveStereo(before.data(), left.data(), right.data(), 100, 3, false));
    EXPECT_EQ(left, host);
    EXPECT_EQ(right, host);
}
#endif

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
