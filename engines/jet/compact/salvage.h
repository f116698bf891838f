#pragma once
// What repair reads from a damaged table: every row that reads soundly, each
// index's entries as the copy must hold them, and what could not be kept.
// Rows come from the table's map like RowCursor's, but an unreadable row, a
// page that is not the table's or lies past the end of the file is counted
// and passed over instead of ending the read.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engines/jet/write/entry_sorter.h"
#include "engines/jet/write/index_tree.h"
#include "engines/jet/format/page_census.h"
#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/row_set.h"
#include "engines/jet/format/source_maps.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {
class PageFile;
}

namespace dorvane::jet::compact {

struct SalvagedRow {
    RowPointer header;  // the identity the source's indexes point at
    // Only where the salvage changed the row (a broken memo/OLE value set to
    // Null). Other rows are read again from their page when they are needed,
    // so that a table's rows are not all held at once.
    // Held apart, so that the many rows kept as they are take 16 bytes each.
    std::unique_ptr<Bytes> changed;
};

// The bodies of salvaged rows, read again from the source: the page parsed
// as the salvage parsed it (the last one kept), the row resolved the same way.
class SalvagedRowReader {
public:
    explicit SalvagedRowReader(const PageFile& file) : file_(file) {}
    // Valid until the next call.
    ByteSpan Body(const SalvagedRow& row);

private:
    const PageFile& file_;
    std::optional<DataPage> page_;
    Bytes body_;
};

// An index's entries for the copy, naming source rows, in tree order: those
// of the source's tree that name a kept row, read from it again when the copy
// is written, or rebuilt from the rows.
struct SalvagedIndex {
    std::optional<std::uint32_t> tree_root;
    std::unique_ptr<write::EntrySorter> rebuilt;  // when there is no tree_root
};

struct TableSalvage {
    std::vector<SalvagedRow> rows;             // in stored order
    std::vector<SalvagedIndex> indexes;        // per physical index
    RowSet kept_rows;                          // the headers of `rows`
    std::vector<std::size_t> rebuilt_indexes;  // rebuilt from the rows
    std::uint64_t stale_entries = 0;           // dropped: they named no row that was kept
    std::uint64_t rows_dropped = 0;            // unreadable rows seen
    std::uint64_t possibly_lost = 0;           // count above the rows found, unexplained
    std::uint64_t values_cut = 0;              // memo/OLE values set to Null
    std::uint64_t pages_passed_over = 0;       // listed, but not readable data pages of the table
    std::uint64_t pages_in_doubt = 0;          // free space not what the slots leave: slots may be hidden
    bool map_lost = false;                     // pages found by their owner: lost ones cannot be told
    std::uint64_t missing_named = 0;           // rows index entries name that are neither kept nor deleted
    std::uint64_t orphan_bodies = 0;           // relocated row bodies no row points at
    std::uint64_t rows_disputed = 0;           // kept, though an index's entry for them disagrees
    std::uint64_t rows_kept_deleted = 0;       // flagged deleted, yet counted and named: in doubt
    std::uint64_t rows_resurrected = 0;        // live, yet neither counted nor named: kept deleted
    // Whether anything says rows may be missing beyond what was counted:
    // what a system table, whose rows may not be dropped, must not show.
    bool in_doubt() const {
        return lost_anything() || pages_passed_over != 0 || pages_in_doubt != 0 || map_lost || missing_named != 0 ||
               orphan_bodies != 0 || rows_kept_deleted != 0;
    }
    bool lost_anything() const { return rows_dropped != 0 || possibly_lost != 0 || values_cut != 0; }
};

// What the salvage of one table may consult of the whole file: the tables'
// maps, and the plain account of the pages' owners (without it, pages are
// found by their owner by reading the file).
struct SalvageSources {
    SourceMaps maps;
    const PageCensus* census = nullptr;
    // Rows held with these bodies whatever the source's slots say (a catalog
    // row a repair makes a live table's again); the indexes are then rebuilt.
    std::vector<std::pair<RowPointer, Bytes>> restored_rows;
    // The indexes whose keys may disagree with rows on sound pages, as the
    // full check found them (by physical number); unknown: all of them.
    // Rows on damaged pages are weighed against every index.
    std::optional<std::set<std::size_t>> keys_in_question;
    // A system table's rows (its catalog row says so, whatever its
    // definition's type) are never dropped on the count's word.
    bool system_table = false;
    // Where a rebuilt index's entries spill while they are sorted (index
    // number added); empty: they stay in memory.
    std::filesystem::path spill;
};

// Throws (naming the table) when an index must be rebuilt but a row's key
// cannot be computed: an index with missing entries is never written; and
// when the table's rows do not fit its definition. A table whose own map is
// lost or empty takes its pages by their owner field, but none that another
// table's map lists: a changed owner must not carry another table's rows in.
TableSalvage SalvageTable(const PageFile& file, const TableDef& def, const std::string& name,
                          const SalvageSources& sources = {});

}  // namespace dorvane::jet::compact
