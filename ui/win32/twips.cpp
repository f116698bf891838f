#include "ui/win32/twips.h"

namespace dorvane::win32ui {

int TwipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    // Rounded to the nearest pixel, halves away from zero.
    return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : (scaled - 720) / 1440);
}

PixelRect TwipsRect(int left, int top, int width, int height, int dpi) {
    const int x = TwipsToPixels(left, dpi);
    const int y = TwipsToPixels(top, dpi);
    return {x, y, TwipsToPixels(left + width, dpi) - x, TwipsToPixels(top + height, dpi) - y};
}

}  // namespace dorvane::win32ui
