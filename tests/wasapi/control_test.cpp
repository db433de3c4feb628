// The streaming thread's side channels: DSD-over-PCM detection and the
// device command it sends, the control panel's reset request and the
// watchdog that turns a silent device into one.
#include <vector>

#include "common/device_table.h"
#include "wasapi_fixture.h"

namespace veltrano::test {
namespace {

using Control = WasapiTest;

struct DopCase {
    uint32_t rate;
    uint32_t bits;
    bool pairwise;
    bool nativeDsdFlag;
    bool expectDop;
    uint32_t expectDsd128;
};

class DopDetection : public Control, public ::testing::WithParamInterface<DopCase> {};

TEST_P(DopDetection, MarkersInTheOutputTurnDsdOverPcmOnUntilStop) {
    const DopCase c = GetParam();
    WriteSetting("BitsPerSample", c.bits);
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(driver->setSampleRate(c.rate), ASE_OK);
    constexpr long kFrames = 4096;
    ASIOBufferInfo infos[2] = {{ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}};
    ASIOCallbacks callbacks = HostCallbacks();
    ASSERT_EQ(driver->createBuffers(infos, 2, kFrames, &callbacks), ASE_OK);
    BlockView block;
    ASSERT_TRUE(block);
    block->nativeDsd = c.nativeDsdFlag ? 1 : 0;
    const size_t bytes = c.bits / 8;
    for (const ASIOBufferInfo& info : infos) {
        for (void* half : info.buffers) {
            auto* p = static_cast<uint8_t*>(half);
            for (long i = 0; i < kFrames; ++i) {
                const long step = c.pairwise ? i / 2 : i;
                p[i * bytes + bytes - 1] = step % 2 == 0 ? 0x05 : 0xFA;
            }
        }
    }
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 4; }, 30));
    if (c.expectDop) {
        EXPECT_EQ(block->dsdActive, 1u);
        EXPECT_EQ(block->dsd128, c.expectDsd128);
    } else {
        EXPECT_EQ(block->dsdActive, 0u);
    }
    // The on command goes out from the watchdog thread, shortly after the
    // detection.
    if (c.expectDop) {
        ASSERT_TRUE(WaitFor([] { return !SentCommands().empty(); }, 30));
    }
    const std::vector<SentCommand> running = SentCommands();
    ASSERT_EQ(driver->stop(), ASE_OK);
    const std::vector<SentCommand> stopped = SentCommands();
    if (!c.expectDop) {
        EXPECT_TRUE(stopped.empty());
        return;
    }
    ASSERT_EQ(running.size(), 1u);  // once, however many periods matched
    EXPECT_EQ(running[0].command, asio::DeviceCommand::kDop);
    EXPECT_TRUE(running[0].on);
    EXPECT_EQ(running[0].vendorId, SupportedDeviceTable[0].vendorId);
    EXPECT_EQ(running[0].productId, SupportedDeviceTable[0].productId);
    ASSERT_EQ(stopped.size(), 2u);
    EXPECT_EQ(stopped[1].command, asio::DeviceCommand::kDop);
    EXPECT_FALSE(stopped[1].on);
}

INSTANTIATE_TEST_SUITE_P(Cases, DopDetection,
                         ::testing::Values(DopCase{176400, 24, false, false, true, 0},
                                           DopCase{352800, 24, false, false, true, 1},
                                           DopCase{176400, 24, true, false, true, 0},
                                           DopCase{96000, 24, false, false, false, 0},
                                           DopCase{176400, 16, false, false, false, 0},
                                           DopCase{176400, 32, false, false, true, 0},
                                           DopCase{176400, 32, false, true, false, 0}));

TEST_F(Control, AResetRequestFromThePanelReachesTheHostAtTheNextWakeUp) {
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOBufferInfo infos[1] = {{ASIOFalse, 0, {}}};
    ASIOCallbacks callbacks = HostCallbacks();
    ASSERT_EQ(driver->createBuffers(infos, 1, 480, &callbacks), ASE_OK);
    BlockView block;
    ASSERT_TRUE(block);
    block->resetRequest = 1;  // while the streaming thread is idle
    Sleep(50);
    EXPECT_EQ(Host().resetRequests, 0);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().resetRequests >= 1; }));
    EXPECT_EQ(block->resetRequest, 0u);
    ASSERT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(Host().resetRequests, 1);
}

TEST_F(Control, ASilentDeviceGetsOneResetRequestPerBufferSet) {
    sim::VirtualAudioConfig config;
    config.render[0].eventsStopAfterPeriods = 3;
    Configure(config);
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOBufferInfo infos[1] = {{ASIOFalse, 0, {}}};
    ASIOCallbacks callbacks = HostCallbacks();
    ASSERT_EQ(driver->createBuffers(infos, 1, 480, &callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([] { return Host().resetRequests >= 1; }, 20));
    EXPECT_GE(Host().switches, 1);
    Sleep(3000);  // a second watchdog period: it has fired already
    EXPECT_EQ(Host().resetRequests, 1);
    ASSERT_EQ(driver->stop(), ASE_OK);
}

// A host that tears the set down when the driver's thread tells it the rate
// changed (the watchdog's notice): the thread touches nothing of the set
// afterwards, and the driver takes a new set.
TEST_F(Control, DisposeFromTheWatchdogsRateNoticeReturns) {
    sim::VirtualAudioConfig config;
    config.render[0].eventsStopAfterPeriods = 3;
    Configure(config);
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(driver->setSampleRate(48000.0), ASE_OK);
    ASIOBufferInfo infos[1] = {{ASIOFalse, 0, {}}};
    ASIOCallbacks callbacks = HostCallbacks();
    ASSERT_EQ(driver->createBuffers(infos, 1, 480, &callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    const DWORD hostThread = GetCurrentThreadId();
    std::atomic<int> disposed{0};
    SetRateWork([&] {
        if (GetCurrentThreadId() == hostThread) return;  // setSampleRate's own notice
        driver->stop();
        driver->disposeBuffers();
        ++disposed;
    });
    // Once the device has gone silent, so no switch takes the change first.
    ASSERT_TRUE(WaitFor([] { return Host().switches >= 1; }));
    Sleep(300);
    ASSERT_EQ(driver->setSampleRate(44100.0), ASE_OK);
    ASSERT_TRUE(WaitFor([&] { return disposed == 1; }, 20));
    SetRateWork(nullptr);
    Sleep(200);
    Configure(sim::VirtualAudioConfig{});
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    const int before = Host().switches;
    ASSERT_EQ(driver->createBuffers(infos, 1, 441, &callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitFor([&] { return Host().switches >= before + 3; }));
    ASSERT_EQ(driver->stop(), ASE_OK);
    ASSERT_EQ(driver->disposeBuffers(), ASE_OK);
}

}  // namespace
}  // namespace veltrano::test
