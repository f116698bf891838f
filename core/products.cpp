#include "core/products.h"

namespace dorvane {

std::optional<ProductProfile> FindProductExact(std::string_view name) {
    for (const auto& p : kProducts) {
        if (p.Product == name) return p;
    }
    return std::nullopt;
}

}  // namespace dorvane
