#pragma once
// A complex column (multi-value, attachment, memo version history) stores in
// its row only a key; the items are rows of the column's hidden flat table,
// which MSysComplexColumns names, whose "_<column>" field holds that key.
// Here those items are read once per table and shown as text.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

struct ComplexItem {
    std::string text;  // an item as export shows it
    // Attachments only: the file's name and bytes, decoded.
    std::optional<std::string> file_name;
    Bytes file_bytes;
};

class ComplexValues {
public:
    // The items of every complex column of `def`; nothing to read in a file
    // without complex columns. Throws kCorrupt when a column's flat table
    // cannot be found or read.
    static ComplexValues Load(const PageFile& file, const TableDef& def);

    bool Covers(const Column& column) const { return items_.contains(column.number); }
    // The column's items for a row's key, in stored order (none: empty).
    const std::vector<ComplexItem>& Items(const Column& column, std::uint32_t key) const;
    // Items joined by "; ": nullopt when there are none.
    std::optional<std::string> Text(const Column& column, std::uint32_t key) const;

private:
    std::map<std::uint16_t, std::map<std::uint32_t, std::vector<ComplexItem>>> items_;  // by column number
};

}  // namespace dorvane::jet
