// The artwork the program carries: sizes and depths, and a picture of every
// control at its table rectangle.

#include <gtest/gtest.h>

#include "cpl/skin/skin_resource.h"
#include "cpl/skin/skin_tables.h"
#include "skin/skin_fixture.h"

namespace skintest {
namespace {

TEST(SkinArt, ImagesHaveTheirSizesAndDepths) {
    struct Want {
        UINT id;
        int w, h, bpp;
    };
    for (Want want : {Want{SKIN_IMG_NORMAL, 301, 641, 32}, Want{SKIN_IMG_HIGHLIGHT, 301, 641, 32},
                      Want{SKIN_IMG_PRESSED, 301, 641, 32}, Want{SKIN_IMG_DISABLED, 301, 641, 32},
                      Want{SKIN_IMG_BACKGROUND, 301, 641, 32}, Want{SKIN_IMG_MASK, 299, 640, 24},
                      Want{SKIN_THUMB_NORMAL, 8, 16, 24}, Want{SKIN_THUMB_ACTIVE, 8, 16, 24},
                      Want{SKIN_THUMB_DISABLED, 8, 16, 24}}) {
        ResourceImage image;
        ASSERT_TRUE(image.Load(want.id)) << want.id;
        EXPECT_EQ(image.width, want.w) << want.id;
        EXPECT_EQ(image.height, want.h) << want.id;
        EXPECT_EQ(image.bitsPerPixel, want.bpp) << want.id;
    }
    EXPECT_NE(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)), nullptr);
}

int DifferingPixels(const ResourceImage& a, const ResourceImage& b, int x, int y, int w, int h) {
    int n = 0;
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) n += a.Pixel(i, j) != b.Pixel(i, j);
    return n;
}

TEST(SkinArt, EveryControlIsDrawnAtItsRectangleInEveryLook) {
    ResourceImage normal, highlight, pressed, disabled, background;
    ASSERT_TRUE(normal.Load(SKIN_IMG_NORMAL));
    ASSERT_TRUE(highlight.Load(SKIN_IMG_HIGHLIGHT));
    ASSERT_TRUE(pressed.Load(SKIN_IMG_PRESSED));
    ASSERT_TRUE(disabled.Load(SKIN_IMG_DISABLED));
    ASSERT_TRUE(background.Load(SKIN_IMG_BACKGROUND));
    for (const auto& row : skin::SkinButtonDef) {
        int area = row.width * row.height;
        // A quarter of the rectangle at least: the key, not a stray pixel.
        EXPECT_GT(DifferingPixels(normal, pressed, row.x, row.y, row.width, row.height), area / 4) << row.name;
        EXPECT_GT(DifferingPixels(normal, background, row.x, row.y, row.width, row.height), area / 4) << row.name;
        EXPECT_GT(DifferingPixels(normal, highlight, row.x, row.y, row.width, row.height), area / 10) << row.name;
        EXPECT_GT(DifferingPixels(normal, disabled, row.x, row.y, row.width, row.height), area / 10) << row.name;
    }
    for (const auto& row : skin::SkinSliderDef) {
        EXPECT_GT(DifferingPixels(normal, background, row.x, row.y, row.width, row.height), row.width) << row.name;
    }
    // Outside the controls the looks are one panel.
    EXPECT_EQ(DifferingPixels(normal, pressed, 0, 330, 299, 50), 0);
}

TEST(SkinArt, ThumbLooksDiffer) {
    ResourceImage n, a, d;
    ASSERT_TRUE(n.Load(SKIN_THUMB_NORMAL));
    ASSERT_TRUE(a.Load(SKIN_THUMB_ACTIVE));
    ASSERT_TRUE(d.Load(SKIN_THUMB_DISABLED));
    EXPECT_GT(DifferingPixels(n, a, 0, 0, 8, 16), 40);
    EXPECT_GT(DifferingPixels(n, d, 0, 0, 8, 16), 40);
}

TEST(SkinArt, MaskIsWhiteOnlyInTheRoundedCorners) {
    ResourceImage mask;
    ASSERT_TRUE(mask.Load(SKIN_IMG_MASK));
    const COLORREF white = RGB(255, 255, 255);
    for (POINT p : {POINT{0, 0}, POINT{298, 0}, POINT{0, 639}, POINT{298, 639}}) EXPECT_EQ(mask.Pixel(p.x, p.y), white);
    int whites = 0;
    for (int y = 0; y < 640; ++y)
        for (int x = 0; x < 299; ++x) {
            bool corner = (x < 14 || x >= 285) && (y < 14 || y >= 626);
            bool isWhite = mask.Pixel(x, y) == white;
            whites += isWhite;
            if (isWhite && !corner) ADD_FAILURE() << "white at " << x << "," << y;
        }
    EXPECT_GT(whites, 4 * 20);
}

}  // namespace
}  // namespace skintest
