#include "engines/jet/format/source_maps.h"

#include <algorithm>

#include "core/error.h"
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

template <typename Value>
void SortFirstClaims(std::vector<std::pair<std::uint32_t, Value>>& claims) {
    std::stable_sort(claims.begin(), claims.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    claims.erase(
        std::unique(claims.begin(), claims.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
        claims.end());
}

template <typename Value>
std::optional<Value> Find(const std::vector<std::pair<std::uint32_t, Value>>& claims, std::uint32_t page) {
    const auto it = std::lower_bound(claims.begin(), claims.end(), page,
                                     [](const auto& claim, std::uint32_t p) { return claim.first < p; });
    if (it == claims.end() || it->first != page) return std::nullopt;
    return it->second;
}

}  // namespace

SourceMaps::SourceMaps(const PageFile& file, const std::vector<TableDef>& defs) {
    for (const TableDef& def : defs) {
        for (std::uint32_t page : MapPages(file, def.owned_map)) data_.emplace_back(page, def.page);
        for (const LongValueMap& map : def.long_value_maps)
            for (std::uint32_t page : MapPages(file, map.owned_map))
                long_values_.emplace_back(page, ColumnOf{def.page, map.column_number});
    }
    SortFirstClaims(data_);
    SortFirstClaims(long_values_);
}

std::optional<std::uint32_t> SourceMaps::DataPageTable(std::uint32_t page) const { return Find(data_, page); }

std::optional<SourceMaps::ColumnOf> SourceMaps::LongValueColumn(std::uint32_t page) const {
    return Find(long_values_, page);
}

}  // namespace dorvane::jet
