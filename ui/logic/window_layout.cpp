#include "ui/logic/window_layout.h"

#include <cmath>

namespace dorvane::ui {
namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kDesignDpi = 96.0;

}  // namespace

int TwipsToPixels(int twips, double dpi) { return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch)); }

PixelRect TwipsRect(int left, int top, int width, int height, double dpi) {
    const int x = TwipsToPixels(left, dpi);
    const int y = TwipsToPixels(top, dpi);
    return {x, y, TwipsToPixels(left + width, dpi) - x, TwipsToPixels(top + height, dpi) - y};
}

PixelRect TwipsRect(const ControlLayout& control, double dpi) {
    return TwipsRect(control.left, control.top, control.width, control.height, dpi);
}

PixelRect RuleRect(const RuleLayout& rule, double dpi) {
    const int left = TwipsToPixels(rule.fromX, dpi);
    const int pen = std::max(1, static_cast<int>(std::lround(rule.pen_pixels * dpi / kDesignDpi)));
    return {left, TwipsToPixels(rule.y, dpi), TwipsToPixels(rule.toX, dpi) - left, pen};
}

}  // namespace dorvane::ui
