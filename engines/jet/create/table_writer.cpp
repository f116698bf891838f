#include "engines/jet/create/table_writer.h"

#include <algorithm>

#include "core/error.h"
#include "engines/jet/create/table_layout.h"
#include "engines/jet/format/index_key.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/table_def_writer.h"
#include "engines/jet/format/text.h"
#include "engines/jet/format/text_encode.h"

namespace dorvane::jet::create {

namespace {

// Long values up to this length stay in their row, as Access keeps short memos.
constexpr std::size_t kInlineLongValue = 64;

}  // namespace

std::size_t DefinitionPagesNeeded(const Format& format, const TableDef& def) {
    return TableDefPageCount(format, EncodeTableDef(format, kCodePage1252, def).size());
}

TableWriter::TableWriter(const Format& format, TableDef def, write::PageAllocator& allocator, write::PageSink& sink)
    : format_(format),
      def_(std::move(def)),
      allocator_(allocator),
      sink_(sink),
      packer_(format, def_.page, allocator, sink),
      entries_(def_.physical_indexes.size()),
      carried_entries_(def_.physical_indexes.size()) {
    if (def_.stream.empty()) PlaceTableDef(format, kCodePage1252, def_);  // index keys read the column blocks
    for (const LongValueMap& map : def_.long_value_maps) {
        long_values_.emplace(map.column_number, std::make_unique<write::LongValueWriter>(format, allocator, sink));
    }
}

Bytes TableWriter::PrepareRow(const std::vector<StoredValue>& values) {
    std::vector<StoredValue> stored = values;
    for (std::size_t c = 0; c < def_.columns.size() && c < stored.size(); ++c) {
        const Column& column = def_.columns[c];
        StoredValue& value = stored[c];
        if (!column.IsLongValue() || !value.present) continue;
        const std::size_t length = value.bytes.size();
        if (length > kLongValueLengthMask)
            throw Error(errc::kValueRefused, "a value for \"" + column.name + "\" is too long");
        Bytes field(kLongValueFieldHeader, 0);
        if (length <= kInlineLongValue) {
            PutLe32(field, 0, LongValueFieldHead(LongValueKind::kInline, static_cast<std::uint32_t>(length)));
            field.insert(field.end(), value.bytes.begin(), value.bytes.end());
        } else {
            if (!carried_.empty()) {
                throw Error(errc::kNotAvailable, "a long value cannot be added to a table whose rows are carried over");
            }
            const bool single = length + kLongValueSegmentLink <= format_.lv_segment_row;
            const auto writer = long_values_.find(column.number);
            if (writer == long_values_.end()) ThrowCorrupt("column \"" + column.name + "\" has no long-value map");
            const RowPointer first =
                writer->second->Write(single ? LongValueKind::kSingle : LongValueKind::kChain, value.bytes);
            PutLe32(field, 0,
                    LongValueFieldHead(single ? LongValueKind::kSingle : LongValueKind::kChain,
                                       static_cast<std::uint32_t>(length)));
            PutLe32(field, kLongValueFieldPointer, first.ToU32());
        }
        value.bytes = std::move(field);
    }
    return EncodeRow(format_, def_, stored);
}

void TableWriter::AddRow(ByteSpan body, std::optional<RowPointer> carried_from) {
    if (body.size() > packer_.MaxRow()) throw Error(errc::kValueRefused, "a row is too large for a page");
    const RowPointer where = packer_.Add(body).where;
    shortest_ = rows_ == 0 ? body.size() : std::min(shortest_, body.size());
    ++rows_;
    if (carried_from) {
        carried_.emplace(*carried_from, where);
        return;
    }
    for (std::size_t i = 0; i < def_.physical_indexes.size(); ++i) {
        const std::optional<Bytes> key = KeyOf(i, body);
        if (key) entries_[i].Add(*key, where);
    }
}

std::optional<Bytes> TableWriter::KeyOf(std::size_t index, ByteSpan body) const {
    return EncodeIndexKey(format_, def_, def_.physical_indexes.at(index), body);
}

void TableWriter::CarryEntries(std::size_t index, const std::vector<IndexEntry>& entries) {
    carried_entries_.at(index) = entries;
}

TableDef TableWriter::Finish(write::MapRecordPages& records) {
    packer_.Finish();
    for (auto& [number, writer] : long_values_) writer->Finish();
    const auto record = [&](const std::vector<std::uint32_t>& pages) {
        return records.Add(write::MakeUsageMap(format_, pages, allocator_, sink_)).ToU32();
    };
    def_.num_rows = static_cast<std::uint32_t>(rows_);
    def_.owned_map = record(write::PagesOf(packer_.pages()));
    def_.free_map = record(rows_ != 0 ? write::PagesOf(packer_.pages(), shortest_ + 2) : std::vector<std::uint32_t>{});
    for (std::size_t i = 0; i < def_.physical_indexes.size(); ++i) {
        for (const IndexEntry& e : carried_entries_[i]) {
            const auto to = carried_.find(e.row);
            if (to == carried_.end())
                ThrowCorrupt("an index entry names " + e.row.ToString() + ", which is not a row of the table");
            entries_[i].Add(e.key, to->second);
        }
        entries_[i].Sort();
        if (def_.physical_indexes[i].flags & kIndexUnique) {
            for (std::size_t e = 1; e < entries_[i].size(); ++e) {
                if (std::ranges::equal(entries_[i].Key(e - 1), entries_[i].Key(e))) {
                    throw Error(errc::kValueRefused, "the unique index \"" + def_.logical_indexes.at(i).name +
                                                         "\" would hold a value twice");
                }
            }
        }
        write::IndexTree tree = write::BuildIndexTree(format_, def_.page, entries_[i], allocator_, sink_);
        std::sort(tree.pages.begin(), tree.pages.end());
        PhysicalIndex& index = def_.physical_indexes[i];
        index.root_page = tree.root;
        index.map_pointer = record(tree.pages);
        // System tables keep 0 as the entry count, as Access leaves it.
        if (def_.table_type != kSystemTable) index.stats_entries = static_cast<std::uint32_t>(entries_[i].size());
        index.stats_distinct = static_cast<std::uint32_t>(entries_[i].DistinctKeys());
    }
    // Carried rows keep their long values where they are, and the table its long-value maps.
    for (LongValueMap& map : def_.long_value_maps) {
        if (!carried_.empty()) break;
        const auto& written = long_values_.at(map.column_number)->pages();
        map.owned_map = record(write::PagesOf(written));
        if (map.free_map != 0) map.free_map = record(write::PagesOf(written, write::kLongValueFreeThreshold));
    }
    // The definition as it stood, with the new pointers and counts: bytes the reader does not keep stay.
    Bytes stream(def_.stream.begin(), def_.stream.begin() + static_cast<std::ptrdiff_t>(def_.end_offset));
    PutLe32(stream, def_.num_rows_offset, def_.num_rows);
    PutLe32(stream, def_.owned_map_offset, def_.owned_map);
    PutLe32(stream, def_.free_map_offset, def_.free_map);
    for (const PhysicalIndex& index : def_.physical_indexes) {
        PutLe32(stream, index.map_pointer_offset, index.map_pointer);
        PutLe32(stream, index.root_page_offset, index.root_page);
        PutLe32(stream, index.stats_offset, index.stats_entries);
        PutLe32(stream, index.stats_offset + 4, index.stats_distinct);
    }
    for (const LongValueMap& map : def_.long_value_maps) {
        PutLe32(stream, map.owned_map_offset(), map.owned_map);
        PutLe32(stream, map.free_map_offset(), map.free_map);
    }
    const std::vector<Bytes> pages = TableDefPages(format_, stream, def_.pages);
    for (std::size_t i = 0; i < pages.size(); ++i) sink_.WritePage(def_.pages[i], pages[i]);
    return def_;
}

}  // namespace dorvane::jet::create
