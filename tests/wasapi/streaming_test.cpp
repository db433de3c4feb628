// Exclusive streams opened with the host's buffer as their period, and the
// streaming thread's data path, observed at the virtual endpoints.
#include <algorithm>
#include <cstring>
#include <vector>

#include "wasapi_fixture.h"

namespace veltrano::test {
namespace {

using Streams = WasapiTest;

// A driver initialised at one rate and width with host buffers for the
// given channels.
struct Session {
    HostDriver driver;
    std::vector<ASIOBufferInfo> infos;
    ASIOCallbacks callbacks = HostCallbacks();
    ASIOError createResult = ASE_NotPresent;

    Session(double rate, std::vector<ASIOBufferInfo> channels, long frames, bool timeInfo = true)
        : infos(std::move(channels)), callbacks(HostCallbacks(timeInfo)) {
        if (driver.created != S_OK || driver->init(nullptr) != ASIOTrue) return;
        if (driver->setSampleRate(rate) != ASE_OK) return;
        createResult = driver->createBuffers(infos.data(), static_cast<long>(infos.size()), frames,
                                             &callbacks);
    }
    uint8_t* Half(size_t info, int half) const {
        return static_cast<uint8_t*>(infos[info].buffers[half]);
    }
};

std::vector<ASIOBufferInfo> Outputs() { return {{ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}}; }

TEST_F(Streams, ThePeriodIsTheHostBufferInHundredNanoseconds) {
    WriteSetting("BitsPerSample", 16);
    Session session(44100.0, Outputs(), 512);
    ASSERT_EQ(session.createResult, ASE_OK);
    const auto recordings = sim::RenderRecordings(0);
    ASSERT_EQ(recordings.size(), 1u);
    EXPECT_EQ(recordings[0].period, 116099);
    EXPECT_EQ(recordings[0].sampleRate, 44100u);
    EXPECT_EQ(recordings[0].channels, 2);
    EXPECT_EQ(recordings[0].containerBits, 16);
    long in = 0, out = 0;
    EXPECT_EQ(session.driver->getLatencies(&in, &out), ASE_OK);
    EXPECT_EQ(in, 512);
}

TEST_F(Streams, ABufferTheDeviceCannotRunExactlyIsRefused) {
    struct Case {
        uint32_t granularity;
        uint32_t alignment;
        int64_t minimumPeriod;
    };
    const Case cases[] = {
        {48, 0, 20000},    // the device rounds 512 frames up to 528
        {0, 4096, 20000},  // 2048 bytes are not aligned
        {0, 0, 200000},    // below the device's minimum period
    };
    for (const Case& c : cases) {
        sim::VirtualAudioConfig config;
        config.render[0].granularityFrames = c.granularity;
        config.render[0].alignmentBytes = c.alignment;
        config.render[0].minimumPeriod = c.minimumPeriod;
        Configure(config);
        WriteSetting("BitsPerSample", 16);
        Session session(44100.0, Outputs(), 512);
        EXPECT_EQ(session.createResult, ASE_InvalidParameter) << c.granularity << c.alignment;
        // Nothing of the refused set is left: a second set can be made.
        EXPECT_EQ(session.driver->disposeBuffers(), ASE_OK);
        EXPECT_EQ(sim::StreamsStarted(), 0u);
    }
    // More than half a second cannot be one exclusive event-driven buffer.
    Configure(sim::VirtualAudioConfig{});
    Session tooLong(44100.0, Outputs(), 44100);
    EXPECT_EQ(tooLong.createResult, ASE_InvalidParameter);
}

TEST_F(Streams, ChannelCountFollowsTheHighestBufferedChannel) {
    struct Case {
        long channel;
        uint32_t minChannels;
        uint16_t expected;
    };
    for (const Case& c : {Case{1, 1, 2}, Case{0, 1, 1}, Case{0, 2, 2}}) {
        sim::VirtualAudioConfig config;
        config.render[0].minChannels = c.minChannels;
        Configure(config);
        Session session(48000.0, {{ASIOFalse, c.channel, {}}}, 480);
        ASSERT_EQ(session.createResult, ASE_OK);
        const auto recordings = sim::RenderRecordings(0);
        ASSERT_EQ(recordings.size(), 1u);
        EXPECT_EQ(recordings[0].channels, c.expected) << c.channel << " " << c.minChannels;
        ASIOChannelInfo info{};
        info.channel = c.channel;
        ASSERT_EQ(session.driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.isActive, ASIOTrue);
        info.channel = 1 - c.channel;
        ASSERT_EQ(session.driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.isActive, ASIOFalse);
    }
}

TEST_F(Streams, OnlyTheRightChannelIsWrittenWhenOnlyItHasBuffers) {
    WriteSetting("BitsPerSample", 16);
    Session session(48000.0, {{ASIOFalse, 1, {}}}, 2400);
    ASSERT_EQ(session.createResult, ASE_OK);
    for (int h = 0; h < 2; ++h) std::memset(session.Half(0, h), 0x5A, 2400 * 2);
    ASSERT_EQ(session.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 3; }));
    ASSERT_EQ(session.driver->stop(), ASE_OK);
    const auto recordings = sim::RenderRecordings(0);
    ASSERT_EQ(recordings.size(), 1u);
    const std::vector<uint8_t>& data = recordings[0].data;
    ASSERT_GE(data.size(), 3u * 2400 * 4);
    // After the silent first period: left untouched (zero), right the host's.
    for (size_t f = 2400; f < 3 * 2400; ++f) {
        ASSERT_EQ(data[f * 4], 0);
        ASSERT_EQ(data[f * 4 + 1], 0);
        ASSERT_EQ(data[f * 4 + 2], 0x5A);
        ASSERT_EQ(data[f * 4 + 3], 0x5A);
    }
}

