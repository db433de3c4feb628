// Finding the device among the endpoints, the exclusive-format probe and the
// capability table it yields, seen through IASIO.
#include <cstring>

#include "wasapi_fixture.h"

namespace veltrano::test {
namespace {

using Discovery = WasapiTest;

sim::VirtualEndpointConfig Endpoint(const wchar_t* path) {
    sim::VirtualEndpointConfig e;
    e.devicePath = path;
    return e;
}

TEST_F(Discovery, FindsTheDeviceAndHoldsNoEndpointUntilInit) {
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    // Creation probes and lets go of everything it opened.
    EXPECT_EQ(sim::LiveVirtualObjects(), 0);
    char name[32] = {};
    driver->getDriverName(name);
    EXPECT_STREQ(name, "Veltrano-HD");
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_GT(sim::LiveVirtualObjects(), 0);
    long in = 0, out = 0;
    ASSERT_EQ(driver->getChannels(&in, &out), ASE_OK);
    EXPECT_EQ(in, 2);
    EXPECT_EQ(out, 2);
    ASIOChannelInfo info{};
    info.channel = 0;
    info.isInput = ASIOFalse;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Veltrano-HD_OUT_L");
    EXPECT_EQ(info.channelGroup, 0);
    EXPECT_EQ(info.isActive, ASIOFalse);
    info.channel = 1;
    info.isInput = ASIOTrue;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Veltrano-HD_IN_R");
    BlockView block;
    ASSERT_TRUE(block);
    EXPECT_EQ(block->supportedBits, 0xEu);
    EXPECT_EQ(block->supportedRates, 0x1FFu);
}

TEST_F(Discovery, OtherDevicesAndIncompletePathsAreNotTheDevice) {
    const wchar_t* paths[] = {
        L"\\\\?\\usb#vid_1234&pid_0001&mi_01#x",  // vendor not in the table
        L"\\\\?\\usb#vid_1209&pid_0001#x",        // no interface part
        L"\\\\?\\usb#vid_1209&pid_00",            // product id cut short
        L"\\\\?\\hdaudio#func_01&ven_10ec&dev_0269",
    };
    for (const wchar_t* path : paths) {
        sim::VirtualAudioConfig config;
        config.render = {Endpoint(path)};
        Configure(config);
        HostDriver driver;
        EXPECT_EQ(driver.created, E_FAIL) << static_cast<const void*>(path);
    }
    sim::VirtualAudioConfig unreadable;
    unreadable.render[0].pathUnreadable = true;
    Configure(unreadable);
    HostDriver driver;
    EXPECT_EQ(driver.created, E_FAIL);
}

TEST_F(Discovery, PlatformFailuresArePassedOn) {
    sim::VirtualAudioConfig config;
    config.enumeratorResult = REGDB_E_CLASSNOTREG;
    Configure(config);
    EXPECT_EQ(HostDriver().created, REGDB_E_CLASSNOTREG);
    config.enumeratorResult = S_OK;
    config.enumerationResult = E_OUTOFMEMORY;
    Configure(config);
    EXPECT_EQ(HostDriver().created, E_OUTOFMEMORY);
}

TEST_F(Discovery, TheFirstMatchingRenderEndpointIsUsedAndMismatchesAreSkipped) {
    sim::VirtualAudioConfig config;
    // Windows may spell the path in lower case.
    sim::VirtualEndpointConfig lower;
    lower.devicePath = L"\\\\?\\usb#vid_1209&pid_0001&mi_01#7&1a2b3c4d&0&0000";
    config.render = {Endpoint(L"\\\\?\\usb#vid_1234&pid_0001&mi_01#x"), lower,
                     sim::VirtualEndpointConfig{}};
    Configure(config);
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOBufferInfo infos[1] = {{ASIOFalse, 0, {}}};
    ASIOCallbacks callbacks = HostCallbacks();
    ASSERT_EQ(driver->createBuffers(infos, 1, 480, &callbacks), ASE_OK);
    EXPECT_TRUE(sim::RenderRecordings(0).empty());
    EXPECT_EQ(sim::RenderRecordings(1).size(), 1u);
    EXPECT_TRUE(sim::RenderRecordings(2).empty());
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST_F(Discovery, ADeviceWithoutCaptureHasNoInputChannelsAtAnyRate) {
    sim::VirtualAudioConfig config;
    config.capture.clear();
    config.render[0].rateMask = 0x6;  // 44100, 48000
    Configure(config);
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long in = -1, out = -1;
    ASSERT_EQ(driver->getChannels(&in, &out), ASE_OK);
    EXPECT_EQ(in, 0);
    EXPECT_EQ(out, 2);
    EXPECT_EQ(driver->canSampleRate(48000.0), ASE_OK);
    EXPECT_EQ(driver->canSampleRate(96000.0), ASE_NotPresent);
    ASIOChannelInfo info{};
    info.isInput = ASIOTrue;
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_InvalidParameter);
}

TEST_F(Discovery, WidthsCountOnlyWhereBothDirectionsTakeThem) {
    sim::VirtualAudioConfig config;
    for (auto* list : {&config.render, &config.capture}) {
        (*list)[0].rateMask = 0x6;
        (*list)[0].containers = {{16, 16}, {24, 24}};
    }
    config.capture[0].containers.push_back({32, 32});  // capture alone is not enough
    Configure(config);
    WriteSetting("BitsPerSample", 24);
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    BlockView block;
    ASSERT_TRUE(block);
    EXPECT_EQ(block->supportedBits, 0x6u);
    EXPECT_EQ(block->supportedRates, 0x6u);
    EXPECT_EQ(block->bitsPerSample, 24u);
    EXPECT_EQ(driver->canSampleRate(44100.0), ASE_OK);
    EXPECT_EQ(driver->canSampleRate(32000.0), ASE_NotPresent);
}

TEST_F(Discovery, NoExclusiveFormatMeansNoDriver) {
    sim::VirtualAudioConfig config;
    config.render[0].heldByOtherApplication = true;
    Configure(config);
    EXPECT_EQ(HostDriver().created, E_FAIL);
}

TEST_F(Discovery, ACaptureEndpointGoneBeforeInitFailsInit) {
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    sim::VirtualAudioConfig config;
    config.capture.clear();
    Configure(config);
    EXPECT_EQ(driver->init(nullptr), ASIOFalse);
}

TEST_F(Discovery, TwentyFourBitsOnlyInWideContainersArePlayedAs32BitWords) {
    sim::VirtualAudioConfig config;
    config.render[0].containers = {{16, 16}, {32, 24}, {32, 32}};
    Configure(config);
    WriteSetting("BitsPerSample", 24);
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    BlockView block;
    ASSERT_TRUE(block);
    EXPECT_EQ(block->supportedBits, 0xEu);
    EXPECT_EQ(block->bitsPerSample, 24u);
    for (ASIOBool input : {ASIOFalse, ASIOTrue}) {
        ASIOChannelInfo info{};
        info.isInput = input;
        ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.type, ASIOSTInt32LSB) << input;
    }
    ASIOBufferInfo infos[2] = {{ASIOFalse, 0, {}}, {ASIOTrue, 0, {}}};
    ASIOCallbacks callbacks = HostCallbacks();
    ASSERT_EQ(driver->createBuffers(infos, 2, 480, &callbacks), ASE_OK);
    const auto recordings = sim::RenderRecordings(0);
    ASSERT_EQ(recordings.size(), 1u);
    EXPECT_EQ(recordings[0].containerBits, 32);
    EXPECT_EQ(recordings[0].validBits, 24);
    // Host halves hold 4 bytes per sample in both directions.
    EXPECT_EQ(LocalSize(infos[0].buffers[0]), 480u * 4);
    EXPECT_EQ(LocalSize(infos[1].buffers[1]), 480u * 4);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

}  // namespace
}  // namespace veltrano::test
