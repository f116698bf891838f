#pragma once
// The properties Access keeps per table and column in the catalog row's
// LvProp value. The engine needs one of them: a calculated column's
// ResultType, the type its stored values really have.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

class PageFile;

// (column name, ResultType) for every column of the property blob that has
// one. A blob in another form gives none; a damaged one throws kCorrupt.
std::vector<std::pair<std::string, std::uint8_t>> CalculatedResultTypes(ByteSpan properties);

// Sets result_type of the calculated columns of `def`, the definition of
// table `name`, from its catalog row. A file without calculated columns is
// not read again.
void ReadCalculatedResultTypes(const PageFile& file, std::string_view name, TableDef& def);

}  // namespace dorvane::jet