TEST_F(Streams, StopWithoutStartSendsNothingAndStartRightAfterCreateStreams) {
    Session session(48000.0, Outputs(), 480);
    ASSERT_EQ(session.createResult, ASE_OK);
    EXPECT_EQ(session.driver->stop(), ASE_OK);
    EXPECT_EQ(sim::StreamsStarted(), 0u);
    ASSERT_EQ(session.driver->start(), ASE_OK);
    EXPECT_EQ(session.driver->start(), ASE_OK);  // running already: no second start
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 2; }));
    EXPECT_EQ(sim::StreamsStarted(), 1u);
    ASSERT_EQ(session.driver->stop(), ASE_OK);
    const int after = Host().switches;
    Sleep(100);
    EXPECT_EQ(Host().switches, after);  // no callback once stop has returned
    EXPECT_TRUE(SentCommands().empty());
}

TEST_F(Streams, AStartAskedForBeforeTheBuffersStartsThemWithTheBuffers) {
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(driver->start(), ASE_OK);  // no buffers yet: the state stays
    std::vector<ASIOBufferInfo> infos = Outputs();
    ASIOCallbacks callbacks = HostCallbacks();
    ASSERT_EQ(driver->createBuffers(infos.data(), 2, 480, &callbacks), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 2; }));
    EXPECT_EQ(sim::StreamsStarted(), 1u);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_EQ(driver->stop(), ASE_OK);
    const int after = Host().switches;
    Sleep(100);
    EXPECT_EQ(Host().switches, after);
    EXPECT_EQ(sim::StreamsStarted(), 1u);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

