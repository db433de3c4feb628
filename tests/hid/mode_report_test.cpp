#include "asio/core/hid/mode_report.h"

#include <gtest/gtest.h>

namespace veltrano::asio::hid {
namespace {

struct Expected {
    DeviceCommand command;
    bool on;
    uint8_t code, selector, argument;
};

TEST(ModeReport, EachCommandCarriesItsCodeSelectorAndArgumentThenZeros) {
    const Expected table[] = {
        {DeviceCommand::kDsd64, true, 0xF5, 0x32, 0x2E},
        {DeviceCommand::kDsd64, false, 0xF5, 0x32, 0x08},
        {DeviceCommand::kDsd128, true, 0xF6, 0x33, 0x2E},
        {DeviceCommand::kDsd128, false, 0xF6, 0x33, 0x08},
        {DeviceCommand::kDsd256, true, 0xF7, 0x34, 0x2E},
        {DeviceCommand::kDsd256, false, 0xF7, 0x34, 0x08},
        {DeviceCommand::kDop, true, 0xF8, 0x35, 0x01},
        {DeviceCommand::kDop, false, 0xF8, 0x35, 0x00},
    };
    for (const Expected& e : table) {
        SCOPED_TRACE(static_cast<int>(e.command) * 2 + (e.on ? 1 : 0));
        const ModeReport report = BuildModeReport(e.command, e.on);
        ASSERT_EQ(report.size(), 64u);
        EXPECT_EQ(report[0], 0);  // report ID
        EXPECT_EQ(report[1], e.code);
        EXPECT_EQ(report[2], 0x21);
        EXPECT_EQ(report[3], e.selector);
        EXPECT_EQ(report[4], e.argument);
        for (size_t i = kModeCommandSize; i < report.size(); ++i) EXPECT_EQ(report[i], 0) << i;
    }
}

TEST(ModeReport, OnlyLengthsThatHoldTheWholeCommandWithinTheBufferAreWritten) {
    EXPECT_EQ(ModeReportWriteLength(0), 0u);
    EXPECT_EQ(ModeReportWriteLength(1), 0u);
    EXPECT_EQ(ModeReportWriteLength(4), 0u);  // would cut the argument off
    EXPECT_EQ(ModeReportWriteLength(5), 5u);
    EXPECT_EQ(ModeReportWriteLength(9), 9u);
    EXPECT_EQ(ModeReportWriteLength(64), 64u);
    EXPECT_EQ(ModeReportWriteLength(65), 0u);  // longer than the report buffer
    EXPECT_EQ(ModeReportWriteLength(0xFFFF), 0u);
}

}  // namespace
}  // namespace veltrano::asio::hid
