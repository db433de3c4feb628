#include <gtest/gtest.h>

#include <random>

#include "skin/region_check.h"

namespace {

using skintest::Collector;
using skintest::Mask;

std::string Build(const Mask& mask, Collector& c) {
    if (!skin::BuildRegionRuns(mask.View(), c)) return "builder failed";
    return skintest::CheckRuns(mask, c);
}

Mask RoundedCorners(int w, int h, int radius, bool bottomUp) {
    Mask m(w, h, bottomUp);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int cx = x < radius ? radius : (x >= w - radius ? w - radius - 1 : x);
            int cy = y < radius ? radius : (y >= h - radius ? h - radius - 1 : y);
            int dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy <= radius * radius) m.Ink(x, y);
        }
    }
    return m;
}

TEST(RegionBuilder, RoundedCornerMaskIsExactInBothRowOrders) {
    for (bool up : {false, true}) {
        Mask m = RoundedCorners(299, 640, 14, up);
        Collector c;
        EXPECT_EQ(Build(m, c), "");
        // One run per row: the corners only shorten the top and bottom rows.
        EXPECT_EQ(c.rects.size(), 640u);
        ASSERT_FALSE(c.rects.empty());
        EXPECT_EQ(c.rects.front().top, 0);
        EXPECT_GT(c.rects.front().left, 0);
        EXPECT_EQ(c.rects[320].left, 0);
        EXPECT_EQ(c.rects[320].right, 299);
    }
}

TEST(RegionBuilder, CheckerboardWithManyRunsComesInFullBatches) {
    Mask m(120, 100, true);
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x)
            if ((x + y) % 2) m.Ink(x, y);
    Collector c;
    EXPECT_EQ(Build(m, c), "");
    EXPECT_EQ(c.rects.size(), 6000u);
    ASSERT_EQ(c.batches.size(), 3u);
    EXPECT_EQ(c.batches[2].count, 2000u);
}

TEST(RegionBuilder, RunsOfOneBatchPlusARemainder) {
    // 2001 single-pixel runs: one full batch and one with a single rectangle.
    Mask m(2, 2001);
    for (int y = 0; y < m.height; ++y) m.Ink(0, y);
    Collector c;
    EXPECT_EQ(Build(m, c), "");
    ASSERT_EQ(c.batches.size(), 2u);
    EXPECT_EQ(c.batches[1].count, 1u);
    EXPECT_EQ(c.batches[1].bounds.top, 2000);
}

TEST(RegionBuilder, EmptyMaskGivesNoBatchAndFullMaskOneRunPerRow) {
    Mask empty(50, 40);
    Collector none;
    EXPECT_EQ(Build(empty, none), "");
    EXPECT_TRUE(none.batches.empty());

    Mask full(50, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) full.Set(x, y, 254, 255, 255);  // nearly white is inside
    Collector c;
    EXPECT_EQ(Build(full, c), "");
    EXPECT_EQ(c.rects.size(), 40u);
}

TEST(RegionBuilder, RandomMasksWithPaddedRows) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 60; ++round) {
        int w = 1 + static_cast<int>(rng() % 90);
        int h = 1 + static_cast<int>(rng() % 90);
        Mask m(w, h, rng() % 2 != 0, rng() % 3 * 4);
        unsigned density = rng() % 100;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                unsigned v = rng();
                if (v % 100 < density) {
                    // Only one channel off white, so each byte is looked at.
                    uint8_t ch[3] = {255, 255, 255};
                    ch[v / 100 % 3] = static_cast<uint8_t>(v >> 24 & 0xFE);
                    m.Set(x, y, ch[0], ch[1], ch[2]);
                }
                m.Pixel(x, y)[3] = static_cast<uint8_t>(v);  // the fourth byte never counts
            }
        Collector c;
        ASSERT_EQ(Build(m, c), "") << "round " << round << " " << w << "x" << h;
    }
}

TEST(RegionBuilder, RejectsRowsShorterThanTheWidth) {
    Mask m(10, 2);
    skin::MaskPixels view = m.View();
    view.stride = 36;
    Collector c;
    EXPECT_FALSE(skin::BuildRegionRuns(view, c));
    EXPECT_TRUE(c.batches.empty());
}

TEST(RegionBuilder, DibStrideRoundsToWholeWords) {
    EXPECT_EQ(skin::DibStride(299, 32), 1196u);
    EXPECT_EQ(skin::DibStride(299, 24), 900u);
    EXPECT_EQ(skin::DibStride(1, 24), 4u);
    EXPECT_EQ(skin::DibStride(0, 32), 0u);
}

}  // namespace