// 100-ms periods: a loaded machine must not make the device skip a period.
TEST_F(Streams, PlaysTheHalvesBitExactStartingWithHalfOne) {
    WriteSetting("BitsPerSample", 16);
    constexpr long kFrames = 4410;
    constexpr size_t kHalfBytes = kFrames * 2;
    Session session(44100.0, Outputs(), kFrames);
    ASSERT_EQ(session.createResult, ASE_OK);
    auto fill = [](uint8_t* dst, int block, int channel) {
        for (size_t i = 0; i < kHalfBytes; ++i) {
            dst[i] = static_cast<uint8_t>(i * 3 + block * 17 + channel * 101);
        }
    };
    // Written before start: the device gets half 1 first, then half 0.
    fill(session.Half(0, 1), 1000, 0);
    fill(session.Half(1, 1), 1000, 1);
    fill(session.Half(0, 0), 2000, 0);
    fill(session.Half(1, 0), 2000, 1);
    std::atomic<int> blocks{0};
    SetSwitchWork([&](long half) {
        const int block = blocks++;
        fill(session.Half(0, static_cast<int>(half)), block, 0);
        fill(session.Half(1, static_cast<int>(half)), block, 1);
    });
    ASSERT_EQ(session.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 8; }, 30));
    ASSERT_EQ(session.driver->stop(), ASE_OK);
    EXPECT_EQ(Host().firstHalf, 1);
    EXPECT_EQ(Host().firstPosition, kFrames);
    EXPECT_EQ(Host().firstFlags, 7u);
    ASIOSamples position{};
    ASIOTimeStamp stamp{};
    ASSERT_EQ(session.driver->getSamplePosition(&position, &stamp), ASE_OK);
    EXPECT_EQ(position.lo, static_cast<unsigned long>(Host().switches * kFrames));

    const auto recordings = sim::RenderRecordings(0);
    ASSERT_EQ(recordings.size(), 1u);
    const std::vector<uint8_t>& data = recordings[0].data;
    const size_t periods = data.size() / (kHalfBytes * 2);
    ASSERT_GE(periods, 8u);
    std::vector<uint8_t> left(kHalfBytes), right(kHalfBytes);
    for (size_t p = 0; p < periods; ++p) {
        const int block = p == 1 ? 1000 : p == 2 ? 2000 : static_cast<int>(p) - 3;
        if (p == 0) {
            std::memset(left.data(), 0, kHalfBytes);
            std::memset(right.data(), 0, kHalfBytes);
        } else {
            fill(left.data(), block, 0);
            fill(right.data(), block, 1);
        }
        const uint8_t* period = data.data() + p * kHalfBytes * 2;
        for (size_t f = 0; f < static_cast<size_t>(kFrames); ++f) {
            ASSERT_EQ(std::memcmp(period + f * 4, left.data() + f * 2, 2), 0) << p << " " << f;
            ASSERT_EQ(std::memcmp(period + f * 4 + 2, right.data() + f * 2, 2), 0) << p << " " << f;
        }
    }
}

struct InputCase {
    uint16_t renderContainer;
    uint32_t bits;
};

class InputPath : public Streams, public ::testing::WithParamInterface<InputCase> {};

