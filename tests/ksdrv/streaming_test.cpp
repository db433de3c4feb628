// Streaming through the IASIO interface over the virtual device: what the
// device plays and records, the host callbacks, and the transport.
#include <algorithm>
#include <cstring>

#include "common/asio_status_block.h"
#include "streaming_fixture.h"
#include "support/thread_class_expect.h"

namespace ksdrv {
namespace {

using veltrano::AsioStatusBlock;
using veltrano::asio::DeviceCommand;

constexpr int kSwitches = 12;

uint8_t CapturedSample(const StreamFormat& format, int packet, size_t f, int c, size_t i) {
    const size_t b = format.SampleBytes();
    uint8_t frame[64];
    sim::CaptureFrame(static_cast<uint64_t>(packet) * format.Frames() + f, 2 * b, frame);
    return frame[c * b + i];
}

// The capture frame index a frame's first four bytes encode (frames of 4
// bytes or more: their low 32 bits of n * K + C).
uint64_t CaptureIndex(const uint8_t* bytes) {
    const uint32_t v = static_cast<uint32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                             (static_cast<uint32_t>(bytes[3]) << 24));
    uint32_t k = 0x7F4A7C15u;
    uint32_t inverse = k;  // Newton's iteration for k^-1 modulo 2^32
    for (int i = 0; i < 5; ++i) inverse *= 2 - k * inverse;
    return static_cast<uint32_t>((v - 0x4F6CDD1Du) * inverse);
}

// From the third switch on, each switch hands the host one captured packet:
// consecutive frames of the device's stream, later than the last switch's.
// Without capture underruns packet s is exactly the device's s-th; the
// first two switches hand it silence.
void ExpectCaptured(TestHost& host, const StreamFormat& format, int switches) {
    const size_t b = format.SampleBytes();
    const bool exact = sim::PinFaults(0, 2).underruns == 0;
    uint64_t last = 0;
    for (int s = 0; s < switches; ++s) {
        const std::vector<uint8_t>& left = host.Input(s, 0);
        const std::vector<uint8_t>& right = host.Input(s, 1);
        if (s < 2) {
            ASSERT_EQ(std::count(left.begin(), left.end(), 0), static_cast<long>(left.size()));
            ASSERT_EQ(std::count(right.begin(), right.end(), 0), static_cast<long>(right.size()));
            continue;
        }
        uint8_t first[64];
        memcpy(first, left.data(), b);
        memcpy(first + b, right.data(), b);
        const uint64_t start = CaptureIndex(first);
        if (exact) {
            ASSERT_EQ(start, static_cast<uint64_t>(s) * format.Frames()) << "switch " << s;
        } else if (s > 2) {
            ASSERT_GE(start, last + format.Frames()) << "switch " << s;
        }
        last = start;
        uint8_t frame[64];
        for (size_t f = 0; f < format.Frames(); ++f) {
            sim::CaptureFrame(start + f, 2 * b, frame);
            ASSERT_EQ(memcmp(left.data() + f * b, frame, b), 0) << "switch " << s << " frame " << f;
            ASSERT_EQ(memcmp(right.data() + f * b, frame + b, b), 0)
                << "switch " << s << " frame " << f;
        }
    }
}

}  // namespace

// Plays and records two channels each way for kSwitches switches.
void StreamingTest::StreamBothWays(const StreamFormat& format, const HostKind& kind) {
    SCOPED_TRACE(kind.name);
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    ASSERT_EQ(Create(format, Channels(2, 2), OptionsFor(kind)), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(kSwitches));
    ASSERT_EQ(asio->stop(), ASE_OK);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
    EXPECT_EQ(m_host->Flags(0) != -1, kind.timeInfo);  // -1: a plain bufferSwitch
    EXPECT_GE(ExpectPlayed(sim::RenderedFromHost(0, 0), format, 0x00), size_t{kSwitches});
    EXPECT_EQ(sim::PinFaults(0, 0).overwrites, 0u);
    // The transfers the stop transition cancelled are no failure.
    EXPECT_EQ(m_host->Resets(), 0);
    ExpectCaptured(*m_host, format, kSwitches);
}

