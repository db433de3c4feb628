#include <gtest/gtest.h>

#include "common/buffer_durations.h"
#include "common/rate_table.h"
#include "common/width_mask.h"

namespace veltrano {
namespace {

TEST(RateTable, IndicesAndBitsFollowTableOrder) {
    const uint32_t expected[] = {32000, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};
    for (int i = 0; i < kRateCount; ++i) {
        EXPECT_EQ(RateIndex(expected[i]), i);
        EXPECT_EQ(RateBit(expected[i]), 1u << i);
    }
    EXPECT_EQ(RateIndex(22050), -1);
    EXPECT_EQ(RateBit(0), 0u);
    EXPECT_EQ(RateBit(2822400), 0u);
}

TEST(RateTable, DsdRatesMapToTheirCarriersOnlyWhenExact) {
    EXPECT_EQ(DsdCarrierRate(2822400.0), 88200u);
    EXPECT_EQ(DsdCarrierRate(5644800.0), 176400u);
    EXPECT_EQ(DsdCarrierRate(11289600.0), 352800u);
    EXPECT_TRUE(IsDsdRate(5644800.0));
    EXPECT_FALSE(IsDsdRate(2822400.5));
    EXPECT_FALSE(IsDsdRate(88200.0));
    EXPECT_EQ(DsdCarrierRate(2822399.999), 0u);
    EXPECT_EQ(DsdCarrierRate(44100.0), 0u);
}

TEST(WidthMask, WidestWidthUsesLowFourBitsOnly) {
    EXPECT_EQ(WidestWidth(0), 0);
    EXPECT_EQ(WidestWidth(1), 8);
    EXPECT_EQ(WidestWidth(2), 16);
    EXPECT_EQ(WidestWidth(3), 16);
    EXPECT_EQ(WidestWidth(4), 24);
    EXPECT_EQ(WidestWidth(7), 24);
    EXPECT_EQ(WidestWidth(8), 32);
    EXPECT_EQ(WidestWidth(15), 32);
    // High bits from a hostile registry value or status block are ignored.
    EXPECT_EQ(WidestWidth(0xFFFFFFF0u), 0);
    EXPECT_EQ(WidestWidth(0xFFFFFFF4u), 24);
}

TEST(WidthMask, RequestedWidthStandsOnlyWhenValidAndAccepted) {
    EXPECT_EQ(ChooseWidth(16, kWidth16Bit | kWidth24Bit), 16);
    EXPECT_EQ(ChooseWidth(16, kWidth24Bit), 24);  // 24-bit-only device
    EXPECT_EQ(ChooseWidth(20, kWidthMaskBits), 32);
    EXPECT_EQ(ChooseWidth(0, kWidth16Bit), 16);
    EXPECT_EQ(ChooseWidth(-24, kWidth24Bit), 24);
    EXPECT_EQ(ChooseWidth(32, 0), 0);
    EXPECT_EQ(WidthBit(24), kWidth24Bit);
    EXPECT_EQ(WidthBit(20), 0u);
}

TEST(BufferDurations, TableEndsAndSettingConversionDoNotOverflow) {
    EXPECT_EQ(kBufferDurationMs.size(), 34u);
    EXPECT_EQ(kMinBufferMs, 2u);
    EXPECT_EQ(kMaxBufferMs, 600u);
    for (size_t i = 1; i < kBufferDurationMs.size(); ++i) {
        EXPECT_LT(kBufferDurationMs[i - 1], kBufferDurationMs[i]);
    }
    EXPECT_EQ(SettingToDuration100ns(100), 100000);
    EXPECT_EQ(SettingToDuration100ns(0xFFFFFFFFu), 4294967295000LL);
    EXPECT_EQ(DurationToSetting(100000), 100u);
    EXPECT_EQ(DurationToSetting(-5), 0u);
}

}  // namespace
}  // namespace veltrano