TEST_P(InputPath, InputArrivesFromTheThirdSwitchInTheReportedLayout) {
    const InputCase c = GetParam();
    sim::VirtualAudioConfig config;
    config.render[0].containers = {{16, 16}, {c.renderContainer, 24}, {32, 32}};
    Configure(config);
    WriteSetting("BitsPerSample", c.bits);
    constexpr long kFrames = 2400;
    Session session(48000.0, {{ASIOFalse, 0, {}}, {ASIOTrue, 0, {}}, {ASIOTrue, 1, {}}}, kFrames);
    ASSERT_EQ(session.createResult, ASE_OK);
    ASIOChannelInfo info{};
    info.isInput = ASIOTrue;
    ASSERT_EQ(session.driver->getChannelInfo(&info), ASE_OK);
    const size_t hostBytes = info.type == ASIOSTInt32LSB ? 4 : info.type == ASIOSTInt24LSB ? 3 : 2;
    const size_t deviceBytes = c.bits / 8;
    std::vector<std::vector<uint8_t>> seen;
    seen.reserve(16);
    SetSwitchWork([&](long half) {
        if (seen.size() >= 6) return;
        for (size_t ch = 1; ch <= 2; ++ch) {
            const uint8_t* p = session.Half(ch, static_cast<int>(half));
            seen.emplace_back(p, p + kFrames * hostBytes);
        }
    });
    ASSERT_EQ(session.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 4; }, 30));
    ASSERT_EQ(session.driver->stop(), ASE_OK);
    ASSERT_GE(seen.size(), 6u);
    for (size_t s = 0; s < 4; ++s) {  // switches 1 and 2, both channels
        for (uint8_t b : seen[s]) ASSERT_EQ(b, 0) << s;
    }
    // The frame the period started at, from channel 0's first sample; both
    // channels come from the same frames.
    const int64_t first =
        sim::CaptureFrameOf(seen[4].data() + hostBytes - deviceBytes,
                            static_cast<uint32_t>(deviceBytes), 0);
    ASSERT_GE(first, 0);
    const auto start = static_cast<uint64_t>(first);
    for (uint32_t ch = 0; ch < 2; ++ch) {
        const std::vector<uint8_t>& half = seen[4 + ch];
        for (size_t f = 0; f < static_cast<size_t>(kFrames); ++f) {
            const uint8_t* sample = half.data() + f * hostBytes;
            for (size_t pad = 0; pad < hostBytes - deviceBytes; ++pad) ASSERT_EQ(sample[pad], 0);
            for (uint32_t b = 0; b < deviceBytes; ++b) {
                ASSERT_EQ(sample[hostBytes - deviceBytes + b], sim::CaptureByte(start + f, ch, b))
                    << f << " " << b;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, InputPath,
                         ::testing::Values(InputCase{24, 16}, InputCase{24, 24},
                                           InputCase{32, 24}));

TEST_F(Streams, NativeDsdRunsAs32BitWordsAtTheCarrierRateAfterDsdSilence) {
    constexpr long kBits = 28224;  // 10 ms of DSD64: 882 words per channel
    Session session(2822400.0, Outputs(), kBits);
    ASSERT_EQ(session.createResult, ASE_OK);
    const auto opened = sim::RenderRecordings(0);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].sampleRate, 88200u);
    EXPECT_EQ(opened[0].containerBits, 32);
    EXPECT_EQ(opened[0].period, 100000);
    for (size_t c = 0; c < 2; ++c) {
        for (int h = 0; h < 2; ++h) std::memset(session.Half(c, h), 0xC3, kBits / 8);
    }
    ASSERT_EQ(session.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 3; }));
    ASSERT_EQ(session.driver->stop(), ASE_OK);
    const auto recordings = sim::RenderRecordings(0);
    ASSERT_EQ(recordings.size(), 1u);
    ASSERT_EQ(recordings[0].glitches, recordings[0].glitchFrames.size());
    const std::vector<uint8_t> data = WithoutUnderruns(recordings[0]);
    constexpr size_t kPeriodBytes = 882 * 8;
    ASSERT_GE(data.size(), 2 * kPeriodBytes);
    EXPECT_TRUE(std::all_of(data.begin(), data.begin() + kPeriodBytes,
                            [](uint8_t b) { return b == 0x69; }));
    EXPECT_TRUE(std::all_of(data.begin() + kPeriodBytes, data.begin() + 2 * kPeriodBytes,
                            [](uint8_t b) { return b == 0xC3; }));
}

TEST_F(Streams, ChannelsBeyondTheCountAreRefusedBeforeAnyStreamOpens) {
    Session session(48000.0, {{ASIOFalse, 0, {}}, {ASIOFalse, 2, {}}}, 480);
    EXPECT_EQ(session.createResult, ASE_InvalidParameter);
    EXPECT_TRUE(sim::RenderRecordings(0).empty());
    ASIOChannelInfo info{};
    info.channel = 2;
    EXPECT_EQ(session.driver->getChannelInfo(&info), ASE_InvalidParameter);
}

TEST_F(Streams, WithoutTimeInfoTheHostGetsPlainBufferSwitches) {
    Session session(48000.0, Outputs(), 480, false);
    ASSERT_EQ(session.createResult, ASE_OK);
    ASSERT_EQ(session.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 2; }));
    EXPECT_FALSE(Host().timeInfoCalls);
    EXPECT_EQ(Host().firstHalf, 1);
}

TEST_F(Streams, ReleasingARunningDriverStopsAndReleasesEverything) {
    Session session(48000.0, {{ASIOFalse, 0, {}}, {ASIOTrue, 1, {}}}, 480);
    ASSERT_EQ(session.createResult, ASE_OK);
    ASSERT_EQ(session.driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 2; }));
    session.driver.Reset();
    EXPECT_EQ(sim::LiveVirtualObjects(), 0);
}

}  // namespace
}  // namespace veltrano::test
