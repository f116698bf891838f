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

SourceMaps::Claims::Claims(std::uint32_t pages, std::size_t claimants) {
    if (claimants < 0xFFFF)
        narrow_.assign(pages, 0);
    else
        wide_.assign(pages, 0);
}

void SourceMaps::Claims::Claim(std::uint32_t page, std::uint32_t claimant) {
    if (page < narrow_.size() && narrow_[page] == 0) narrow_[page] = static_cast<std::uint16_t>(claimant + 1);
    if (page < wide_.size() && wide_[page] == 0) wide_[page] = claimant + 1;
}

std::optional<std::uint32_t> SourceMaps::Claims::Of(std::uint32_t page) const {
    const std::uint32_t held = page < narrow_.size() ? narrow_[page] : page < wide_.size() ? wide_[page] : 0;
    if (held == 0) return std::nullopt;
    return held - 1;
}

SourceMaps::SourceMaps(const PageFile& file, const std::vector<TableDef>& defs, Kinds kinds) {
    const bool data = kinds == Kinds::kAll;
    std::size_t columns = 0;
    for (const TableDef& def : defs) columns += def.long_value_maps.size();
    // A page past the end of the file, which an inline map may name, is
    // nobody's: nothing can be read there.
    if (data) data_ = Claims(file.page_count(), defs.size());
    long_values_ = Claims(file.page_count(), columns);
    for (const TableDef& def : defs) {
        const auto table = static_cast<std::uint32_t>(tables_.size());
        tables_.push_back(def.page);
        if (data)
            for (std::uint32_t page : MapPages(file, def.owned_map)) data_.Claim(page, table);
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
