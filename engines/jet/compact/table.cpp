#include "engines/jet/compact/table.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "core/error.h"
#include "engines/jet/write/data_pages.h"
#include "engines/jet/compact/definition_rewrite.h"
#include "engines/jet/write/index_tree.h"
#include "engines/jet/write/long_values.h"
#include "engines/jet/compact/row_map.h"
#include "engines/jet/format/entry_batch.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"

namespace dorvane::jet::compact {

namespace {

[[noreturn]] void Damaged(const std::string& table, const std::string& what) {
    throw Error(errc::kCorrupt, "damaged database: table \"" + table + "\": " + what);
}

using LongValueWriters = std::map<std::uint16_t, std::unique_ptr<write::LongValueWriter>>;  // by column number

struct CopiedRows {
    RowMap moved;
    std::vector<write::PackedPage> pages;
    std::size_t shortest = 0;  // the shortest row, which the free-space map must make room for
    std::uint32_t largest_autonumber = 0;
    std::uint32_t largest_complex_key = 0;
    LongValueWriters long_values;
};

struct RebuiltIndex {
    std::uint32_t root = 0;
    std::vector<std::uint32_t> pages;  // ascending
    std::uint32_t entries = 0;
    std::uint32_t distinct = 0;
};

// Writes the row's stored long values anew and points its fields at them.
void MoveLongValues(const TableDef& def, const std::string& name, Bytes& body, const RowFields& fields,
                    LongValueReader& reader, LongValueWriters& writers, TableCounts& counts, TableDigest& digest) {
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        const Column& column = def.columns[i];
        const FieldSpan& span = fields.spans[i];
        if (!column.IsLongValue() || !span.present || span.length == 0) continue;
        const ByteSpan field = FieldBytes(body, span);
        const LongValueField lv = ParseLongValueField(field);
        if (lv.kind == LongValueKind::kInline) continue;
        const auto writer = writers.find(column.number);
        if (writer == writers.end())
            Damaged(name, "column \"" + column.name + "\" holds long values but has no page map");
        const ByteSpan value = reader.Read(field);
        digest.AddLongValue(value);
        const RowPointer first = writer->second->Write(lv.kind, value);
        PutLe32(body, span.offset + kLongValueFieldPointer, first.ToU32());
        PutLe32(body, span.offset + kLongValueFieldExtra, 0);
        ++counts.long_values;
    }
}

CopiedRows CopyRows(const CompactionContext& c, const TableDef& def, const std::string& name, const TableSource& rows,
                    TableCounts& counts, TableDigest& digest) {
    const Format& format = c.source.format();
    CopiedRows out;
    for (const LongValueMap& lv : def.long_value_maps)
        if (!out.long_values.contains(lv.column_number))
            out.long_values.emplace(lv.column_number,
                                    std::make_unique<write::LongValueWriter>(format, c.allocator, c.sink));
    write::DataPagePacker packer(format, c.relocation.NewId(def.page), c.allocator, c.sink);
    Bytes body;
    RowFields fields;
    LongValueReader longValues(c.source);
    const auto copy = [&](RowPointer header, ByteSpan stored) {
        body.assign(stored.begin(), stored.end());
        c.relocation.RewriteRow(def, body);
        LocateFields(format, def, body, fields);
        out.largest_autonumber = std::max(out.largest_autonumber, LargestAutoNumber(def, body, fields));
        out.largest_complex_key = std::max(out.largest_complex_key, LargestComplexKey(def, body, fields));
        MoveLongValues(def, name, body, fields, longValues, out.long_values, counts,
                       digest);  // first, so the row can point at them
        const RowPointer where = packer.Add(body).where;
        digest.AddRow(body, where);
        out.moved.Add(header, where);
        out.shortest = out.moved.size() == 1 ? body.size() : std::min(out.shortest, body.size());
    };
    rows.Rows(copy);
    packer.Finish();
    for (auto& [column, writer] : out.long_values) writer->Finish();
    out.moved.Seal();
    out.pages = packer.pages();
    counts.rows += out.moved.size();
    return out;
}

// Byte order, as memcmp gives it (the generic comparison goes byte by byte).
int Compare(ByteSpan a, ByteSpan b) {
    const std::size_t common = std::min(a.size(), b.size());
    const int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
    if (order != 0) return order;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// Entries in the order of the new tree, each going to it, to the digest and
// to the counts as it comes; what a sound tree cannot hold (an entry out of
// order, one listed twice) is noted for the caller to report.
class OrderedEntries {
public:
    OrderedEntries(const CompactionContext& c, const TableDef& def, std::size_t index, TableDigest& digest)
        : writer_(c.source.format(), c.relocation.NewId(def.page), c.allocator, c.sink),
          index_(index),
          digest_(digest) {}
    void Add(ByteSpan key, RowPointer row) {
        entry_.assign(key.begin(), key.end());
        AppendIndexRowRef(entry_, row);
        const ByteSpan entry = entry_;
        if (entries_ > 0) {
            const int order = Compare(entry, previous_);
            out_of_order_ = out_of_order_ || order < 0;
            listed_twice_ = listed_twice_ || order == 0;
            const ByteSpan before = ByteSpan(previous_).first(previous_.size() - kIndexRowRefSize);
            if (!std::equal(key.begin(), key.end(), before.begin(), before.end())) ++distinct_;
        } else {
            distinct_ = 1;
        }
        digest_.AddIndexEntry(index_, entry);
        writer_.Add(entry);
        previous_.swap(entry_);
        ++entries_;
    }
    bool out_of_order() const { return out_of_order_; }
    bool listed_twice() const { return listed_twice_; }
    RebuiltIndex Finish(TableCounts& counts) {
        write::IndexTree tree = writer_.Finish();
        std::sort(tree.pages.begin(), tree.pages.end());
        counts.index_entries += entries_;
        counts.peak_index_bytes = std::max<std::uint64_t>(counts.peak_index_bytes, writer_.held_bytes());
        return {tree.root, std::move(tree.pages), entries_, distinct_};
    }

private:
    write::IndexTreeWriter writer_;
    std::size_t index_;
    TableDigest& digest_;
    Bytes entry_, previous_;
    std::uint32_t entries_ = 0;
    std::uint32_t distinct_ = 0;
    bool out_of_order_ = false;
    bool listed_twice_ = false;
};

// The index from the entries the source gives, with the rows' new pointers.
// The entries keep their order (rows are copied in the order of their
// pointers, so equal keys keep theirs too) and are written as they are read;
// only where ids in the keys change are they collected and sorted first.
RebuiltIndex RebuildIndex(const CompactionContext& c, const TableDef& def, std::size_t i, const std::string& name,
                          const RowMap& moved, const TableSource& rows, TableCounts& counts, TableDigest& digest) {
    const bool streamed = c.relocation.IdColumnsOf(def).empty();
    OrderedEntries ordered(c, def, i, digest);
    write::IndexEntryList collected;
    Bytes key;
    // A row the table lacks is reported once the walk is over, so a damaged
    // tree page is what a damaged tree reports.
    std::optional<RowPointer> stray;
    const auto prefetch = [&moved](RowPointer row, int round) { moved.Prefetch(row, round); };
    const auto carry = [&](ByteSpan entryKey, RowPointer row) {
        const std::optional<RowPointer> to = moved.Find(row);
        if (!to) {
            if (!stray) stray = row;
            return;
        }
        c.relocation.RewriteKey(def, i, entryKey, key);
        if (streamed)
            ordered.Add(key, *to);
        else
            collected.Add(key, *to);
    };
    EntryBatch batch(prefetch, carry);
    rows.Entries(i, [&batch](ByteSpan entryKey, RowPointer row) { batch.Add(entryKey, row); });
    batch.Flush();
    if (stray)
        Damaged(name,
                "index " + std::to_string(i) + " names " + stray->ToString() + ", which is not a row of the table");
    if (!streamed) {
        collected.Sort();
        counts.peak_index_bytes = std::max(counts.peak_index_bytes, 2 * collected.byte_size());
        for (std::size_t e = 0; e < collected.size(); ++e) ordered.Add(collected.Key(e), collected.Row(e));
    }
    if (ordered.listed_twice()) Damaged(name, "index " + std::to_string(i) + " lists a row twice");
    if (ordered.out_of_order()) Damaged(name, "index " + std::to_string(i) + " is out of order");
    return ordered.Finish(counts);
}

// The table's usage-map records, in the order MapRecordsOf counts them, and
// its definition pointing at them.
void RewriteDefinition(const CompactionContext& c, const TableDef& def, const CopiedRows& rows,
                       const std::vector<RebuiltIndex>& indexes) {
    const auto record = [&c](const std::vector<std::uint32_t>& pages) {
        return c.map_records.Add(write::MakeUsageMap(c.source.format(), pages, c.allocator, c.sink)).ToU32();
    };
    DefinitionRewrite definition(c.source, def);
    definition.SetLe32(def.num_rows_offset, static_cast<std::uint32_t>(rows.moved.size()));
    // A counter below a stored value would hand that value out again.
    definition.SetLe32(def.autonumber_offset, std::max(def.autonumber, rows.largest_autonumber));
    if (def.complex_autonumber_offset != 0)
        definition.SetLe32(def.complex_autonumber_offset, std::max(def.complex_autonumber, rows.largest_complex_key));
    definition.SetLe32(def.owned_map_offset, record(write::PagesOf(rows.pages)));
    definition.SetLe32(def.free_map_offset, record(rows.moved.size() ? write::PagesOf(rows.pages, rows.shortest + 2)
                                                                     : std::vector<std::uint32_t>{}));
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        const PhysicalIndex& index = def.physical_indexes[i];
        definition.SetLe32(index.map_pointer_offset, record(indexes[i].pages));
        definition.SetLe32(index.root_page_offset, indexes[i].root);
        if (index.stats_entries != 0) definition.SetLe32(index.stats_offset, indexes[i].entries);
        definition.SetLe32(index.stats_offset + 4, indexes[i].distinct);
    }
    for (const LongValueMap& lv : def.long_value_maps) {
        const auto& written = rows.long_values.at(lv.column_number)->pages();
        definition.SetLe32(lv.owned_map_offset(), record(write::PagesOf(written)));
        if (lv.free_map != 0)
            definition.SetLe32(lv.free_map_offset(), record(write::PagesOf(written, write::kLongValueFreeThreshold)));
    }
    for (std::size_t field : c.relocation.RelatedTableFields(def))
        definition.SetLe32(field, c.relocation.NewId(Le32(def.stream, field)));
    definition.MoveTo(c.relocation.NewPages(def));
    definition.Write(c.sink);
}

}  // namespace

TableDigest CompactTable(CompactionContext& context, const TableDef& def, const std::string& name,
                         const TableSource& source, TableCounts& counts) {
    TableDigest digest(def.physical_indexes.size());
    const CopiedRows rows = CopyRows(context, def, name, source, counts, digest);
    std::vector<RebuiltIndex> indexes;
    for (std::size_t i = 0; i < def.physical_indexes.size(); ++i)
        indexes.push_back(RebuildIndex(context, def, i, name, rows.moved, source, counts, digest));
    RewriteDefinition(context, def, rows, indexes);
    return digest;
}

}  // namespace dorvane::jet::compact
