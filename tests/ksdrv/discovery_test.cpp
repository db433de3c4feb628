// Finding the device at creation and the capability table built at init.
#include <cstring>

#include "asio/core/module.h"
#include "common/asio_status_block.h"
#include "ksdrv_fixture.h"

namespace ksdrv {
namespace {

using veltrano::AsioStatusBlock;
using DiscoveryTest = KsDriverTest;

sim::DeviceConfig WithPath(sim::DeviceConfig device, const std::string& path) {
    device.basePath = path;
    return device;
}

sim::Config Devices(std::vector<sim::DeviceConfig> devices) {
    sim::Config config;
    config.devices = std::move(devices);
    return config;
}

long Inputs(Driver& driver) {
    long in = -1;
    long out = -1;
    driver->getChannels(&in, &out);
    return in;
}

long Outputs(Driver& driver) {
    long in = -1;
    long out = -1;
    driver->getChannels(&in, &out);
    return out;
}

TEST_F(DiscoveryTest, DefaultDeviceIsFoundOpenedAtInitAndReleasedAtTheEnd) {
    {
        Driver driver;
        ASSERT_EQ(driver.created, S_OK);
        // The enumerator and the probe filters are closed again.
        EXPECT_EQ(sim::OpenHandleCount(), 0u);
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        // The long-lived render and capture filters.
        EXPECT_EQ(sim::OpenHandleCount(), 2u);
        char name[32] = {};
        driver->getDriverName(name);
        EXPECT_STREQ(name, "Veltrano-HD");
        EXPECT_EQ(Inputs(driver), 2);
        EXPECT_EQ(Outputs(driver), 2);
        BlockView block;
        EXPECT_TRUE(block.OwnedBy(kClsid));
        EXPECT_EQ(block.Read(&AsioStatusBlock::supportedBits), 0x0Eu);
        EXPECT_EQ(block.Read(&AsioStatusBlock::supportedRates), 0x1FFu);
        // channelGroup is the pin identifier: render sink 0, capture sink 2.
        ASIOChannelInfo info{};
        info.channel = 1;
        info.isInput = ASIOFalse;
        ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.channelGroup, 0);
        info.isInput = ASIOTrue;
        ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.channelGroup, 2);
        // A second init keeps the filters it has.
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        EXPECT_EQ(sim::OpenHandleCount(), 2u);
    }
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

TEST_F(DiscoveryTest, DevicePathsMatchOnlyWithVendorProductAndInterfaceParts) {
    struct Case {
        const char* format;
        bool found;
    };
    const Case cases[] = {
        {"\\\\?\\usb#vid_%04x&pid_%04x&mi_01#7&1&0&0001", true},
        {"\\\\?\\USB#VID_%04X&PID_%04X&MI_01#7&1&0&0001", true},
        // Not a composite device: no interface part.
        {"\\\\?\\usb#vid_%04x&pid_%04x#7&1&0&0001", false},
    };
    for (const Case& c : cases) {
        const std::string path = PathFor(c.format);
        SCOPED_TRACE(path);
        Use(Devices({WithPath(sim::DefaultDevice(), path)}));
        Driver driver;
        EXPECT_EQ(driver.created, c.found ? S_OK : E_FAIL);
    }
    // Three hexadecimal digits after "VID_".
    std::string shortVid = PathFor("\\\\?\\usb#vid_%04x&pid_%04x&mi_01#7&1&0&0001");
    shortVid.erase(shortVid.find("vid_") + 4, 1);
    Use(Devices({WithPath(sim::DefaultDevice(), shortVid)}));
    Driver truncated;
    EXPECT_EQ(truncated.created, E_FAIL) << shortVid;
    // A pair the table does not hold.
    Use(Devices({WithPath(sim::DefaultDevice(), "\\\\?\\usb#vid_ffff&pid_fffe&mi_01#7&1&0&1")}));
    Driver stranger;
    EXPECT_EQ(stranger.created, E_FAIL);
}

TEST_F(DiscoveryTest, TheFirstMatchingDeviceWinsAndStrangersAreSkipped) {
    // A foreign device first, then an output-only Veltrano-HD, then a full one.
    Use(Devices({WithPath(sim::DefaultDevice(), "\\\\?\\usb#vid_ffff&pid_0001&mi_01#7&1&0&1"),
                 sim::RenderOnlyDevice(), sim::DefaultDevice()}));
    Driver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(Inputs(driver), 0);
    EXPECT_EQ(Outputs(driver), 2);
}

TEST_F(DiscoveryTest, A24BitOnlyDeviceReplacesTheRequested16Bits) {
    sim::DeviceConfig device = sim::DefaultDevice();
    for (sim::PinConfig& pin : device.pins) {
        if (pin.communication != KSPIN_COMMUNICATION_SINK) continue;
        pin.ranges.resize(1);
        pin.ranges[0].minBits = pin.ranges[0].maxBits = 24;
    }
    Use(Devices({device}));
    WriteSetting("BitsPerSample", 16);
    Driver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    BlockView block;
    EXPECT_EQ(block.Read(&AsioStatusBlock::supportedBits), 4u);
    EXPECT_EQ(block.Read(&AsioStatusBlock::bitsPerSample), 24u);
    ASIOChannelInfo info{};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt24LSB);
    // Native DSD needs 32 bits.
    EXPECT_EQ(driver->canSampleRate(2822400.0), ASE_NoClock);
}

