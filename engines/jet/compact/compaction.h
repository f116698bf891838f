#pragma once
// Compaction of a Jet 3 / Jet 4 file into a new file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace dorvane::jet {

// What a compaction did, for the companion tool and the benchmark.
struct CompactSummary {
    std::uint32_t source_pages = 0;
    std::uint32_t copy_pages = 0;
    std::uint32_t holes = 0;                 // empty pages left between table definitions
    std::size_t definitions_moved = 0;       // tables whose definition, and so id, moved
    const char* definitions_kept = nullptr;  // why definitions kept their pages, when they did
    std::size_t tables = 0;
    std::uint64_t rows = 0;
    std::uint64_t long_values = 0;
    std::uint64_t index_entries = 0;
    std::uint64_t peak_index_bytes = 0;
};
// The benchmark passes it from a child process as bytes.
static_assert(std::is_trivially_copyable_v<CompactSummary>);

// Writes a compacted copy of `source` to `destination` and checks it against
// the source before returning; the source is never written and is held
// against other users throughout. The destination is created exclusively and
// removed again on any failure. Throws dorvane::Error.
void CompactFile(const std::filesystem::path& source, const std::filesystem::path& destination);
void CompactFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                 CompactSummary& summary);

// What a repair did to one table.
struct TableRepair {
    std::string name;
    std::uint64_t rows_kept = 0;
    std::uint64_t rows_dropped = 0;   // rows of damaged pages no index confirms, or unreadable
    std::uint64_t possibly_lost = 0;  // the cached count above the rows found, unexplained
    std::uint64_t values_cut = 0;     // memo/OLE values set to Null
    std::uint64_t stale_entries = 0;  // index entries naming no kept row, dropped
    std::uint64_t rows_disputed = 0;  // kept, though an index held another key for them
    // Flagged deleted while its indexes and cached count still include them:
    // a delete cut short, or damage to the flag. Kept deleted.
    std::uint64_t rows_kept_deleted = 0;
    // Found live, yet no index names them and the count leaves them out: a
    // deleted row come back, or a page written back from an older version.
    // Kept deleted.
    std::uint64_t rows_resurrected = 0;
    std::vector<std::size_t> rebuilt_indexes;  // physical index numbers
    // A complex column's items (a flat table): its rows are told as the
    // items of this column ("column \"C\" of table \"T\""), and those whose
    // row the copy lacks are left out, counted here.
    std::string items_of;
    std::uint64_t items_orphaned = 0;
    // How many of its rows the items lost belonged to, as the items' key
    // index still names them; unknown when that index cannot be read.
    std::optional<std::uint64_t> rows_missing_items;
};

struct RepairReport {
    CompactSummary summary;
    bool source_sound = false;        // the full check found nothing: compacted as is
    std::vector<TableRepair> tables;  // every table, in catalog order; none for a sound source
    // Tables whose catalog row lost its type or was flagged deleted while
    // their definition and rows remain: kept, under their catalog name.
    struct Restored {
        std::string name;
        std::string why;  // what had become of its catalog row
    };
    std::vector<Restored> restored_tables;
    std::vector<std::string> lost_tables;  // rows on pages of a table the copy does not hold
    std::uint64_t RowsLost() const;        // dropped and possibly lost, items left out
    std::uint64_t ValuesCut() const;
    std::uint64_t RowsInDoubt() const;  // kept, but their indexes disagreed
    // One line naming each table that lost something or holds rows in doubt,
    // and how many; empty when there is nothing to say.
    std::string LossSummary() const;
};

// Like CompactFile, but a damaged source is salvaged into the copy where that
// needs no guessing, and the copy is verified against what was salvaged. A
// source the full check finds sound is compacted as CompactFile does, byte
// for byte the same copy: salvage only ever meets damaged files.
// Damage to the catalog, a table definition or a system table's rows, and an
// index that must be rebuilt but whose keys cannot be computed, still throw.
void RepairFile(const std::filesystem::path& source, const std::filesystem::path& destination, RepairReport& report);

}  // namespace dorvane::jet
