// The mode commands the driver object sends around buffer creation, release
// and stop, and the buffer-switch delivery both engines share.
#include <cstring>

#include "asio/core/buffer_switch.h"
#include "core_fixture.h"
#include "recorded_commands.h"

namespace veltrano::test {
namespace {

using asio::DeviceCommand;

void NoSwitch(long, ASIOBool) {}
long PlainHost(long selector, long, void*, double*) {
    return selector == kAsioEngineVersion ? 2 : 0;
}

class DeviceCommands : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        SentCommands().clear();
    }
    ASIOCallbacks callbacks{NoSwitch, nullptr, PlainHost, nullptr};
    ASIOBufferInfo infos[2] = {{ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}};
};

std::vector<SentCommand> AllDsdOff() {
    return {{0x1209, 0x0001, DeviceCommand::kDsd64, false},
            {0x1209, 0x0001, DeviceCommand::kDsd128, false},
            {0x1209, 0x0001, DeviceCommand::kDsd256, false}};
}

TEST_F(DeviceCommands, NativeDsdBuffersSwitchTheModeOnAndDisposeSwitchesEveryModeOff) {
    const struct {
        double rate;
        DeviceCommand on;
    } cases[] = {{2822400.0, DeviceCommand::kDsd64},
                 {5644800.0, DeviceCommand::kDsd128},
                 {11289600.0, DeviceCommand::kDsd256}};
    for (const auto& c : cases) {
        SentCommands().clear();
        HostDriver driver;
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        ASSERT_EQ(driver->setSampleRate(c.rate), ASE_OK);
        ASSERT_EQ(driver->createBuffers(infos, 2, 28224, &callbacks), ASE_OK);
        ASSERT_EQ(SentCommands().size(), 1u);
        EXPECT_EQ(SentCommands()[0], (SentCommand{0x1209, 0x0001, c.on, true}));
        SentCommands().clear();
        ASSERT_EQ(driver->disposeBuffers(), ASE_OK);
        EXPECT_EQ(SentCommands(), AllDsdOff());
    }
}

TEST_F(DeviceCommands, PcmBuffersSendNoOnCommandButDisposeStillSendsTheOffCommands) {
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(driver->createBuffers(infos, 2, 441, &callbacks), ASE_OK);
    EXPECT_TRUE(SentCommands().empty());
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_EQ(driver->stop(), ASE_OK);
    EXPECT_TRUE(SentCommands().empty());
    ASSERT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(SentCommands(), AllDsdOff());
}

TEST_F(DeviceCommands, StopSendsDopOffOnceWhileDetected) {
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(driver->createBuffers(infos, 2, 441, &callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    // What the output path records on its first DoP detection.
    Log().state->dopDetected = 1;
    ASSERT_EQ(driver->stop(), ASE_OK);
    ASSERT_EQ(SentCommands().size(), 1u);
    EXPECT_EQ(SentCommands()[0], (SentCommand{0x1209, 0x0001, DeviceCommand::kDop, false}));
    EXPECT_EQ(Log().state->dopDetected, 0);
    ASSERT_EQ(driver->stop(), ASE_OK);  // a second stop changes nothing and sends nothing
    EXPECT_EQ(SentCommands().size(), 1u);
}

struct SwitchHost {
    int plain = 0;
    int timeInfo = 0;
    long lastHalf = -1;
    ASIOTime lastTime{};
};
SwitchHost g_switch;
void CountSwitch(long half, ASIOBool) {
    ++g_switch.plain;
    g_switch.lastHalf = half;
}
ASIOTime* CountTimeInfo(ASIOTime* time, long half, ASIOBool) {
    ++g_switch.timeInfo;
    g_switch.lastHalf = half;
    g_switch.lastTime = *time;
    return time;
}

TEST(BufferSwitchDelivery, TimeInfoCarriesRateChangeOnceAndThePublishedPair) {
    asio::DriverState state;
    state.pcmRate = state.asioRate = 48000;
    state.callbacks = {CountSwitch, nullptr, nullptr, CountTimeInfo};
    state.hostTimeInfo = true;
    state.rateChanged = 1;
    state.samplePosition = (int64_t{3} << 32) + 512;
    state.systemTime = 123456789000;
    g_switch = SwitchHost{};

    asio::DeliverBufferSwitch(state, 1);
    EXPECT_EQ(g_switch.timeInfo, 1);
    EXPECT_EQ(g_switch.plain, 0);
    EXPECT_EQ(g_switch.lastHalf, 1);
    EXPECT_EQ(g_switch.lastTime.timeInfo.flags, 23u);
    EXPECT_EQ(g_switch.lastTime.timeInfo.samplePosition.hi, 3u);
    EXPECT_EQ(g_switch.lastTime.timeInfo.samplePosition.lo, 512u);
    EXPECT_EQ(g_switch.lastTime.timeInfo.systemTime.hi, 123456789000u >> 32);
    EXPECT_EQ(g_switch.lastTime.timeInfo.systemTime.lo, 123456789000u & 0xFFFFFFFFu);
    EXPECT_EQ(g_switch.lastTime.timeInfo.sampleRate, 48000.0);
    EXPECT_EQ(g_switch.lastTime.timeInfo.speed, 1.0);
    EXPECT_EQ(state.switchCount, 1);
    EXPECT_EQ(state.reported.Read().position, state.samplePosition);
    EXPECT_EQ(state.reported.Read().timeNs, state.systemTime);

    asio::DeliverBufferSwitch(state, 0);
    EXPECT_EQ(g_switch.lastTime.timeInfo.flags, 7u);

    // A host without time info gets the plain switch.
    state.hostTimeInfo = false;
    asio::DeliverBufferSwitch(state, 0);
    EXPECT_EQ(g_switch.plain, 1);
    EXPECT_EQ(g_switch.lastHalf, 0);
    EXPECT_EQ(state.switchCount, 3);
}

// Positions count DSD samples in native DSD; the rate in the time info must
// convert them to time, so it is the DSD rate and not the carrier's.
TEST(BufferSwitchDelivery, NativeDsdTimeInfoCarriesTheHostsRate) {
    asio::DriverState state;
    state.pcmRate = 88200;
    state.asioRate = 2822400;
    state.callbacks = {CountSwitch, nullptr, nullptr, CountTimeInfo};
    state.hostTimeInfo = true;
    g_switch = SwitchHost{};
    asio::DeliverBufferSwitch(state, 0);
    EXPECT_EQ(g_switch.lastTime.timeInfo.sampleRate, 2822400.0);
}

TEST(BufferSwitchDelivery, ResetTransportPublishesPositionZeroAtTheStart) {
    asio::DriverState state;
    state.samplePosition = 9999;
    state.switchCount = 7;
    asio::PublishSwitch(state);
    asio::ResetTransport(state, 5000);
    EXPECT_EQ(state.switchCount, 0);
    EXPECT_EQ(state.samplePosition, 0);
    EXPECT_EQ(state.reported.Read().position, 0);
    EXPECT_EQ(state.reported.Read().timeNs, 5000);
}

}  // namespace
}  // namespace veltrano::test
