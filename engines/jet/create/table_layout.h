#pragma once
// A new table described by its columns and indexes, laid out as Access lays
// out a table it creates: column numbers in order, fixed columns packed in
// number order, variable slots counted in number order, one usage map per
// long-value column, one logical index per physical one.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engines/jet/format/table_def.h"

namespace dorvane::jet::create {

// Physical index flags as Access stores them (it always adds 0x80).
inline constexpr std::uint8_t kIndexStored = 0x80;
inline constexpr std::uint8_t kIndexRequired = 0x08;

struct NewColumn {
    std::string name;
    std::uint8_t type = coltype::kText;
    std::uint16_t length = 0;           // Text and Binary: bytes; 0: the type's size
    std::optional<std::uint8_t> flags;  // as stored; default: Access's for the table kind
    std::optional<bool> variable;       // default: by type
};

struct NewIndex {
    std::string name;
    std::vector<std::string> columns;   // ascending
    std::uint8_t flags = kIndexStored;  // kIndexUnique, kIndexIgnoresNulls, kIndexRequired
    bool primary_key = false;
};

struct NewTable {
    std::string name;
    std::uint8_t table_type = kUserTable;
    std::vector<NewColumn> columns;
    std::vector<NewIndex> indexes;
};

// The definition with every page and map pointer 0. Throws errc::kValueRefused for
// a duplicate or empty name, an index naming a missing column, more than 255
// columns or a table whose fixed columns do not fit in a row.
TableDef LayoutTable(const NewTable& design);

}  // namespace dorvane::jet::create
