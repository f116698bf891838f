#pragma once
// Rows of a table in stored order: the pages of its owned-pages map in
// ascending page order, the slots of each page in slot order. Overflow bodies
// are read through their pointer slot and skipped where they lie, so a row
// keeps the identity (header slot) its indexes point at.

#include <cstdint>
#include <functional>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

class PageFile;

// The table's data pages: the owned map's pages that are data pages owned by
// this table. Pages the map lists but that are past the end of the file are
// an error; pages of another owner are left out (and reported by the checker).
std::vector<std::uint32_t> TableDataPages(const PageFile& file, const TableDef& def);

// Calls visit(header row pointer, row body) for every live row. Stops early
// when visit returns false.
void ScanRows(const PageFile& file, const TableDef& def,
              const std::function<bool(RowPointer, ByteSpan)>& visit);

}  // namespace dorvane::jet
