#pragma once
// Writes one table into a database being built: its rows onto fresh data
// pages, long values onto fresh LVAL pages, every index as a fresh tree, the
// usage maps, and its definition pointing at all of them. Rows may be new
// (their index keys computed) or carried from an older copy of the table
// (their entries carried from its indexes), so that a catalog can gain rows
// without any key of the old ones being recomputed.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "engines/jet/write/index_tree.h"
#include "engines/jet/write/long_values.h"
#include "engines/jet/write/usage_maps.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/row_writer.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet::create {

class TableWriter {
public:
    // def.page and def.pages must be set: the definition's pages and the id.
    TableWriter(const Format& format, TableDef def, write::PageAllocator& allocator, write::PageSink& sink);

    // A new row: long values stored, the row encoded. Throws errc::kValueRefused
    // for a value that does not fit; kNotAvailable for a long value that needs
    // pages of its own in a table with carried rows.
    Bytes PrepareRow(const std::vector<StoredValue>& values);
    // Places a row. A carried row names where it was; its index entries come
    // from CarryEntries. A new row's keys are computed (kNotAvailable for a
    // key the engine cannot encode).
    void AddRow(ByteSpan body, std::optional<RowPointer> carried_from = std::nullopt);
    // Entries of physical index `index` of the older copy, naming carried rows.
    void CarryEntries(std::size_t index, const std::vector<IndexEntry>& entries);

    // Writes the indexes and the definition; usage-map records go to `records`
    // (write::MapRecordsOf(def) of them; with carried rows the long-value
    // maps stay, so two and one per index). Returns the definition as written.
    TableDef Finish(write::MapRecordPages& records);

    std::size_t row_count() const { return rows_; }
    // The key of a prepared row in physical index `index`, as AddRow computes it.
    std::optional<Bytes> KeyOf(std::size_t index, ByteSpan body) const;

private:
    const Format& format_;
    TableDef def_;
    write::PageAllocator& allocator_;
    write::PageSink& sink_;
    write::DataPagePacker packer_;
    std::map<std::uint16_t, std::unique_ptr<write::LongValueWriter>> long_values_;  // by column number
    std::vector<write::IndexEntryList> entries_;
    std::map<RowPointer, RowPointer> carried_;  // old place -> new place
    std::vector<std::vector<IndexEntry>> carried_entries_;
    std::size_t rows_ = 0;
    std::size_t shortest_ = 0;
};

// The definition's stream length with every pointer in place, for allocating its pages.
std::size_t DefinitionPagesNeeded(const Format& format, const TableDef& def);

}  // namespace dorvane::jet::create
