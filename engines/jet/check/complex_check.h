#pragma once
// Complex columns across tables: MSysComplexColumns names tables that exist,
// each complex column has its row there and a flat table holding its items,
// and every item belongs to a row of its table.

#include <cstdint>
#include <set>
#include <vector>

#include "engines/jet/check/checker.h"
#include "engines/jet/format/catalog.h"

namespace dorvane::jet {

// What ties items to their rows (MSysComplexColumns, a flat table's key
// column) is told as unrepairable: a repair would have to guess it. Items
// whose row is gone are primary damage: a repair leaves them out.
void CheckComplexColumns(const PageFile& file, const std::vector<CatalogEntry>& tables, CheckReport& report);

}  // namespace dorvane::jet

namespace dorvane::jet {

// The definition pages of the flat tables: system tables by their flags, yet
// what they hold is a user's values, which a repair may lose if it says so.
// Empty when MSysComplexColumns cannot be read (its check tells why).
std::set<std::uint32_t> ItemTablePages(const PageFile& file);

}  // namespace dorvane::jet
