#include "engines/jet/format/source_maps.h"

#include "core/error.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/usage_map.h"

namespace dorvane::jet {

namespace {

std::vector<std::uint32_t> MapPages(const PageFile& file, std::uint32_t record) {
    try {
        return ReadUsageMap(file, RowPointer::FromU32(record)).pages;
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        return {};
    }
}

}  // namespace

SourceMaps::SourceMaps(const PageFile& file, const std::vector<TableDef>& defs, Kinds kinds) {
    const bool data = kinds == Kinds::kAll;
    // A page past the end of the file, which an inline map may name, is
    // nobody's: nothing can be read there.
    if (data) data_ = Claims(file.page_count());
    long_values_ = Claims(file.page_count());
    for (const TableDef& def : defs) {
        const auto table = static_cast<std::uint32_t>(tables_.size());
        tables_.push_back(def.page);
        if (data)
            for (std::uint32_t page : MapPages(file, def.owned_map))
                // A table given twice has one map, read twice.
                if (!data_.Claim(page, table) && page < file.page_count() && tables_[*data_.Of(page)] != def.page)
                    listed_twice_.insert(page);
        for (const LongValueMap& map : def.long_value_maps) {
            const auto column = static_cast<std::uint32_t>(columns_.size());
            columns_.push_back(ColumnOf{def.page, map.column_number});
            for (std::uint32_t page : MapPages(file, map.owned_map)) long_values_.Claim(page, column);
        }
    }
}

std::optional<std::uint32_t> SourceMaps::DataPageTable(std::uint32_t page) const {
    const auto table = data_.Of(page);
    if (!table) return std::nullopt;
    return tables_[*table];
}

std::optional<SourceMaps::ColumnOf> SourceMaps::LongValueColumn(std::uint32_t page) const {
    const auto column = long_values_.Of(page);
    if (!column) return std::nullopt;
    return columns_[*column];
}

}  // namespace dorvane::jet
