#pragma once
// What repair reads from a damaged table: every row that reads soundly, each
// index's entries as the copy must hold them, and what could not be kept.
// Rows come from the table's map like RowCursor's, but an unreadable row, a
// page that is not the table's or lies past the end of the file is counted
// and passed over instead of ending the read.

#include <algorithm>
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
#include "engines/jet/format/source_maps.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/compact/table_slots.h"

namespace dorvane::jet {
class PageFile;
}

namespace dorvane::jet::compact {

// The rows a salvage kept, in pointer order (which is stored order): a bit
// per slot of the table's pages, and the bodies of the few it changed (a
// broken memo/OLE value set to Null, a catalog row made live again). The
// others are read again from their page when they are needed, so that a
// table's rows are not all held at once.
class SalvagedRows {
public:
    std::size_t size() const { return count_; }
    bool Contains(RowPointer row) const {
        const auto ordinal = slots_.Ordinal(row);
        return ordinal && kept_.Test(*ordinal);
    }
    std::size_t CountOn(std::uint32_t page) const {
        const TableSlots::Page* found = slots_.Find(page);
        return found == nullptr ? 0 : kept_.Count(found->first, found->first + found->slots);
    }
    // The body the salvage settled on, when it is not the page's.
    const Bytes* Changed(RowPointer row) const {
        const auto it = changed_.find(row);
        return it == changed_.end() ? nullptr : &it->second;
    }
    // visit(RowPointer header) for each row, in pointer order.
    template <typename Visit>
    void ForEach(Visit&& visit) const {
        slots_.ForEach(kept_, [&visit](RowPointer row, std::size_t) { visit(row); });
    }

    // For the salvage, as it settles the rows.
    TableSlots& slots() { return slots_; }
    const TableSlots& slots() const { return slots_; }
    const RowBits& bits() const { return kept_; }
    void Keep(std::size_t ordinal) {
        if (ordinal >= room_) {
            room_ = std::max(slots_.size(), ordinal + 1);
            kept_.Resize(room_);
        }
        if (!kept_.Test(ordinal)) ++count_;
        kept_.Set(ordinal);
    }
    void Drop(std::size_t ordinal) {
        if (ordinal >= room_ || !kept_.Test(ordinal)) return;
        kept_.Clear(ordinal);
        --count_;
        changed_.erase(RowAt(ordinal));
    }
    bool Kept(std::size_t ordinal) const { return ordinal < room_ && kept_.Test(ordinal); }
    void Change(RowPointer row, Bytes body) { changed_[row] = std::move(body); }

private:
    RowPointer RowAt(std::size_t ordinal) const {
        const auto& pages = slots_.pages();
        const auto page = std::upper_bound(pages.begin(), pages.end(), ordinal,
                                           [](std::size_t o, const TableSlots::Page& p) { return o < p.first; });
        const TableSlots::Page& on = *(page - 1);
        return RowPointer{on.number, static_cast<std::uint8_t>(ordinal - on.first)};
    }

    TableSlots slots_;
    RowBits kept_;
    std::size_t room_ = 0;
    std::size_t count_ = 0;
    std::map<RowPointer, Bytes> changed_;
};

// The bodies of salvaged rows, read again from the source: the page parsed
// as the salvage parsed it (the last one kept), the row resolved the same way.
class SalvagedRowReader {
public:
    explicit SalvagedRowReader(const PageFile& file) : file_(file) {}
    // Valid until the next call; `changed`: the body the salvage settled on, if any.
    ByteSpan Body(RowPointer row, const Bytes* changed = nullptr);
    ByteSpan Body(const SalvagedRows& rows, RowPointer row) { return Body(row, rows.Changed(row)); }

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
    // When there is no tree_root; it may hold entries of rows the salvage
    // dropped after the index was sorted: only those of kept rows count.
    std::unique_ptr<write::EntrySorter> rebuilt;
};

struct TableSalvage {
    SalvagedRows rows;
    std::vector<SalvagedIndex> indexes;        // per physical index
    std::vector<std::size_t> rebuilt_indexes;  // rebuilt from the rows
    std::uint64_t stale_entries = 0;           // dropped: they named no row that was kept
    std::uint64_t rows_dropped = 0;            // rows of damaged pages no index confirms, or unreadable
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
// maps (shared: they grow with the file), and the plain account of the pages'
// owners (without it, pages are found by their owner by reading the file).
struct SalvageSources {
    const SourceMaps* maps = nullptr;  // none: no page is known to be another's
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
