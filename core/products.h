#pragma once
// The three products, in the order of the window's list and of the command
// line search.

#include <array>
#include <optional>
#include <string_view>

namespace dorvane {

struct ProductProfile {
    std::string_view Product;
    std::string_view FrontEndFile;
};

inline constexpr std::array<ProductProfile, 3> kProducts{{
    {"Alveto", "Alveto.mde"},
    {"Bresk", "Bresk.mde"},
    {"Cindral", "Cindral.mde"},
}};

inline constexpr const ProductProfile& kDefaultProduct = kProducts[0];

// The row whose name equals `name` exactly, letter case included.
std::optional<ProductProfile> FindProductExact(std::string_view name);

}  // namespace dorvane
