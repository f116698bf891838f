#include "ui/qt/twips.h"

#include <cmath>

namespace dorvane::qtui {

int TwipsToPixels(int twips, double logicalDpi) {
    return static_cast<int>(std::lround(twips * logicalDpi / kTwipsPerInch));
}

QRect TwipsRect(int left, int top, int width, int height, double logicalDpi) {
    const int x = TwipsToPixels(left, logicalDpi);
    const int y = TwipsToPixels(top, logicalDpi);
    return QRect(x, y, TwipsToPixels(left + width, logicalDpi) - x,
                 TwipsToPixels(top + height, logicalDpi) - y);
}

}  // namespace dorvane::qtui
