// Twips to pixels at the screen's DPI: edges round to the nearest pixel, and
// sizes follow from the converted edges so neighbours keep their gaps.

#include <gtest/gtest.h>

#include "ui/win32/twips.h"

namespace dorvane::win32ui {
namespace {

TEST(Twips, FifteenPerPixelAt96DpiAndRoundedAtOthers) {
    EXPECT_EQ(TwipsToPixels(5715, 96), 381);
    EXPECT_EQ(TwipsToPixels(4350, 96), 290);
    EXPECT_EQ(TwipsToPixels(5715, 144), 572);  // 571.5 rounds up
    EXPECT_EQ(TwipsToPixels(7, 96), 0);
    EXPECT_EQ(TwipsToPixels(8, 96), 1);
    EXPECT_EQ(TwipsToPixels(1440, 120), 120);
}

TEST(Twips, RectanglesConvertTheirEdges) {
    // At 120 DPI: left 120 -> 10, right 120 + 2655 = 2775 -> 231.25 -> 231.
    const PixelRect path = TwipsRect(120, 3840, 2655, 375, 120);
    EXPECT_EQ(path.left, 10);
    EXPECT_EQ(path.top, 320);
    EXPECT_EQ(path.width, 221);
    EXPECT_EQ(path.height, 31);  // 4215 -> 351.25 -> 351
    // Two controls that touch in twips still touch in pixels.
    const PixelRect upper = TwipsRect(0, 100, 10, 1237, 120);
    const PixelRect lower = TwipsRect(0, 1337, 10, 500, 120);
    EXPECT_EQ(upper.top + upper.height, lower.top);
}

}  // namespace
}  // namespace dorvane::win32ui
