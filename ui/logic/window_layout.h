#pragma once
// frmAbout's layout, the one table both toolkits build the window from: each
// control's kind, design text, place and size in twips (1/1440 inch, 15 per
// pixel at 96 DPI) inside the client area, tab index and text colour.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dorvane::ui {

enum class ControlKind { PushButton, DropDownList, Picture, Label };

struct Rgb {
    std::uint8_t red, green, blue;
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kBlue{0, 0, 255};

struct ControlLayout {
    std::string_view name;
    ControlKind kind;
    std::string_view design_text;
    int left, top, width, height;  // twips
    int tab_index;
    const Rgb* textColour;  // nullptr: the system's
};

// A line of the etched rule, drawn as a strip of its pen width.
struct RuleLayout {
    std::string_view name;
    int fromX, toX, y;  // twips
    int pen_pixels;     // at 96 DPI
    Rgb colour;
};

inline constexpr int kClientWidth = 5715;
inline constexpr int kClientHeight = 4350;
inline constexpr int kDesignLeft = 2340;  // where the window opens on the screen
inline constexpr int kDesignTop = 1935;

// Pressed by Enter (unless another push button has the focus) and by Esc.
inline constexpr std::string_view kDefaultAndCancelButton = "cmdRun";

// In the order the window holds them; later controls lie above earlier ones.
inline constexpr std::array<ControlLayout, 11> kControls{{
    {"cmdPath", ControlKind::PushButton, "Select Backup folder", 120, 3840, 2655, 375, 10, nullptr},
    {"cmbType", ControlKind::DropDownList, "", 3360, 480, 2055, 315, 8, nullptr},
    {"cmdRun", ControlKind::PushButton, "Run", 4080, 960, 1335, 375, 6, nullptr},
    {"picIcon", ControlKind::Picture, "", 480, 240, 750, 750, 1, nullptr},
    {"cmdOK", ControlKind::PushButton, "Cancel", 4080, 1440, 1335, 375, 0, nullptr},
    {"cmdSysInfo", ControlKind::PushButton, "&System Info...", 2400, 1560, 1245, 345, 2, nullptr},
    {"lblTitle", ControlKind::Label, "Application Title", 1680, 510, 1575, 255, 9, &kBlack},
    {"lblLog", ControlKind::Label, "Label1", 120, 2760, 5415, 1335, 7, &kBlue},
    {"lblDescription", ControlKind::Label, "App Description", 120, 1200, 2925, 330, 3, &kBlack},
    {"lblVersion", ControlKind::Label, "Version", 120, 1560, 1965, 225, 5, nullptr},
    {"lblInfo", ControlKind::Label, "Warning: ...", 240, 2040, 5175, 705, 4, &kBlue},
}};

// Grey, and one pixel lower a white line: an etched rule across the window.
inline constexpr std::array<RuleLayout, 2> kRules{{
    {"Line1_1", 90, 5654, 1965, 1, {128, 128, 128}},
    {"Line1_0", 105, 5654, 1980, 2, {255, 255, 255}},
}};

// Labels take no focus; the icon is focusable but not clickable.
constexpr bool TakesFocus(ControlKind kind) { return kind != ControlKind::Label; }

// Every control by tab index; focus starts on the first.
constexpr std::array<ControlLayout, kControls.size()> InTabOrder() {
    auto ordered = kControls;
    std::sort(ordered.begin(), ordered.end(),
              [](const ControlLayout& a, const ControlLayout& b) { return a.tab_index < b.tab_index; });
    return ordered;
}

constexpr const ControlLayout& ControlNamed(std::string_view name) {
    const auto* found =
        std::find_if(kControls.begin(), kControls.end(), [name](const ControlLayout& c) { return c.name == name; });
    return *found;  // a name missing from the table fails to compile where constant
}

struct PixelRect {
    int left, top, width, height;
    friend constexpr bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Rounded to the nearest pixel, halves away from zero.
int TwipsToPixels(int twips, double dpi);
// Edges are converted, not sizes, so neighbouring controls keep their gaps.
PixelRect TwipsRect(int left, int top, int width, int height, double dpi);
PixelRect TwipsRect(const ControlLayout& control, double dpi);
// A rule's strip: from its start to its end, its pen width scaled from 96 DPI.
PixelRect RuleRect(const RuleLayout& rule, double dpi);

}  // namespace dorvane::ui
