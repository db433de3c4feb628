#include "tools/probe/test_signal.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cmath>
#include <numbers>

namespace {

using namespace veltrano::probe;

int32_t Unpack(const uint8_t* p, int width) {
    uint32_t v = 0;
    for (int b = 0; b < width; ++b) v |= uint32_t(p[b]) << (8 * b);
    const int shift = 32 - 8 * width;
    return static_cast<int32_t>(v << shift) >> shift;
}

TEST(TestSignal, PatternIsPackedLittleEndianAndContinuesAcrossBuffers) {
    for (SampleFormat format : {SampleFormat::Int16, SampleFormat::Int24, SampleFormat::Int32}) {
        const int width = FormatBits(format) / 8;
        TestSignal split(SignalKind::Pattern, format, 48000, 2);
        TestSignal whole(SignalKind::Pattern, format, 48000, 2);
        std::vector<uint8_t> a(ChannelBytes(format, 200)), b(ChannelBytes(format, 200));
        split.Fill(1, a.data(), 100);
        split.Fill(1, a.data() + ChannelBytes(format, 100), 100);
        whole.Fill(1, b.data(), 200);
        EXPECT_EQ(a, b) << FormatName(format);
        for (uint64_t i = 0; i < 200; ++i) {
            ASSERT_EQ(Unpack(&a[i * width], width), whole.PcmValue(1, i)) << FormatName(format);
        }
        // Neighbouring samples and the two channels differ.
        EXPECT_NE(whole.PcmValue(0, 5), whole.PcmValue(1, 5));
        EXPECT_NE(whole.PcmValue(0, 5), whole.PcmValue(0, 6));
    }
}

TEST(TestSignal, SineHasItsChannelsFrequencyAtHalfScale) {
    const double rate = 48000;
    TestSignal signal(SignalKind::Sine, SampleFormat::Int16, rate, 2);
    for (int channel = 0; channel < 2; ++channel) {
        std::vector<uint8_t> buffer(ChannelBytes(SampleFormat::Int16, 48000));
        signal.Fill(channel, buffer.data(), 48000);
        int peak = 0;
        int crossings = 0;
        int32_t previous = 0;
        for (size_t i = 0; i < 48000; ++i) {
            const int32_t v = Unpack(&buffer[i * 2], 2);
            peak = std::max(peak, std::abs(v));
            if (i > 0 && (previous < 0) != (v < 0)) ++crossings;
            previous = v;
        }
        EXPECT_NEAR(peak, 16383, 2);
        EXPECT_NEAR(crossings, 2 * 440 * (channel + 1), 2);
    }
}

TEST(TestSignal, DsdSineDensityFollowsTheSine) {
    const double rate = 2822400;
    TestSignal signal(SignalKind::Sine, SampleFormat::Dsd8Msb, rate, 1);
    const long bits = 2822400 / 100;  // 10 ms
    std::vector<uint8_t> buffer(ChannelBytes(SampleFormat::Dsd8Msb, bits));
    signal.Fill(0, buffer.data(), bits);
    // Averaged over 256 bits the stream is the sine, mapped from [-1, 1]
    // to a density of ones in [0, 1].
    for (size_t window = 0; window + 32 <= buffer.size(); window += 32 * 40) {
        int ones = 0;
        for (size_t i = window; i < window + 32; ++i) ones += std::bitset<8>(buffer[i]).count();
        const double t = (window * 8 + 128) / rate;
        const double expected = 0.5 + 0.25 * std::sin(2 * std::numbers::pi * 440 * t);
        EXPECT_NEAR(ones / 256.0, expected, 0.03) << "at byte " << window;
    }
}

TEST(TestSignal, DsdPatternBytesAreNearSilentAndPerChannel) {
    TestSignal signal(SignalKind::Pattern, SampleFormat::Dsd8Msb, 2822400, 2);
    uint8_t left[16], right[16];
    signal.Fill(0, left, 128);
    signal.Fill(1, right, 128);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(left[i], TestSignal::DsdPatternByte(0, i));
        EXPECT_EQ(right[i], TestSignal::DsdPatternByte(1, i));
        EXPECT_EQ(std::bitset<8>(left[i]).count(), 4u);
    }
    EXPECT_NE(left[0], right[0]);
}

TEST(TestSignal, ChannelsBeyondTheSignalGetSilence) {
    TestSignal signal(SignalKind::Pattern, SampleFormat::Int32, 44100, 1);
    std::vector<uint8_t> buffer(ChannelBytes(SampleFormat::Int32, 16), 0xEE);
    signal.Fill(1, buffer.data(), 16);
    signal.Fill(-1, buffer.data(), 16);
    EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0));
}

}  // namespace
