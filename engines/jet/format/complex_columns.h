#pragma once
// MSysComplexColumns: a row per complex column, naming by table id the table
// that holds the column, the hidden flat table of its items and the template
// that tells its kind, and the column's ComplexID (the id its column block
// holds).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvane::jet {

class PageFile;

struct ComplexColumnRow {
    std::string column;
    std::uint32_t complex_id = 0;
    std::uint32_t type_table = 0;
    std::uint32_t flat_table = 0;
    std::uint32_t conceptual_table = 0;
};

// Every row of MSysComplexColumns; nullopt when the file has no such table.
// Throws kCorrupt when it lacks one of its columns.
std::optional<std::vector<ComplexColumnRow>> ReadComplexColumns(const PageFile& file);

}  // namespace dorvane::jet
