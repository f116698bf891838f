#include "engines/jet/create/table_layout.h"

#include <algorithm>

#include "core/ascii.h"
#include "core/error.h"
#include "engines/jet/format/text_encode.h"

namespace dorvane::jet::create {

namespace {

constexpr std::size_t kMaxColumns = 255;
constexpr std::size_t kMaxNameLength = 64;    // Access's limit for the names of tables and columns
constexpr std::size_t kMaxFixedBytes = 4000;  // leaves room for the row's tables within a page

[[noreturn]] void Refuse(const NewTable& design, const std::string& why) {
    throw Error(errc::kValueRefused, "cannot lay out table \"" + design.name + "\": " + why);
}

// Access's rules for the names of tables and columns: at most 64 characters
// (UTF-16 units, as the file stores names), no leading space, no control
// character, and none of . ! ` [ ], which its SQL could not quote.
void RefuseBadName(std::string_view name, const std::string& what) {
    std::size_t length = 0;
    for (const std::uint32_t c : Utf8CodePoints(name)) {
        length += c > 0xFFFF ? 2 : 1;
        if (c < 0x20 || c == '.' || c == '!' || c == '`' || c == '[' || c == ']')
            throw Error(errc::kValueRefused, what + " \"" + std::string(name) +
                                                 "\" holds a character Access does not allow in a name: . ! ` [ ] or a "
                                                 "control character");
    }
    if (name.starts_with(' '))
        throw Error(errc::kValueRefused, what + " \"" + std::string(name) + "\" begins with a space");
    if (length > kMaxNameLength) {
        throw Error(errc::kValueRefused, what + " has " + std::to_string(length) +
                                             " characters; Access allows at most " + std::to_string(kMaxNameLength));
    }
}

bool IsVariableType(std::uint8_t type) {
    return type == coltype::kText || type == coltype::kBinary || type == coltype::kMemo || type == coltype::kOle;
}

// Access's flags: 0x02 on every column, 0x01 on fixed ones, 0x10 on system tables'.
std::uint8_t DefaultFlags(const NewTable& design, bool fixed) {
    const std::uint8_t base = design.table_type == kSystemTable ? 0x12 : 0x02;
    return static_cast<std::uint8_t>(base | (fixed ? kColumnFixed : 0));
}

}  // namespace

TableDef LayoutTable(const NewTable& design) {
    if (design.name.empty()) Refuse(design, "a table needs a name");
    RefuseBadName(design.name, "the table name");
    if (design.columns.empty() || design.columns.size() > kMaxColumns) Refuse(design, "a table has 1 to 255 columns");
    TableDef def;
    def.table_type = design.table_type;
    std::uint16_t fixedOffset = 0, varSlots = 0;
    for (const NewColumn& c : design.columns) {
        if (c.name.empty()) Refuse(design, "a column needs a name");
        RefuseBadName(c.name, "the name of column " + std::to_string(def.columns.size() + 1));
        if (def.ColumnIndex(c.name)) Refuse(design, "two columns are named \"" + c.name + "\"");
        Column column;
        column.name = c.name;
        column.type = c.type;
        column.number = static_cast<std::uint16_t>(def.columns.size());
        const bool variable = c.variable.value_or(IsVariableType(c.type));
        column.flags = c.flags.value_or(DefaultFlags(design, !variable));
        // A text column keeps its sort order where a decimal keeps precision and scale.
        column.precision = static_cast<std::uint8_t>(kGeneralSortOrder & 0xFF);
        column.scale = static_cast<std::uint8_t>(kGeneralSortOrder >> 8);
        const bool text = c.type == coltype::kText || c.type == coltype::kMemo;
        column.ext_flags = text && design.table_type == kUserTable ? kColumnCompressed : 0;
        column.length = c.length != 0 ? c.length : FixedColumnLength(c.type);
        column.var_index = varSlots;
        if (variable) {
            ++varSlots;
        } else if (c.type != coltype::kBoolean) {
            column.fixed_offset = fixedOffset;
            fixedOffset = static_cast<std::uint16_t>(fixedOffset + column.length);
            if (fixedOffset > kMaxFixedBytes) Refuse(design, "its fixed-size columns do not fit in a row");
        }
        column.block_offset = design.table_type == kSystemTable ? 0 : column.number;
        def.columns.push_back(std::move(column));
    }
    // System tables list their column blocks by name, user tables by number.
    if (design.table_type == kSystemTable) {
        std::vector<std::size_t> order(def.columns.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return AsciiLower(def.columns[a].name) < AsciiLower(def.columns[b].name);
        });
        for (std::size_t rank = 0; rank < order.size(); ++rank) def.columns[order[rank]].block_offset = rank;
    }
    def.max_cols = static_cast<std::uint16_t>(def.columns.size());
    def.num_var_cols = varSlots;
    for (const Column& column : def.columns) {
        if (column.IsLongValue()) def.long_value_maps.push_back({column.number, 0, 1});  // free map: wanted
    }
    for (const NewIndex& i : design.indexes) {
        PhysicalIndex physical;
        for (const std::string& name : i.columns) {
            const auto at = def.ColumnIndex(name);
            if (!at) Refuse(design, "index \"" + i.name + "\" names a missing column \"" + name + "\"");
            physical.columns.push_back({def.columns[*at].number, true});
        }
        if (physical.columns.empty() || physical.columns.size() > 10) Refuse(design, "an index has 1 to 10 columns");
        physical.flags = i.flags;
        LogicalIndex logical;
        logical.number = static_cast<std::uint32_t>(def.logical_indexes.size());
        logical.physical_index = logical.number;
        logical.type = i.primary_key ? kIndexPrimaryKey : 0;
        logical.name = i.name;
        def.physical_indexes.push_back(std::move(physical));
        def.logical_indexes.push_back(std::move(logical));
    }
    // ... and their logical indexes by name too.
    if (design.table_type == kSystemTable) {
        std::stable_sort(
            def.logical_indexes.begin(), def.logical_indexes.end(),
            [](const LogicalIndex& a, const LogicalIndex& b) { return AsciiLower(a.name) < AsciiLower(b.name); });
    }
    return def;
}

}  // namespace dorvane::jet::create
