// The settings store through the real registry under Wine.
#include <memory>

#include "common/asio_status_block.h"
#include "common/width_mask.h"
#include "core_fixture.h"

namespace veltrano::test {
namespace {

using SettingsTest = CoreTest;

uint32_t Block(size_t offset) { return PeerReadBlock(static_cast<uint32_t>(offset)).value_or(~0u); }

TEST_F(SettingsTest, FirstUseWithoutAKeyTakesTheDefaultsAndSavesThem) {
    {
        HostDriver driver;
        ASSERT_EQ(driver.created, S_OK);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, settingsLoaded)), 1u);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, bufferSizeSetting)), 100u);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, bitsPerSampleSetting)), 16u);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, supportedRates)), 2u);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, supportedBits)), 2u);
        EXPECT_FALSE(SettingsKeyExists());  // loading writes nothing
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, supportedRates)), 0x1FFu);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, supportedBits)), 0x0Eu);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, bitsPerSample)), 16u);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, bufferSize)), 100u);
    }
    EXPECT_EQ(ReadSetting("SampleRate"), 44100u);
    EXPECT_EQ(ReadSetting("BufferSize"), 100u);
    EXPECT_EQ(ReadSetting("BitsPerSample"), 16u);
    EXPECT_EQ(ReadSetting("SupportSampleRate"), 0x1FFu);
    EXPECT_EQ(ReadSetting("SupporBitsPerSample"), 0x0Eu);
}

TEST_F(SettingsTest, StoredWidthThatIsNoWidthUsesTheWidestAccepted) {
    WriteSetting("BitsPerSample", 20);
    WriteSetting("BufferSize", 50);
    {
        HostDriver driver;
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        ASIOChannelInfo info{};
        ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.type, ASIOSTInt32LSB);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, bitsPerSample)), 32u);
        long preferred = 0;
        driver->getBufferSize(nullptr, nullptr, &preferred, nullptr);
        EXPECT_EQ(preferred, 220);
    }
    // The driver hands the value back untouched; correcting it is the
    // control panel's business.
    EXPECT_EQ(ReadSetting("BitsPerSample"), 20u);
}

TEST_F(SettingsTest, StoredWidthTheDeviceLacksFallsBackToo) {
    WriteSetting("BitsPerSample", 32);
    Script().widthMask = kWidth16Bit | kWidth24Bit;
    HostDriver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOChannelInfo info{};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt24LSB);
    EXPECT_EQ(Log().IndexOf("BuildTable out 24"), 2);
}

TEST_F(SettingsTest, StoredRateNotSupportedInBothDirectionsFallsBack) {
    WriteSetting("SampleRate", 96000);
    Script().inputChannels = {0, 0, 2, 2, 0, 2, 2, 2, 2};  // no 32000, 44100 or 96000 in
    {
        HostDriver driver;
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        ASIOSampleRate rate = 0;
        ASSERT_EQ(driver->getSampleRate(&rate), ASE_OK);
        EXPECT_EQ(rate, 48000.0);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, supportedRates)), 0b111101100u);
    }
    EXPECT_EQ(ReadSetting("SampleRate"), 48000u);
}

TEST_F(SettingsTest, HostileStoredRateFallsBack) {
    for (uint32_t stored : {0xFFFFFFFFu, 0u, 2822400u, 44101u}) {
        WriteSetting("SampleRate", stored);
        HostDriver driver;
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        ASIOSampleRate rate = 0;
        ASSERT_EQ(driver->getSampleRate(&rate), ASE_OK);
        EXPECT_EQ(rate, 32000.0) << stored;
    }
}

TEST_F(SettingsTest, NoRateSupportedInBothDirectionsLeavesNoClock) {
    Script().outputChannels = {0, 2, 0, 0, 0, 0, 0, 0, 0};
    Script().inputChannels = {0, 0, 2, 0, 0, 0, 0, 0, 0};
    {
        HostDriver driver;
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        long in = -1, out = -1, a = 0, b = 0, c = 0, d = 0;
        EXPECT_EQ(driver->getChannels(&in, &out), ASE_NotPresent);
        EXPECT_EQ(in, 0);
        EXPECT_EQ(out, 0);
        ASIOSampleRate rate = 1;
        EXPECT_EQ(driver->getSampleRate(&rate), ASE_NotPresent);
        EXPECT_EQ(driver->getBufferSize(&a, &b, &c, &d), ASE_NotPresent);
        EXPECT_EQ(driver->getLatencies(&a, &b), ASE_NotPresent);
        EXPECT_EQ(driver->setClockSource(0), ASE_NotPresent);
        ASIOChannelInfo info{};
        EXPECT_EQ(driver->getChannelInfo(&info), ASE_NotPresent);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, supportedRates)), 0u);
        EXPECT_EQ(Block(offsetof(AsioStatusBlock, sampleRate)), 0u);
    }
    EXPECT_EQ(ReadSetting("SampleRate"), 0u);
}

TEST_F(SettingsTest, TwoObjectsSaveOnTheirOwnEndAndTheLastOneWins) {
    auto first = std::make_unique<HostDriver>();
    auto second = std::make_unique<HostDriver>();
    ASSERT_EQ(first->get()->init(nullptr), ASIOTrue);
    ASSERT_EQ((*second)->init(nullptr), ASIOTrue);
    ASSERT_EQ((*first)->setSampleRate(48000.0), ASE_OK);
    ASSERT_EQ((*second)->setSampleRate(96000.0), ASE_OK);
    second.reset();
    EXPECT_EQ(ReadSetting("SampleRate"), 96000u);
    // The block outlived the second object and keeps its settings.
    EXPECT_EQ(Block(offsetof(AsioStatusBlock, settingsLoaded)), 1u);
    first.reset();
    EXPECT_EQ(ReadSetting("SampleRate"), 48000u);
    EXPECT_EQ(ReadSetting("BufferSize"), 100u);
}

TEST_F(SettingsTest, HostileMasksAreReplacedByWhatTheDeviceSupports) {
    WriteSetting("SupporBitsPerSample", 0xFFFFFFFFu);
    WriteSetting("SupportSampleRate", 0xFFFFFFFFu);
    Script().widthMask = kWidth16Bit | kWidth24Bit;
    HostDriver driver;
    EXPECT_EQ(Block(offsetof(AsioStatusBlock, supportedBits)), 0xFFFFFFFFu);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(Block(offsetof(AsioStatusBlock, supportedBits)), 6u);
    EXPECT_EQ(driver->canSampleRate(2822400.0), ASE_NoClock);
}

TEST_F(SettingsTest, ObjectDestroyedWithoutInitSavesNothing) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    {
        HostDriver driver;
        ASSERT_EQ(driver.created, S_OK);
        ASSERT_TRUE(PeerWriteBlock(offsetof(AsioStatusBlock, bufferSizeSetting), 300));
    }
    EXPECT_FALSE(SettingsKeyExists());
}

}  // namespace
}  // namespace veltrano::test
