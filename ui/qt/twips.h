#pragma once
// Window positions are given in twips: 1/1440 inch, so 15 twips per pixel at
// 96 dots per inch. They scale with the screen's logical DPI.

#include <QRect>

namespace dorvane::qtui {

inline constexpr double kTwipsPerInch = 1440.0;

int TwipsToPixels(int twips, double logicalDpi);
// Edges are converted, not sizes, so neighbouring controls keep their gaps.
QRect TwipsRect(int left, int top, int width, int height, double logicalDpi);

}  // namespace dorvane::qtui