namespace {

TEST_F(StreamingTest, OutputArrivesBitExactTwoPacketsLaterAndInputFromTheThirdSwitch) {
    const StreamFormat formats[] = {{16, 44100, 441},
                                    {24, 96000, 960},
                                    {24, 48000, 256},
                                    {32, 192000, 1920},
                                    {32, 384000, 3840}};
    for (const StreamFormat& format : formats) {
        SCOPED_TRACE(testing::Message() << format.bits << " bits at " << format.rate);
        for (const HostKind& kind : kHostKinds) {
            sim::Reset();
            StreamBothWays(format, kind);
            m_host.reset();
            m_driver.reset();
            if (HasFatalFailure()) return;
        }
    }
}

TEST_F(StreamingTest, CaptureThatOvertakesALateRenderPacketStillFeedsItsOwnSwitch) {
    // Render packet 1 completes 40 ms late: capture packet 2, queued at
    // switch 0, completes before it, and its data belongs to switch 2.
    sim::Config config = sim::DefaultConfig();
    config.faults.lateRenderPacket = 1;
    config.faults.lateRenderMs = 40;
    for (const HostKind& kind : kHostKinds) {
        sim::Configure(config);
        StreamBothWays({16, 48000, 480}, kind);
        m_host.reset();
        m_driver.reset();
        if (HasFatalFailure()) return;
    }
}

TEST_F(StreamingTest, AThreadHeldUpPastTheRingsWrapSwitchesTheHalvesInOrder) {
    // The write of packet 8 (at switch 6) returns 35 ms late: packets 7 and
    // 8 of both directions are all complete at the next wait, and packet 8
    // has the lower index in the ring.
    sim::Config config = sim::DefaultConfig();
    config.faults.slowRenderWrite = 8;
    config.faults.slowRenderWriteMs = 35;
    for (const HostKind& kind : kHostKinds) {
        sim::Configure(config);
        StreamBothWays({16, 48000, 480}, kind);
        for (int s = 0; s < kSwitches; ++s) {
            EXPECT_EQ(m_host->Half(s), s & 1) << kind.name << ", switch " << s;
        }
        m_host.reset();
        m_driver.reset();
        if (HasFatalFailure()) return;
    }
}

TEST_F(StreamingTest, NativeDsdStartsWithDsdSilenceAndCarriesTheBytesUnchanged) {
    const StreamFormat formats[] = {
        {32, 2822400, 28224}, {32, 5644800, 56448}, {32, 11289600, 112896}};
    const DeviceCommand commands[] = {DeviceCommand::kDsd64, DeviceCommand::kDsd128,
                                      DeviceCommand::kDsd256};
    for (int run = 0; run < 3 * 4; ++run) {
        const int n = run % 3;
        const HostKind& kind = kHostKinds[run / 3];
        const StreamFormat& format = formats[n];
        SCOPED_TRACE(testing::Message() << format.rate << ", " << kind.name);
        sim::Reset();
        ClearCommands();
        IASIO* asio = Open(format);
        ASSERT_NE(asio, nullptr);
        ASIOChannelInfo info{};
        ASSERT_EQ(asio->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.type, ASIOSTDSDInt8MSB1);
        HostOptions options = OptionsFor(kind);
        options.zeroSwitches = 3;
        ASSERT_EQ(Create(format, Channels(2, 0), options), ASE_OK);
        EXPECT_EQ(CountCommands(commands[n], true), 1);
        ASSERT_EQ(asio->start(), ASE_OK);
        ASSERT_TRUE(m_host->WaitSwitches(kSwitches));
        ASSERT_EQ(asio->stop(), ASE_OK);
        ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
        // Packets 0 and 1 are primed with DSD silence, and so are the next
        // two while the host still writes zeros; the third zero half stays.
        EXPECT_GE(ExpectPlayed(sim::RenderedFromHost(0, 0), format, 0x69, 3, 2), size_t{kSwitches});
        EXPECT_EQ(sim::PinFaults(0, 0).overwrites, 0u);
        EXPECT_EQ(CountCommands(DeviceCommand::kDop, true), 0);
        m_host.reset();
        m_driver.reset();
    }
}

TEST_F(StreamingTest, TimeInfoCarriesTheRateChangeOnceAndThePositionAdvancesByBuffers) {
    const StreamFormat format{16, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    ASSERT_EQ(asio->setSampleRate(44100.0), ASE_OK);
    const StreamFormat changed{16, 44100, 441};
    ASSERT_EQ(Create(changed, Channels(2, 2)), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(6));
    ASSERT_EQ(asio->stop(), ASE_OK);
    EXPECT_EQ(m_host->Flags(0), 23);
    for (int s = 1; s < 6; ++s) {
        EXPECT_EQ(m_host->Flags(s), 7) << s;
        EXPECT_EQ(m_host->Half(s), s & 1) << s;
        EXPECT_EQ(m_host->Position(s), int64_t{441} * s) << s;
    }
    EXPECT_EQ(m_host->Position(0), 0);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
    EXPECT_GE(ExpectPlayed(sim::RenderedFromHost(0, 0), changed, 0), 6u);
}

// Plain bufferSwitch hosts need not call outputReady, and many never do:
// each switch's output still reaches its packet before the packet goes out.
TEST_F(StreamingTest, AHostWithoutTimeInfoPlaysBitExactWithOrWithoutOutputReady) {
    const StreamFormat format{24, 48000, 480};
    for (bool callsOutputReady : {true, false}) {
        SCOPED_TRACE(callsOutputReady);
        sim::Reset();
        IASIO* asio = Open(format);
        ASSERT_NE(asio, nullptr);
        HostOptions options;
        options.timeInfo = false;
        options.callOutputReady = callsOutputReady;
        ASSERT_EQ(Create(format, Channels(2, 0), options), ASE_OK);
        ASSERT_EQ(asio->start(), ASE_OK);
        ASSERT_TRUE(m_host->WaitSwitches(8));
        ASSERT_EQ(asio->stop(), ASE_OK);
        ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
        EXPECT_EQ(m_host->Flags(0), -1);  // plain bufferSwitch
        const std::vector<uint8_t> played = sim::RenderedFromHost(0, 0);
        ASSERT_GE(played.size(), 8 * format.HalfBytes() * 2);
        EXPECT_GE(ExpectPlayed(played, format, 0), 8u);
        m_host.reset();
        m_driver.reset();
    }
}

TEST_F(StreamingTest, EachSwitchWaitsOnlyForTheDirectionsThatStream) {
    const StreamFormat format{16, 48000, 240};
    // An output-only device.
    sim::Config config;
    config.devices = {sim::RenderOnlyDevice()};
    sim::Configure(config);
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    ASSERT_EQ(Create(format, Channels(2, 0)), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(kSwitches));
    ASSERT_EQ(asio->stop(), ASE_OK);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
    EXPECT_GE(ExpectPlayed(sim::RenderedFromHost(0, 0), format, 0), size_t{kSwitches});
    m_host.reset();
    m_driver.reset();

    // An input-only host on a device with outputs: no output pin is created.
    sim::Reset();
    asio = Open(format);
    ASSERT_NE(asio, nullptr);
    ASSERT_EQ(Create(format, Channels(0, 2)), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(kSwitches));
    ASSERT_EQ(asio->stop(), ASE_OK);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
    EXPECT_TRUE(sim::StateHistory(0, 0).empty());
    if (sim::PinFaults(0, 2).underruns == 0) {
        EXPECT_EQ(m_host->Input(5, 1)[3], CapturedSample(format, 5, 1, 1, 1));
    }
}

TEST_F(StreamingTest, ADeviceThatStopsCompletingGetsExactlyOneResetRequest) {
    sim::Config config = sim::DefaultConfig();
    config.faults.stallCompletions = true;
    sim::Configure(config);
    IASIO* asio = Open({16, 48000, 480});
    ASSERT_NE(asio, nullptr);
    // A rate change no switch has reported yet reaches the host with the
    // reset, through sampleRateDidChange first.
    ASSERT_EQ(asio->setSampleRate(44100.0), ASE_OK);
    ASSERT_EQ(Create({16, 44100, 441}, Channels(2, 2)), ASE_OK);
    const DWORD begin = GetTickCount();
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitResets(1, 15000));
    // The timer cannot fire early; the upper bound is left to the load.
    EXPECT_GE(GetTickCount() - begin, 1500u);
    Sleep(3000);
    EXPECT_EQ(m_host->Resets(), 1);
    EXPECT_EQ(m_host->Switches(), 0);
    EXPECT_EQ(m_host->RateChanges(), 1);
    EXPECT_EQ(asio->stop(), ASE_OK);
    EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
    // The timer re-armed by the reset has expired meanwhile; the next
    // buffer set's watchdog must not take that for a stall.
    ASSERT_EQ(Create({16, 44100, 441}, Channels(2, 2)), ASE_OK);
    Sleep(1000);
    EXPECT_EQ(m_host->Resets(), 0);
    EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
}

TEST_F(StreamingTest, AResetRequestInTheStatusBlockReachesTheHostOnce) {
    const StreamFormat format{16, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    ASSERT_EQ(Create(format, Channels(2, 2)), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(2));
    BlockView block;
    block.Write(&AsioStatusBlock::resetRequest, 1);
    ASSERT_TRUE(m_host->WaitResets(1, 10000));
    EXPECT_EQ(block.Read(&AsioStatusBlock::resetRequest), 0u);
    ASSERT_TRUE(m_host->WaitSwitches(m_host->Switches() + 4));
    EXPECT_EQ(m_host->Resets(), 1);
    EXPECT_EQ(asio->stop(), ASE_OK);
}

TEST_F(StreamingTest, StopTwiceChangesNothingTheSecondTime) {
    const StreamFormat format{16, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    ASSERT_EQ(Create(format, Channels(2, 0)), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(3));
    ASSERT_EQ(asio->stop(), ASE_OK);
    const size_t commands = SentCommands().size();
    const int switches = m_host->Switches();
    EXPECT_EQ(asio->stop(), ASE_OK);
    EXPECT_EQ(SentCommands().size(), commands);
    Sleep(100);
    EXPECT_EQ(m_host->Switches(), switches);
    const std::vector<KSSTATE> expected = {KSSTATE_ACQUIRE, KSSTATE_PAUSE,   KSSTATE_RUN,
                                           KSSTATE_PAUSE,   KSSTATE_ACQUIRE, KSSTATE_STOP};
    EXPECT_EQ(sim::StateHistory(0, 0), expected);
    // And it starts again.
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(switches + 3));
    EXPECT_EQ(asio->stop(), ASE_OK);
}

// The streaming thread runs in the scheduler's "Pro Audio" class while it
// lives, and streams as before where the system has no such class.
TEST_F(StreamingTest, TheStreamingThreadJoinsTheProAudioClassForItsLifetime) {
    const StreamFormat format{16, 48000, 480};
    for (bool available : {true, false}) {
        SCOPED_TRACE(available ? "with avrt.dll" : "without avrt.dll");
        ::sim::ClearThreadClassCalls();
        ::sim::SetThreadClassAvailable(available);
        std::atomic<DWORD> switchThread{0};
        HostOptions options;
        options.onSwitch = [&](int) { switchThread = GetCurrentThreadId(); };
        IASIO* asio = Open(format);
        ASSERT_NE(asio, nullptr);
        ASSERT_EQ(Create(format, Channels(2, 2), options), ASE_OK);
        ASSERT_EQ(asio->start(), ASE_OK);
        EXPECT_TRUE(m_host->WaitSwitches(3));
        EXPECT_EQ(asio->stop(), ASE_OK);
        EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
        ::sim::SetThreadClassAvailable(true);
        veltrano::test::ExpectJoinedAndLeft(::sim::ThreadClassCalls(), switchThread, available);
        m_host.reset();
        m_driver.reset();
    }
}

}  // namespace
}  // namespace ksdrv
