// Buffer creation limits, pins that refuse their formats, and repeated
// sessions without leaks.
#include "common/asio_status_block.h"
#include "support/process_counts.h"
#include "streaming_fixture.h"

namespace ksdrv {
namespace {

using LifecycleTest = StreamingTest;
using veltrano::AsioStatusBlock;
using veltrano::test::BusyHeapBlocks;

TEST_F(LifecycleTest, BufferSizesTheDriverCannotCarryAreRefusedAndLeaveItUsable) {
    const StreamFormat format{16, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    long minSize = 0;
    long maxSize = 0;
    long preferred = 0;
    long granularity = 0;
    ASSERT_EQ(asio->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    const long before = sim::OpenHandleCount();
    EXPECT_EQ(Create({16, 48000, maxSize + 1}, Channels(2, 2)), ASE_InvalidParameter);
    EXPECT_EQ(Create({16, 48000, 0x7FFFFFFF}, Channels(2, 0)), ASE_InvalidParameter);
    EXPECT_EQ(Create(format, {}), ASE_InvalidParameter);  // no channels
    EXPECT_EQ(static_cast<long>(sim::OpenHandleCount()), before);
    // Below the minimum still streams, just with more wake-ups.
    const StreamFormat tiny{16, 48000, minSize / 2};
    ASSERT_EQ(Create(tiny, Channels(2, 2)), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(8));
    ASSERT_EQ(asio->stop(), ASE_OK);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
    ExpectPlayed(sim::RenderedFromHost(0, 0), tiny, 0);
    // The largest offered size is accepted.
    ASSERT_EQ(Create({16, 48000, maxSize}, Channels(2, 0)), ASE_OK);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
}

TEST_F(LifecycleTest, NativeDsdBuffersMustHoldWholeDeviceSamples) {
    const StreamFormat format{32, 2822400, 28224};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    EXPECT_EQ(Create({32, 2822400, 28224 + 8}, Channels(2, 0)), ASE_InvalidParameter);
    EXPECT_EQ(Create({32, 2822400, 16}, Channels(2, 0)), ASE_InvalidParameter);
    ASSERT_EQ(Create({32, 2822400, 32}, Channels(2, 0)), ASE_OK);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
}

// A buffer set with no pin would never switch: the host must hear so at
// once, and nothing of it may stay behind.
TEST_F(LifecycleTest, BusyOrRefusingPinsFailCreateBuffersLeavingNothingAllocated) {
    const struct {
        DWORD error;
        ASIOError expected;
    } cases[] = {{ERROR_BUSY, ASE_NotPresent}, {ERROR_GEN_FAILURE, ASE_HWMalfunction}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        sim::Config config = sim::DefaultConfig();
        config.faults.pinCreateError = c.error;
        sim::Configure(config);
        const StreamFormat format{16, 48000, 480};
        IASIO* asio = Open(format);
        ASSERT_NE(asio, nullptr);
        const size_t handles = sim::OpenHandleCount();
        EXPECT_EQ(Create(format, Channels(2, 2)), c.expected);
        EXPECT_EQ(sim::OpenHandleCount(), handles);
        ASIOChannelInfo info{};
        ASSERT_EQ(asio->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.isActive, ASIOFalse);
        EXPECT_EQ(asio->start(), ASE_OK);  // not prepared: nothing happens
        Sleep(100);
        EXPECT_EQ(m_host->Switches(), 0);
        EXPECT_EQ(BlockView().Read(&AsioStatusBlock::state), 2u);
        m_host.reset();
        m_driver.reset();
    }
}

void IdleSwitch(long, ASIOBool) {}
void IdleRate(ASIOSampleRate) {}
long IdleMessage(long, long, void*, double*) { return 0; }
ASIOTime* IdleTimeInfo(ASIOTime* time, long, ASIOBool) { return time; }

// The real cause of busy pins: another client holds their single instances.
// The second buffer set fails at once, and the first plays on.
TEST_F(LifecycleTest, PinsHeldByAnotherClientFailCreateBuffersAndTheOtherPlaysOn) {
    const StreamFormat format{16, 48000, 480};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    ASSERT_EQ(Create(format, Channels(2, 2)), ASE_OK);
    ASSERT_EQ(asio->start(), ASE_OK);
    ASSERT_TRUE(m_host->WaitSwitches(2));
    {
        Driver other;
        ASSERT_EQ(other->init(nullptr), ASIOTrue);
        std::vector<ASIOBufferInfo> infos = Channels(2, 2);
        ASIOCallbacks callbacks = {IdleSwitch, IdleRate, IdleMessage, IdleTimeInfo};
        const size_t handles = sim::OpenHandleCount();
        EXPECT_EQ(
            other->createBuffers(infos.data(), static_cast<long>(infos.size()), 480, &callbacks),
            ASE_NotPresent);
        EXPECT_EQ(sim::OpenHandleCount(), handles);
        EXPECT_EQ(other->start(), ASE_OK);  // not prepared: nothing happens
    }
    ASSERT_TRUE(m_host->WaitSwitches(m_host->Switches() + 4));
    ASSERT_EQ(asio->stop(), ASE_OK);
    ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
    EXPECT_EQ(m_host->Resets(), 0);
    EXPECT_GE(ExpectPlayed(sim::RenderedFromHost(0, 0), format, 0), 6u);
}

// A pin whose interface needs every channel is opened with its full count
// when the host buffers only one of them.
TEST_F(LifecycleTest, ASingleChannelOnATwoChannelPinPlaysInItsSlot) {
    const StreamFormat format{16, 48000, 480};
    for (long channel : {0L, 1L}) {
        SCOPED_TRACE(channel);
        sim::Reset();
        IASIO* asio = Open(format);
        ASSERT_NE(asio, nullptr);
        std::vector<ASIOBufferInfo> infos = {{ASIOFalse, channel, {nullptr, nullptr}}};
        ASSERT_EQ(Create(format, infos), ASE_OK);
        ASSERT_EQ(asio->start(), ASE_OK);
        ASSERT_TRUE(m_host->WaitSwitches(6));
        ASSERT_EQ(asio->stop(), ASE_OK);
        ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
        const std::vector<uint8_t> played = sim::RenderedFromHost(0, 0);
        const size_t packet = format.Frames() * 4;
        ASSERT_GE(played.size(), 6 * packet);
        const size_t silent = channel == 0 ? 2 : 0;
        const size_t heard = channel == 0 ? 0 : 2;
        for (size_t f = 0; f < format.Frames(); ++f) {
            // Packet 3 carries switch 1: the other channel stays silent.
            EXPECT_EQ(played[3 * packet + f * 4 + silent], 0);
            EXPECT_EQ(played[3 * packet + f * 4 + heard], PatternByte(1, 0, f * 2)) << f;
        }
        m_host.reset();
        m_driver.reset();
    }
}


TEST_F(LifecycleTest, ManySessionsLeaveNoHandleBehind) {
    const StreamFormat format{16, 48000, 96};
    IASIO* asio = Open(format);
    ASSERT_NE(asio, nullptr);
    auto session = [&] {
        ASSERT_EQ(Create(format, Channels(2, 2)), ASE_OK);
        ASSERT_EQ(asio->start(), ASE_OK);
        ASSERT_TRUE(m_host->WaitSwitches(2));
        ASSERT_EQ(asio->stop(), ASE_OK);
        ASSERT_EQ(asio->disposeBuffers(), ASE_OK);
        ASSERT_EQ(m_host->Resets(), 0);  // a stop's cancellations are expected
        m_host.reset();
    };
    session();  // the first session sets up what stays (the device's records of the pins)
    const size_t handlesBefore = veltrano::test::OpenKernelHandles();
    const size_t simBefore = sim::OpenHandleCount();
    const size_t blocksBefore = BusyHeapBlocks();
    ASSERT_GT(blocksBefore, 0u) << "the heaps could not be walked";
    for (int i = 0; i < 1000 && !HasFatalFailure(); ++i) session();
    // Exactly where it began: neither the driver nor the virtual device
    // keeps a handle, not even one made once on some later first use.
    const size_t handlesAfter = veltrano::test::OpenKernelHandles();
    EXPECT_EQ(handlesAfter, handlesBefore);
    EXPECT_EQ(sim::OpenHandleCount(), simBefore);
    // A few blocks may come and go with the runtime's own caches; one block
    // leaked per session would show as a thousand.
    const size_t blocksAfter = BusyHeapBlocks();
    EXPECT_LT(blocksAfter, blocksBefore + 100) << blocksBefore << " -> " << blocksAfter;
}

}  // namespace
}  // namespace ksdrv
