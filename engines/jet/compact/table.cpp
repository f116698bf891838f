#include "engines/jet/compact/table.h"

#include <algorithm>
#include <map>
#include <memory>

#include "core/error.h"
#include "engines/jet/compact/index_tree.h"
#include "engines/jet/compact/long_values.h"
#include "engines/jet/compact/rows.h"
#include "engines/jet/compact/tdef_writer.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"

namespace dorvane::jet::compact {

namespace {

// LVAL pages with at least this much room are offered for new long values.
constexpr std::size_t kLongValueFreeThreshold = 64;

[[noreturn]] void Damaged(const std::string& table, const std::string& what) {
    throw Error(errc::kCorrupt, "damaged database: table \"" + table + "\": " + what);
}

// Old header row pointer -> new one, sorted by the old pointer for lookup.
class RowMap {
public:
    void Add(std::uint32_t from, std::uint32_t to) { pairs_.emplace_back(from, to); }
    void Seal() { std::sort(pairs_.begin(), pairs_.end()); }
    bool Find(std::uint32_t from, std::uint32_t& to) const {
        auto it = std::lower_bound(pairs_.begin(), pairs_.end(), std::make_pair(from, std::uint32_t{0}));
        if (it == pairs_.end() || it->first != from) return false;
        to = it->second;
        return true;
    }
    std::size_t size() const { return pairs_.size(); }

private:
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs_;
};

std::vector<std::uint32_t> PagesOf(const std::vector<PackedPage>& packed, std::size_t minFree = 0) {
    std::vector<std::uint32_t> pages;
    for (const PackedPage& p : packed)
        if (p.freeSpace >= minFree) pages.push_back(p.page);
    std::sort(pages.begin(), pages.end());
    return pages;
}

struct BuiltIndex {
    std::uint32_t root = 0;
    std::vector<std::uint32_t> pages;
    std::uint32_t entries = 0;
    std::uint32_t distinct = 0;
};

}  // namespace

std::size_t MapRecordsOf(const TableDef& def) {
    std::size_t n = 2 + def.physical_indexes.size();
    for (const LongValueMap& lv : def.long_value_maps) n += lv.free_map != 0 ? 2 : 1;
    return n;
}

void CompactTable(CompactTarget& target, const TableDef& def, const std::string& name, TableCounts& counts) {
    const Format& format = target.source.format();
    DataPagePacker rows(target.layout, OwnerPage(def.page), target.allocator, target.sink);
    std::map<std::uint16_t, std::unique_ptr<LongValueWriter>> longValues;
    for (const LongValueMap& lv : def.long_value_maps)
        if (!longValues.contains(lv.column_number))
            longValues.emplace(lv.column_number,
                               std::make_unique<LongValueWriter>(target.layout, target.allocator, target.sink));

    // Rows, with their long values written first so the row can point at them.
    RowMap moved;
    std::size_t shortestRow = 0;
    LiveRow row;
    LiveRowCursor cursor(target.source, def);
    while (cursor.Next(row)) {
        const CrackedRow cracked = CrackRow(format, def, row.body);
        for (std::size_t c = 0; c < def.columns.size(); ++c) {
            const Column& column = def.columns[c];
            const FieldSpan& span = cracked.fields[c];
            if (!column.IsLongValue() || !span.present || span.length == 0) continue;
            const ByteSpan field = FieldBytes(row.body, span);
            const LongValueField lv = ParseLongValueField(field);
            if (lv.kind == jet::LongValueKind::kInline) continue;
            auto writer = longValues.find(column.number);
            if (writer == longValues.end())
                Damaged(name, "column \"" + column.name + "\" holds long values but has no page map");
            const jet::Bytes value = ReadLongValue(target.source, field);
            const RowPointer first = writer->second->Write(
                lv.kind == jet::LongValueKind::kSingle ? LongValueKind::kSingleRow : LongValueKind::kChain, value);
            PutU32(row.body, span.offset + 4, first.Encoded());
            PutU32(row.body, span.offset + 8, 0);
            ++counts.longValues;
        }
        const PlacedRow placed = rows.Add(row.body);
        moved.Add(row.header.ToU32(), placed.where.Encoded());
        shortestRow = moved.size() == 1 ? row.body.size() : std::min(shortestRow, row.body.size());
    }
    rows.Finish();
    for (auto& [column, writer] : longValues) writer->Finish();
    moved.Seal();
    counts.rows += moved.size();

    // Indexes, each from its own entries with the rows' new pointers.
    std::vector<BuiltIndex> indexes;
    for (std::size_t i = 0; i < def.physical_indexes.size(); ++i) {
        IndexEntryList entries;
        std::uint64_t walkBytes = 0;
        {
            const IndexWalk walk = WalkIndex(target.source, def.physical_indexes[i].root_page);
            for (const IndexEntry& e : walk.entries) {
                std::uint32_t to = 0;
                if (!moved.Find(e.row.ToU32(), to))
                    Damaged(name, "index " + std::to_string(i) + " names " + e.row.ToString() +
                                      ", which is not a row of the table");
                entries.Add(e.key, RowPointer::Decode(to));
                walkBytes += e.key.size() + sizeof(IndexEntry);
            }
        }
        entries.Sort();
        if (entries.HasDuplicates()) Damaged(name, "index " + std::to_string(i) + " lists a row twice");
        counts.peakIndexBytes = std::max(counts.peakIndexBytes, walkBytes + 2 * entries.ByteSize());
        counts.indexEntries += entries.size();
        const IndexTree tree = BuildIndexTree(target.layout, def.page, entries, target.allocator, target.sink);
        std::vector<std::uint32_t> pages = tree.pages;
        std::sort(pages.begin(), pages.end());
        indexes.push_back({tree.root, std::move(pages), static_cast<std::uint32_t>(entries.size()),
                           static_cast<std::uint32_t>(entries.DistinctKeys())});
    }

    // Usage maps, in the order their records were counted.
    const auto record = [&target](const std::vector<std::uint32_t>& pages) {
        return target.mapRecords.Add(MakeUsageMap(target.layout, pages, target.allocator, target.sink)).Encoded();
    };
    const std::uint32_t ownedMap = record(PagesOf(rows.pages()));
    const std::uint32_t freeMap = record(moved.size() ? PagesOf(rows.pages(), shortestRow + 2) : std::vector<std::uint32_t>{});
    std::vector<std::uint32_t> indexMaps;
    for (const BuiltIndex& index : indexes) indexMaps.push_back(record(index.pages));

    // The definition, patched in its own pages.
    std::vector<std::vector<std::uint8_t>> original;
    for (std::uint32_t page : def.pages) original.push_back(target.source.ReadPage(page));
    TdefStream stream(target.layout, def.pages, std::move(original));
    stream.PatchU32(def.num_rows_offset, static_cast<std::uint32_t>(moved.size()));
    stream.PatchU32(def.owned_map_offset, ownedMap);
    stream.PatchU32(def.free_map_offset, freeMap);
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        const PhysicalIndex& index = def.physical_indexes[i];
        stream.PatchU32(index.map_pointer_offset, indexMaps[i]);
        stream.PatchU32(index.root_page_offset, indexes[i].root);
        if (index.stats_entries != 0) stream.PatchU32(index.stats_offset, indexes[i].entries);
        stream.PatchU32(index.stats_offset + 4, indexes[i].distinct);
    }
    for (const LongValueMap& lv : def.long_value_maps) {
        const auto& written = longValues.at(lv.column_number)->pages();
        stream.PatchU32(lv.owned_map_offset(), record(PagesOf(written)));
        if (lv.free_map != 0) stream.PatchU32(lv.free_map_offset(), record(PagesOf(written, kLongValueFreeThreshold)));
    }
    stream.Write(target.sink);
}

}  // namespace dorvane::jet::compact
