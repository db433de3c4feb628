// The device a profile describes, as device discovery and kslib see it.

#include "sim/profile_loader.h"

#include "asio/core/device_commands.h"

#include <cstdio>

#include "common/device_table.h"
#include "sim/sim.h"
#include "simdll/simdll_support.h"

namespace simdll {
namespace {

class ProfileLoaderTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetEnvironmentVariableA("VELTRANO_SIM_PROFILE", nullptr);
        DeleteFileA(TempPath("profile.ini").c_str());
        sim::Reset();
    }
    static void Load(const std::string& text) {
        SetEnvironmentVariableA("VELTRANO_SIM_PROFILE", WriteProfile(text).c_str());
        sim::LoadProfileFromEnvironment();
    }
};

std::string VendorPart() {
    char text[16];
    snprintf(text, sizeof text, "vid_%04x", veltrano::SupportedDeviceTable[0].vendorId);
    return text;
}

TEST_F(ProfileLoaderTest, OffersExactlyTheListedWidthsRatesAndChannelsUnderItsProductId) {
    Load(
        "[device]\ncapture = 0\nchannels = 4\nwidths = 24, 32\nrates = 44100, 96000\n"
        "product_id = 0004\n");
    const std::vector<std::string> paths = DiscoveredPaths(KSCATEGORY_AUDIO);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_NE(paths[0].find(VendorPart() + "&pid_0004"), std::string::npos) << paths[0];
    EXPECT_TRUE(DiscoveredPaths(KSCATEGORY_CAPTURE).empty());
    ASSERT_EQ(DiscoveredPaths(KSCATEGORY_RENDER).size(), 1u);

    auto filter = OpenFilter(paths[0]);
    EXPECT_EQ(filter->CaptureSinkPins().Count(), 0u);
    ASSERT_EQ(filter->RenderSinkPins().Count(), 1u);
    auto* pin = static_cast<kslib::CKsAudPin*>(filter->RenderSinkPins().Head());
    EXPECT_EQ(pin->DataRanges().Count(), 4u);  // two widths by two rates

    // Listed combinations open; a rate between two listed ones, an unlisted
    // width and another channel count do not.
    for (auto [bits, rate] : {std::pair<WORD, DWORD>{24, 44100}, {32, 96000}}) {
        const WAVEFORMATEXTENSIBLE ok = Format(4, bits, rate);
        EXPECT_TRUE(pin->IsFormatSupported(&ok.Format, kslib::KS_FORMAT_MATCH_ALL));
        EXPECT_NE(OpenRenderPin(*filter, ok), nullptr) << bits << " " << rate;
        StopAndClose(pin);
    }
    for (const WAVEFORMATEXTENSIBLE& refused : {Format(4, 24, 48000), Format(4, 16, 44100)}) {
        EXPECT_FALSE(pin->IsFormatSupported(&refused.Format, kslib::KS_FORMAT_MATCH_ALL));
        EXPECT_EQ(OpenRenderPin(*filter, refused), nullptr);
    }
    // kslib's test takes any channel count up to the maximum; the device
    // itself wants all four.
    const WAVEFORMATEXTENSIBLE stereo = Format(2, 24, 44100);
    EXPECT_EQ(OpenRenderPin(*filter, stereo), nullptr);
}

TEST_F(ProfileLoaderTest, CaptureOnlyDeviceHasNoRenderInterfaceAndItsOwnCaptureRates) {
    Load("[device]\nrender = 0\ncapture_channels = 2\nrates = 48000\ncapture_rates = 88200\n");
    EXPECT_TRUE(DiscoveredPaths(KSCATEGORY_RENDER).empty());
    const std::vector<std::string> paths = DiscoveredPaths(KSCATEGORY_CAPTURE);
    ASSERT_EQ(paths.size(), 1u);
    // No product ID given: the accepted-devices table's first entry.
    char pid[16];
    snprintf(pid, sizeof pid, "pid_%04x", veltrano::SupportedDeviceTable[0].productId);
    EXPECT_NE(paths[0].find(pid), std::string::npos) << paths[0];
    auto filter = OpenFilter(paths[0]);
    EXPECT_EQ(filter->RenderSinkPins().Count(), 0u);
    ASSERT_EQ(filter->CaptureSinkPins().Count(), 1u);
    auto* pin = static_cast<kslib::CKsAudPin*>(filter->CaptureSinkPins().Head());
    EXPECT_EQ(pin->DataRanges().Count(), 3u);  // three widths at one rate
    const WAVEFORMATEXTENSIBLE at88 = Format(2, 24, 88200);
    const WAVEFORMATEXTENSIBLE at48 = Format(2, 24, 48000);
    EXPECT_TRUE(pin->IsFormatSupported(&at88.Format, kslib::KS_FORMAT_MATCH_ALL));
    EXPECT_FALSE(pin->IsFormatSupported(&at48.Format, kslib::KS_FORMAT_MATCH_ALL));
}