TEST_F(DiscoveryTest, ACapturePinOfferingOnly48000LimitsTheRatesOfBothDirections) {
    sim::DeviceConfig device = sim::DefaultDevice();
    for (sim::PinConfig& pin : device.pins) {
        if (pin.dataFlow != KSPIN_DATAFLOW_OUT || pin.communication != KSPIN_COMMUNICATION_SINK) {
            continue;
        }
        for (sim::DataRangeConfig& range : pin.ranges) range.minRate = range.maxRate = 48000;
    }
    Use(Devices({device}));
    WriteSetting("SampleRate", 96000);
    Driver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    BlockView block;
    EXPECT_EQ(block.Read(&AsioStatusBlock::supportedRates), 1u << 2);
    ASIOSampleRate rate = 0;
    ASSERT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 48000.0);
    EXPECT_EQ(Inputs(driver), 2);
}

TEST_F(DiscoveryTest, WithoutACaptureSideEveryInputSlotCountsAsSupported) {
    Use(Devices({sim::RenderOnlyDevice()}));
    Driver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(Inputs(driver), 0);
    EXPECT_EQ(Outputs(driver), 2);
    BlockView block;
    EXPECT_EQ(block.Read(&AsioStatusBlock::supportedRates), 0x1FFu);
    EXPECT_EQ(sim::OpenHandleCount(), 1u);  // the render filter only
}

TEST_F(DiscoveryTest, WithoutADeviceCreationFailsAndTheBlockClaimIsReleased) {
    BlockView block;  // held open, so the block outlives the failed object
    ASSERT_TRUE(block.Unowned());
    Use(Devices({}));
    {
        Driver driver;
        EXPECT_EQ(driver.created, E_FAIL);
        EXPECT_EQ(driver.get(), nullptr);
    }
    EXPECT_EQ(veltrano::asio::ModuleObjectCount(), 0);
    EXPECT_TRUE(block.Unowned());
    EXPECT_EQ(block.Read(&AsioStatusBlock::state), 0u);
    // A device whose pins accept no width at all is no device either.
    sim::DeviceConfig mute = sim::DefaultDevice();
    for (sim::PinConfig& pin : mute.pins) {
        for (sim::DataRangeConfig& range : pin.ranges) range.minBits = range.maxBits = 8;
    }
    Use(Devices({mute}));
    Driver none;
    EXPECT_EQ(none.created, E_FAIL);
    EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

// More pins and channels than the table holds: the first three pins in list
// order, and the first 64 channels, in a stable way.
TEST_F(DiscoveryTest, PinsAndChannelsBeyondTheTableAreCutInListOrder) {
    sim::DeviceConfig wide;
    for (int i = 0; i < 5; ++i) {
        sim::PinConfig pin = sim::RenderSinkPin(30);
        pin.exactChannels = false;
        wide.pins.push_back(pin);
    }
    Use(Devices({wide}));
    Driver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(Outputs(driver), 64);
    ASIOChannelInfo info{};
    info.channel = 63;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.channelGroup, 2);  // channel 3 of the third pin
    info.channel = 64;
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_InvalidParameter);
    driver.Reset();

    // One pin claiming far more channels than fit.
    sim::DeviceConfig huge;
    sim::PinConfig pin = sim::RenderSinkPin(1000);
    pin.exactChannels = false;
    huge.pins = {pin, sim::RenderSinkPin(2)};
    Use(Devices({huge}));
    Driver second;
    ASSERT_EQ(second.created, S_OK);
    ASSERT_EQ(second->init(nullptr), ASIOTrue);
    EXPECT_EQ(Outputs(second), 64);
    info.channel = 63;
    ASSERT_EQ(second->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.channelGroup, 0);
}

}  // namespace
}  // namespace ksdrv
