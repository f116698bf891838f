#pragma once
// Complex columns across tables: MSysComplexColumns names tables that exist,
// each complex column has its row there and a flat table holding its items,
// and every item belongs to a row of its table.

#include <vector>

#include "engines/jet/check/checker.h"
#include "engines/jet/format/catalog.h"

namespace dorvane::jet {

// A flat table's items are a system table's rows; anything amiss here is
// told as unrepairable, since a repair can neither drop nor guess them.
void CheckComplexColumns(const PageFile& file, const std::vector<CatalogEntry>& tables, CheckReport& report);

}  // namespace dorvane::jet
