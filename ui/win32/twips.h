#pragma once
// The window's layout is in twips (1/1440 inch; 15 per pixel at 96 DPI) and
// is converted at the screen's DPI. Edges are converted rather than sizes, so
// neighbouring controls keep their gaps at every DPI.

namespace dorvane::win32ui {

struct PixelRect {
    int left, top, width, height;
};

int TwipsToPixels(int twips, int dpi);
PixelRect TwipsRect(int left, int top, int width, int height, int dpi);

}  // namespace dorvane::win32ui
