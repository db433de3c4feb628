#include <gtest/gtest.h>

#include "sim/profile/sim_profile.h"

namespace veltrano::sim {
namespace {

TEST(SimProfile, EmptyProfileIsAFullFeaturedDevice) {
    const auto r = ParseSimProfile("");
    EXPECT_TRUE(r.problems.empty());
    EXPECT_TRUE(r.profile.render);
    EXPECT_TRUE(r.profile.capture);
    EXPECT_EQ(r.profile.channels, 2u);
    EXPECT_EQ(r.profile.widthMask, 0xEu);
    EXPECT_EQ(r.profile.rateMask, 0x1FFu);
    EXPECT_EQ(r.profile.captureRateMask, 0x1FFu);
    EXPECT_TRUE(r.profile.hid);
    EXPECT_EQ(r.profile.stopCompletingAfterMs, 0u);
}

TEST(SimProfile, ReadsEveryKeyAndCaptureFollowsRenderUnlessGiven) {
    const auto r = ParseSimProfile(
        "; a 24-bit-only device whose capture runs at 48 kHz only\r\n"
        "[Device]\r\n"
        "capture = yes\r\n"
        "Widths = 24\r\n"
        "rates = 44100, 48000,96000\r\n"
        "capture_rates = 48000\n"
        "channels = 4   # comment\n"
        "hid = off\n"
        "hid_report_length = 65\n"
        "product_id = 0003\n"
        "[faults]\n"
        "stop_completing_after_ms = 1500\n"
        "deny_endpoint_writes = 1\n"
        "[device]\n"
        "microphone = 1\n");
    EXPECT_TRUE(r.problems.empty()) << r.problems.front();
    EXPECT_EQ(r.profile.widthMask, 1u << 2);
    EXPECT_EQ(r.profile.rateMask, (1u << 1) | (1u << 2) | (1u << 4));
    EXPECT_EQ(r.profile.captureRateMask, 1u << 2);
    EXPECT_EQ(r.profile.channels, 4u);
    EXPECT_EQ(r.profile.captureChannels, 4u);
    EXPECT_FALSE(r.profile.hid);
    EXPECT_EQ(r.profile.hidReportLength, 65u);
    EXPECT_EQ(r.profile.productId, 3);
    EXPECT_EQ(r.profile.stopCompletingAfterMs, 1500u);
    EXPECT_TRUE(r.profile.denyEndpointWrites);
    EXPECT_TRUE(r.profile.microphone);

    const auto noCapture = ParseSimProfile("[device]\ncapture=0\nrates=44100\n");
    EXPECT_FALSE(noCapture.profile.capture);
    EXPECT_EQ(noCapture.profile.captureRateMask, 1u << 1);
}

TEST(SimProfile, BadLinesAreReportedAndKeepTheirDefaults) {
    const auto r = ParseSimProfile(
        "render = 1\n"                // outside a section
        "[device]\n"
        "widths = 16, 20\n"           // 20 is no width
        "rates = 22050\n"             // not a table rate
        "channels = 0\n"              // out of range
        "channels = 99999999999999\n" // overflows
        "product_id = zz\n"
        "bogus = 1\n"
        "no equals sign\n"
        "[device\n"
        "[elsewhere]\n");
    EXPECT_EQ(r.problems.size(), 10u);
    EXPECT_EQ(r.profile.widthMask, 0xEu);
    EXPECT_EQ(r.profile.rateMask, 0x1FFu);
    EXPECT_EQ(r.profile.channels, 2u);
    EXPECT_EQ(r.profile.productId, 0);
    EXPECT_NE(r.problems[0].find("line 1"), std::string::npos);
}

TEST(SimProfile, FaultKeysNameTheirErrorsAndStatesAndRefuseOthers) {
    const auto r = ParseSimProfile(
        "[faults]\n"
        "pin_busy = 1\n"
        "completion_error_after = 40\n"
        "completion_error = Cancelled\n"
        "fail_state = run\n"
        "stall_state = pause\n"
        "async_properties = 1\n"
        "size_query_error = insufficient_buffer\n"
        "hid_write_stall_ms = 2000\n"
        "completion_error = unplugged\n"   // no such status
        "fail_state = 3\n");               // states go by name
    EXPECT_EQ(r.problems.size(), 2u);
    EXPECT_TRUE(r.profile.pinBusy);
    EXPECT_EQ(r.profile.completionErrorAfter, 40);
    EXPECT_EQ(r.profile.completionError, 995u);
    EXPECT_EQ(r.profile.failState, 3);
    EXPECT_EQ(r.profile.stallState, 2);
    EXPECT_TRUE(r.profile.asyncProperties);
    EXPECT_EQ(r.profile.sizeQueryError, 122u);
    EXPECT_EQ(r.profile.hidWriteStallMs, 2000u);
    const auto defaults = ParseSimProfile("");
    EXPECT_EQ(defaults.profile.completionErrorAfter, -1);
    EXPECT_EQ(defaults.profile.failState, -1);
    EXPECT_EQ(defaults.profile.stallState, -1);
    EXPECT_EQ(defaults.profile.sizeQueryError, 234u);
}

}  // namespace
}  // namespace veltrano::sim
