#pragma once
// A consistency check of a whole database: every table row decodes, every
// long value reads, every index entry names a live row, entries are in
// order, each index holds one entry per row (fewer only where it ignores
// Nulls) and its usage map names exactly its tree pages; memo/OLE values lie
// on their column's pages; no page in use is marked free; a user table holds
// at least as many rows as its definition counts.

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/page_census.h"

namespace dorvane::jet {

class PageFile;

// What a problem puts at risk, and so what a repair does with it.
enum class DamageClass {
    kDerived,       // indexes, maps, counts, free space: rebuilt from the rows, nothing lost
    kPrimary,       // rows or memo/OLE values that cannot be read: salvaged, the rest dropped
    kSuspect,       // a map page that is not the table's, a count above the rows: rows may be lost
    kUnrepairable,  // a definition, the catalog, a system table's rows: refused
};
const char* DamageClassName(DamageClass damage);  // "derived", "primary", ...

struct CheckReport {
    std::uint64_t tables = 0;
    std::uint64_t rows = 0;
    std::uint64_t long_values = 0;  // non-inline and inline memo/OLE values read
    std::uint64_t indexes = 0;      // physical indexes walked
    std::uint64_t index_entries = 0;
    std::uint64_t stale_row_counts = 0;  // cached counts below the rows found (not an error)
    std::vector<std::string> problems;   // empty: consistent
    std::vector<DamageClass> classes;    // parallel to problems
    // The tables (catalog names) a problem was found in or concerns; a
    // repair reads the others as a compaction does.
    std::set<std::string> damaged_tables;
    // Per table, the physical indexes whose keys are not those its rows give.
    std::map<std::string, std::set<std::size_t>> key_mismatches;
    // Problems of what ties complex columns' items to their rows (also in
    // `problems`): a repair would have to guess, so it refuses.
    std::vector<std::string> complex_faults;
    bool ok() const { return problems.empty(); }
};

// Between a check on another thread and the work that waits for it: the
// check tells as soon as it has found a problem, and stops before its next
// table once its answer is no longer wanted.
struct CheckSignals {
    std::atomic<bool> problem_found{false};
    std::atomic<bool> stop{false};
};

// Never throws for damage inside a table: it becomes a problem and the check
// goes on with the next table. Damage to the header or catalog throws. A
// check stopped through `signals` returns what it found so far.
CheckReport CheckDatabase(const PageFile& file, CheckSignals* signals = nullptr);
// Who reads the tables: the calling thread alone, or with a second thread
// through a reader of its own (for a file on disk that nobody changes
// meanwhile; a file in memory is read by the calling thread alone).
enum class TableReaders { kOne, kTwo };
// The same with the page census (page_census.h) of the same file taken by
// the caller, on another thread or after other work: it is wanted only once
// every table has been checked. A census that failed fails the check.
CheckReport CheckDatabase(const PageFile& file, CheckSignals* signals, std::future<PageCensus> census,
                          TableReaders readers = TableReaders::kOne);
// Told what the check reads of a table as it reads it, on the thread that
// checks the table: for each row its memo/OLE values that are not inline (in
// column order) and then the row and where it lies; then each index's
// entries, key and row together, in the order of its tree. A table the
// check could not read whole is told only in part.
class TableWitness {
public:
    virtual void LongValue(ByteSpan value) = 0;
    virtual void Row(ByteSpan body, RowPointer where) = 0;
    virtual void IndexEntry(std::size_t index, ByteSpan entry) = 0;

protected:
    ~TableWitness() = default;
};
// The witness of the table defined at a page, or null for a table nobody
// watches. Asked from every thread that checks tables.
using TableWitnesses = std::function<TableWitness*(std::uint32_t definition_page)>;
// The same, telling `witnesses` what it reads: whoever must read the tables
// anyway need not read them a second time.
CheckReport CheckDatabase(const PageFile& file, std::future<PageCensus> census, TableReaders readers,
                          const TableWitnesses& witnesses);
// The same on every core there is to spare: the census on a thread of its
// own, the tables on two, each reading through a reader of its own.
CheckReport CheckDatabaseOnTwoCores(const PageFile& file);

}  // namespace dorvane::jet
