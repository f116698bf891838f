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

// Each claim as (page, claimant), the claimants numbered in the order they
// claim: sorted, the first claim of a page comes first.
using Claims = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// The maps' pages as claims, sized before they are filled: the lists may name
// most pages of the file, and a list grown by doubling holds two copies at once.
Claims ToClaims(std::vector<std::vector<std::uint32_t>>& maps) {
    std::size_t total = 0;
    for (const auto& pages : maps) total += pages.size();
    Claims claims;
    claims.reserve(total);
    for (std::size_t claimant = 0; claimant < maps.size(); ++claimant) {
        for (std::uint32_t page : maps[claimant]) claims.emplace_back(page, static_cast<std::uint32_t>(claimant));
        maps[claimant] = {};
    }
    std::sort(claims.begin(), claims.end());
    claims.erase(
        std::unique(claims.begin(), claims.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
        claims.end());
    return claims;
}

std::optional<std::uint32_t> Find(const Claims& claims, std::uint32_t page) {
    const auto it = std::lower_bound(claims.begin(), claims.end(), page,
                                     [](const auto& claim, std::uint32_t p) { return claim.first < p; });
    if (it == claims.end() || it->first != page) return std::nullopt;
    return it->second;
}

}  // namespace

SourceMaps::SourceMaps(const PageFile& file, const std::vector<TableDef>& defs) {
    std::vector<std::vector<std::uint32_t>> dataMaps;
    std::vector<std::vector<std::uint32_t>> longValueMaps;
    for (const TableDef& def : defs) {
        tables_.push_back(def.page);
        dataMaps.push_back(MapPages(file, def.owned_map));
        for (const LongValueMap& map : def.long_value_maps) {
            columns_.push_back(ColumnOf{def.page, map.column_number});
            longValueMaps.push_back(MapPages(file, map.owned_map));
        }
    }
    data_ = ToClaims(dataMaps);
    long_values_ = ToClaims(longValueMaps);
}

std::optional<std::uint32_t> SourceMaps::DataPageTable(std::uint32_t page) const {
    const auto table = Find(data_, page);
    if (!table) return std::nullopt;
    return tables_[*table];
}

std::optional<SourceMaps::ColumnOf> SourceMaps::LongValueColumn(std::uint32_t page) const {
    const auto column = Find(long_values_, page);
    if (!column) return std::nullopt;
    return columns_[*column];
}

}  // namespace dorvane::jet
