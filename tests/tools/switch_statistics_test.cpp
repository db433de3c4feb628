#include "tools/probe/switch_statistics.h"

#include <gtest/gtest.h>

namespace {

using veltrano::probe::SwitchStatistics;

TEST(SwitchStatistics, SummarisesIntervalsAndCountsLateOnes) {
    SwitchStatistics stats(16, 10);
    for (int64_t tick : {100, 110, 120, 150, 160, 175, 191}) stats.Record(tick);
    const auto s = stats.Summarize();
    EXPECT_EQ(s.switches, 7u);
    EXPECT_EQ(s.intervals, 6u);
    EXPECT_EQ(s.minTicks, 10);
    EXPECT_EQ(s.maxTicks, 30);
    EXPECT_EQ(s.medianTicks, 15);  // of 10, 10, 10, 15, 16, 30
    // Late means more than one and a half periods: 30 and 16, not 15.
    EXPECT_EQ(s.late, 2u);
}

TEST(SwitchStatistics, KeepsCountingBeyondItsCapacity) {
    SwitchStatistics stats(2, 10);
    for (int64_t tick : {0, 10, 20, 50, 100}) stats.Record(tick);
    const auto s = stats.Summarize();
    EXPECT_EQ(s.switches, 5u);
    EXPECT_EQ(s.intervals, 2u);
    EXPECT_EQ(s.maxTicks, 10);
    EXPECT_EQ(s.late, 2u);
}

TEST(SwitchStatistics, NoIntervalsBeforeTheSecondSwitch) {
    SwitchStatistics stats(4, 10);
    EXPECT_EQ(stats.Summarize().switches, 0u);
    stats.Record(5);
    const auto s = stats.Summarize();
    EXPECT_EQ(s.switches, 1u);
    EXPECT_EQ(s.intervals, 0u);
    EXPECT_EQ(s.maxTicks, 0);
}

}  // namespace
