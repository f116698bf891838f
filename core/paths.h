#pragma once
// Paths are built and shown as text in the products' form ("C:\Zentro\Bresk",
// "\" between names), by plain joining without normalisation: an empty folder
// gives a path at the root, a folder ending in "\" a doubled separator.

#include <string>
#include <string_view>

namespace dorvane {

std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace dorvane