TEST_F(ProfileLoaderTest, MissingOrBrokenProfileGivesTheFullDevice) {
    for (const char* text : {"", "[device]\nchannels = lots\nrates = 12345\n[nonsense\n"}) {
        Load(text);
        const std::vector<std::string> paths = DiscoveredPaths(KSCATEGORY_AUDIO);
        ASSERT_EQ(paths.size(), 1u);
        auto filter = OpenFilter(paths[0]);
        ASSERT_EQ(filter->RenderSinkPins().Count(), 1u);
        ASSERT_EQ(filter->CaptureSinkPins().Count(), 1u);
        auto* pin = static_cast<kslib::CKsAudPin*>(filter->RenderSinkPins().Head());
        EXPECT_EQ(pin->DataRanges().Count(), 27u);  // 16, 24 and 32 bits at the nine rates
        const WAVEFORMATEXTENSIBLE high = Format(2, 32, 384000);
        EXPECT_TRUE(pin->IsFormatSupported(&high.Format, kslib::KS_FORMAT_MATCH_ALL));
    }
    // A file that is not there is the same as none.
    SetEnvironmentVariableA("VELTRANO_SIM_PROFILE", TempPath("absent.ini").c_str());
    sim::Configure(sim::Config{});
    sim::LoadProfileFromEnvironment();
    EXPECT_EQ(DiscoveredPaths(KSCATEGORY_CAPTURE).size(), 1u);
}

TEST_F(ProfileLoaderTest, PacketsStopCompletingTheGivenTimeAfterRun) {
    Load("[faults]\nstop_completing_after_ms = 1000\n");
    auto filter = OpenFilter(DiscoveredPaths(KSCATEGORY_AUDIO).at(0));
    kslib::CKsAudPin* pin = OpenRenderPin(*filter, Format(2, 16, 48000));
    ASSERT_NE(pin, nullptr);
    // 100 ms packets: the first is due long before the device falls silent,
    // the last (1.6 s) long after.
    std::vector<std::unique_ptr<Packet>> packets;
    for (int k = 0; k < 16; ++k) {
        packets.push_back(std::make_unique<Packet>(std::vector<BYTE>(4800 * 4, BYTE(k))));
        ASSERT_EQ(pin->WriteData(&packets.back()->header, &packets.back()->overlapped), S_OK);
    }
    ASSERT_EQ(pin->SetState(KSSTATE_RUN), S_OK);
    EXPECT_TRUE(packets.front()->Wait(10000));
    EXPECT_EQ(packets.front()->overlapped.Internal, 0u);
    // Without the fault it would complete after 1.6 s.
    EXPECT_FALSE(packets.back()->Wait(4000));
    // Stopping still cancels what is queued, as a real driver does.
    StopAndClose(pin);
    EXPECT_TRUE(packets.back()->Wait(10000));
    EXPECT_EQ(packets.back()->overlapped.Internal, 0xC0000120u);
}

}  // namespace
}  // namespace simdll

namespace simdll {
namespace {

// The HID interface follows the profile: absent devices take no commands,
// and the report length and product ID reach the interface the driver opens.
TEST_F(ProfileLoaderTest, HidInterfaceFollowsTheProfile) {
    using veltrano::asio::DeviceCommand;
    const uint16_t vendor = veltrano::SupportedDeviceTable[0].vendorId;

    Load("[device]\nhid = 0\n");
    veltrano::asio::SendDeviceCommand(vendor, veltrano::SupportedDeviceTable[0].productId,
                                      DeviceCommand::kDsd64, true);
    EXPECT_TRUE(sim::HidReports(0).empty());

    Load("[device]\nproduct_id = 0003\nhid_report_length = 9\n");
    veltrano::asio::SendDeviceCommand(vendor, 0x0003, DeviceCommand::kDop, true);
    const auto reports = sim::HidReports(0);
    ASSERT_EQ(reports.size(), 1u);
    const std::vector<uint8_t> expected = {0x00, 0xF8, 0x21, 0x35, 0x01, 0, 0, 0, 0};
    EXPECT_EQ(reports[0], expected);
}

}  // namespace
}  // namespace simdll
