#pragma once
// The queries the engine runs:
//   SELECT col[, col...] | * FROM table [WHERE col = 'text' [AND col = 'text' ...]] [;]
// Names are matched without regard to case and may be written [in brackets].
// Text comparison ignores ASCII letter case, as Access's does; Null equals
// nothing. Rows come in the table's stored order. Anything else is refused
// with errc::kSyntax and a description of what was not understood.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engines/jet/database.h"
#include "engines/jet/format/row.h"

namespace dorvane::jet {

struct SelectQuery {
    std::vector<std::string> columns;  // empty: every column (*)
    std::string table;
    std::vector<std::pair<std::string, std::string>> conditions;  // column = text
};

SelectQuery ParseSelect(std::string_view sql);

// Throws kItemNotFound for an unknown table or column.
TextRows RunSelect(const PageFile& file, const std::vector<CatalogEntry>& tables, const SelectQuery& query);

}  // namespace dorvane::jet
