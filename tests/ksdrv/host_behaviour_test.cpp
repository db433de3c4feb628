// Hosts as they behave in the field: plain bufferSwitch hosts that skip
// outputReady, stop and dispose from inside callbacks, restarts, devices
// that fail under them, and other threads asking for the position.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>

#include "common/asio_status_block.h"
#include "streaming_fixture.h"

namespace ksdrv {
namespace {

using HostBehaviour = StreamingTest;
using veltrano::AsioStatusBlock;

TEST_F(HostBehaviour, APlainHostThatSkipsOutputReadyOnItsLastSwitchLeavesNoStaleBuffer) {
    const StreamFormat format{24, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    HostOptions options;
    options.timeInfo = false;
    options.skipOutputReadyAt = 7;
    ASSERT_EQ(Create(format, Channels(2, 0), options), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(8));
    // Switch 7's packet goes out after it; give it time to be played.
    ASSERT_TRUE(m_host->WaitSwitches(11));
    ASSERT_EQ(asio->stop(), ASE_OK);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
    // Packet 9 carries switch 7: what the host wrote then, not what the
    // same half held a ring cycle earlier.
    EXPECT_GE(ExpectPlayed(sim::RenderedFromHost(0, 0), format, 0), 10u);
    EXPECT_EQ(sim::PinFaults(0, 0).overwrites, 0u);
}

TEST_F(HostBehaviour, StopFromInsideBufferSwitchReturnsAndTheHostCanStartAgain) {
    const StreamFormat format{16, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    std::atomic<int> stopResult{1};
    std::atomic<int> stoppedAt{-1};
    HostOptions options;
    options.onSwitch = [&](int s) {
        if (s == 4) {
            stopResult = asio->stop();
            stoppedAt = s;
        }
    };
    ASSERT_EQ(Create(format, Channels(2, 2), options), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(5));
    const DWORD begin = GetTickCount();
    while (stoppedAt.load() < 0 && GetTickCount() - begin < 10000) Sleep(10);
    EXPECT_EQ(stoppedAt.load(), 4);
    EXPECT_EQ(stopResult.load(), ASE_OK);
    Sleep(200);
    EXPECT_EQ(m_host->Switches(), 5);  // nothing after the stop
    EXPECT_EQ(BlockView().Read(&AsioStatusBlock::state), 3u);
    // Prepared again: it starts, and its input is silent at first.
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(10));
    EXPECT_EQ(asio->stop(), ASE_OK);
    EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
}

TEST_F(HostBehaviour, InputAfterARestartIsSilentForTheFirstTwoSwitches) {
    const StreamFormat format{16, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    ASSERT_EQ(Create(format, Channels(2, 2)), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(6));
    ASSERT_EQ(asio->stop(), ASE_OK);
    const int first = m_host->Switches();
    ASSERT_LT(first + 4, TestHost::kRecorded);
    // The last run's input is still in both halves.
    EXPECT_NE(std::count(m_host->Input(first - 1, 0).begin(), m_host->Input(first - 1, 0).end(), 0),
              static_cast<long>(format.HalfBytes()));
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(first + 4));
    ASSERT_EQ(asio->stop(), ASE_OK);
    for (int s = first; s < first + 2; ++s) {
        for (int c = 0; c < 2; ++c) {
            const std::vector<uint8_t>& input = m_host->Input(s, c);
            EXPECT_EQ(std::count(input.begin(), input.end(), 0), static_cast<long>(input.size()))
                << "switch " << s << " channel " << c;
        }
    }
    // From the third switch on it is the new run's capture.
    const std::vector<uint8_t>& third = m_host->Input(first + 2, 0);
    EXPECT_NE(std::count(third.begin(), third.end(), 0), static_cast<long>(third.size()));
    EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
}

// A device that fails its transfers (removed): the host hears of it once,
// through a reset request, and receives no switch built on a failed packet.
// The host disposes from inside that message, as hosts do.
TEST_F(HostBehaviour, AnErrorCompletionLeadsToOneResetRequestAndDisposeFromItReturns) {
    sim::Config config = sim::DefaultConfig();
    config.faults.completionErrorAfter = 8;
    config.faults.completionError = ERROR_DEVICE_REMOVED;
    sim::Configure(config);
    const StreamFormat format{16, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    std::atomic<int> disposed{1};
    HostOptions options;
    options.onReset = [&] {
        asio->stop();
        disposed = asio->disposeBuffers();
    };
    ASSERT_EQ(Create(format, Channels(2, 2), options), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitResets(1, 10000));
    Sleep(2500);  // past the watchdog's two seconds
    EXPECT_EQ(m_host->Resets(), 1);
    EXPECT_EQ(disposed.load(), ASE_OK);
    // Packets 0-7 completed; switches need both directions of a half.
    EXPECT_LE(m_host->Switches(), 8);
    EXPECT_EQ(BlockView().Read(&AsioStatusBlock::state), 2u);
    // The host recreates the buffers from its own thread afterwards.
    ASSERT_EQ(Create(format, Channels(2, 2)), ASE_OK);
    EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
}

TEST_F(HostBehaviour, DisposeFromInsideBufferSwitchReturnsAndFreesLater) {
    const StreamFormat format{16, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    std::atomic<int> disposed{1};
    HostOptions options;
    options.onSwitch = [&](int s) {
        if (s == 3) disposed = asio->disposeBuffers();
    };
    const size_t handles = sim::OpenHandleCount();
    ASSERT_EQ(Create(format, Channels(2, 2), options), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(4));
    const DWORD begin = GetTickCount();
    while (disposed.load() != ASE_OK && GetTickCount() - begin < 10000) Sleep(10);
    EXPECT_EQ(disposed.load(), ASE_OK);
    Sleep(200);
    EXPECT_EQ(m_host->Switches(), 4);
    EXPECT_EQ(BlockView().Read(&AsioStatusBlock::state), 2u);
    // A new set from the host's thread once the old thread is gone.
    ASSERT_EQ(Create(format, Channels(2, 2)), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(4));
    EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
    EXPECT_EQ(sim::OpenHandleCount(), handles);
}

// A host that holds its callback past the watchdog's two seconds (a plugin
// loading, a starved machine) finds the device's completions waiting: the
// stream was late, not the device, so no reset request, and it plays on.
TEST_F(HostBehaviour, AHostHoldingItsCallbackPastTheWatchdogGetsNoResetRequest) {
    const StreamFormat format{16, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    HostOptions options;
    options.onSwitch = [](int s) {
        if (s == 3) Sleep(2600);
    };
    ASSERT_EQ(Create(format, Channels(2, 2), options), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(12));
    ASSERT_EQ(asio->stop(), ASE_OK);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
    EXPECT_EQ(m_host->Resets(), 0);
    // The device ran dry meanwhile; between the gaps it played every switch.
    EXPECT_GE(sim::PinFaults(0, 0).underruns, 1u);
    EXPECT_GE(ExpectPlayed(sim::RenderedFromHost(0, 0), format, 0), 12u);
}

TEST_F(HostBehaviour, AFailedStateChangeFailsStartAndLeavesTheDriverPrepared) {
    sim::Config config = sim::DefaultConfig();
    config.faults.failStateTo = KSSTATE_RUN;
    sim::Configure(config);
    const StreamFormat format{16, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    ASSERT_EQ(Create(format, Channels(2, 2)), ASE_OK);
    EXPECT_EQ(asio->start(), ASE_HWMalfunction);
    EXPECT_EQ(BlockView().Read(&AsioStatusBlock::state), 3u);
    Sleep(200);
    EXPECT_EQ(m_host->Switches(), 0);
    // Every pin went back to KSSTATE_STOP.
    for (uint32_t pin : {0u, 2u}) {
        const std::vector<KSSTATE> history = sim::StateHistory(0, pin);
        ASSERT_FALSE(history.empty());
        EXPECT_EQ(history.back(), KSSTATE_STOP) << pin;
    }
    EXPECT_EQ(asio->stop(), ASE_OK);
    EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
}

TEST_F(HostBehaviour, AStartTheDeviceNeverAnswersFailsAndLeavesTheDriverPrepared) {
    sim::Config config = sim::DefaultConfig();
    config.faults.stallStateTo = KSSTATE_RUN;
    sim::Configure(config);
    const StreamFormat format{16, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    ASSERT_EQ(Create(format, Channels(2, 2)), ASE_OK);
    // Each state change is abandoned after its bound, and the host gets its
    // answer instead of waiting for ever.
    EXPECT_EQ(asio->start(), ASE_HWMalfunction);
    EXPECT_EQ(BlockView().Read(&AsioStatusBlock::state), 3u);
    // The streaming thread gives up on the other pin too, then walks every
    // pin back to KSSTATE_STOP.
    const auto stopped = [](uint32_t pin) {
        const std::vector<KSSTATE> history = sim::StateHistory(0, pin);
        return !history.empty() && history.back() == KSSTATE_STOP;
    };
    const DWORD begin = GetTickCount();
    while (!(stopped(0) && stopped(2)) && GetTickCount() - begin < 60000) Sleep(50);
    EXPECT_TRUE(stopped(0));
    EXPECT_TRUE(stopped(2));
    EXPECT_EQ(m_host->Switches(), 0);
    EXPECT_EQ(m_host->Resets(), 0);
    EXPECT_EQ(asio->stop(), ASE_OK);
    EXPECT_EQ(asio->disposeBuffers(), ASE_OK);
}

struct PositionReader {
    IASIO* asio = nullptr;
    std::atomic<bool> done{false};
    std::map<int64_t, int64_t> timeAt;  // position -> the time read with it
    long reads = 0;
    long torn = 0;
};

DWORD WINAPI ReadPositions(void* argument) {
    auto& r = *static_cast<PositionReader*>(argument);
    for (; r.reads < 100000; ++r.reads) {
        ASIOSamples position{};
        ASIOTimeStamp stamp{};
        if (r.asio->getSamplePosition(&position, &stamp) != ASE_OK) ++r.torn;
        const int64_t p = (static_cast<int64_t>(position.hi) << 32) | position.lo;
        const int64_t t = (static_cast<int64_t>(stamp.hi) << 32) | stamp.lo;
        auto [it, fresh] = r.timeAt.emplace(p, t);
        if (!fresh && it->second != t) ++r.torn;
        if ((r.reads & 63) == 0) Sleep(1);
    }
    r.done = true;
    return 0;
}

// Every pair a reader sees belongs to one switch: one time per position,
// positions in whole buffers, and time never going back as they advance.
TEST_F(HostBehaviour, ASecondThreadReadingThePositionOnlySeesPairsThatHappened) {
    const StreamFormat format{16, 48000, 96};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    ASSERT_EQ(Create(format, Channels(2, 2)), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    PositionReader reader;
    reader.asio = asio;
    HANDLE thread = CreateThread(nullptr, 0, ReadPositions, &reader, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 120000), WAIT_OBJECT_0);
    CloseHandle(thread);
    const int switches = m_host->Switches();
    ASSERT_EQ(asio->stop(), ASE_OK);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
    ASSERT_TRUE(reader.done.load());
    EXPECT_GE(switches, 10);
    EXPECT_EQ(reader.torn, 0);
    EXPECT_GE(reader.timeAt.size(), 2u);
    int64_t lastTime = INT64_MIN;
    for (const auto& [position, time] : reader.timeAt) {
        EXPECT_EQ(position % format.bufferSize, 0) << position;
        EXPECT_LE(position / format.bufferSize, switches) << position;
        EXPECT_GE(time, lastTime) << position;
        lastTime = time;
    }
}

}  // namespace
}  // namespace ksdrv
