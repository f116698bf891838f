#include "engines/jet/check/checker.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <future>
#include <map>
#include <optional>
#include <queue>
#include <set>

#include "core/error.h"
#include "engines/jet/check/ascending_numbers.h"
#include "engines/jet/check/complex_check.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/definition_check.h"
#include "engines/jet/format/entry_batch.h"
#include "engines/jet/format/index_key.h"
#include "engines/jet/format/page_census.h"
#include "engines/jet/format/source_maps.h"
#include "engines/jet/format/unlisted_tables.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/row_set.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/usage_map.h"

namespace dorvane::jet {

namespace {

void Add(CheckReport& report, DamageClass damage, std::string problem) {
    report.problems.push_back(std::move(problem));
    report.classes.push_back(damage);
}

// Page numbers, ascending and each once: four bytes a page where a set
// would take ten times that, and a column's values may lie on most pages of
// the file.
using PageList = std::vector<std::uint32_t>;
void Settle(PageList& pages) {
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
}

// Pages in use must not be marked free in the database-wide map.
void CheckNotFree(const PageList& freePages, const std::vector<std::uint32_t>& pages, const std::string& what,
                  CheckReport& report) {
    for (std::uint32_t page : pages) {
        if (std::binary_search(freePages.begin(), freePages.end(), page)) {
            Add(report, DamageClass::kDerived, what + ": page " + std::to_string(page) + " is in use but marked free");
            return;
        }
    }
}

// An index's entries as one order-free sum: what its rows' values give is
// held against what its tree holds, without keeping either.
class EntryDigest {
public:
    void Add(ByteSpan key, RowPointer row) {
        // Eight bytes a step: every key of every index passes here twice.
        std::uint64_t h = 0xCBF29CE484222325ull;
        std::size_t at = 0;
        for (; at + 8 <= key.size(); at += 8) {
            std::uint64_t word;
            std::memcpy(&word, key.data() + at, 8);
            h = (h ^ word) * 0x9E3779B97F4A7C15ull;
            h ^= h >> 29;
        }
        std::uint64_t tail = 0;
        for (std::size_t i = at; i < key.size(); ++i) tail |= std::uint64_t{key[i]} << (8 * (i - at));
        h = (h ^ tail) * 0x9E3779B97F4A7C15ull;
        h ^= std::uint64_t{row.ToU32()} << 17 ^ key.size();
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        sum_ += h;
        ++count_;
    }
    bool operator==(const EntryDigest&) const = default;

private:
    std::uint64_t sum_ = 0;
    std::uint64_t count_ = 0;
};

// What the rows' values say each index should hold; none for an index
// whose keys cannot be computed here.
using ExpectedEntries = std::vector<std::optional<EntryDigest>>;

// The long-value rows one table's values name, ascending: one for every
// long-value row of the file, so kept as their distances, the table named
// once.
struct LongValueClaims {
    std::string table;
    AscendingNumbers rows;
};

// Whether pages that name a table as their owner hold rows its map does not
// list: asked when the table is checked, answered from the page census once
// every table is done, and told where the table's check would have told it.
// The census reads every page, so it may be taken on another core meanwhile.
struct CensusQuestion {
    std::size_t position;  // in the problems when asked
    std::string table;     // its catalog name
    std::uint32_t definition;
    std::vector<std::uint32_t> listed;  // the pages its map lists, ascending
    bool system = false;                // its problems cannot be repaired
};

// What the check of one table needs to know of the others; read only while
// tables are checked, so shared by the threads that check them.
struct FileWide {
    PageList free_pages;
    SourceMaps maps;
    std::set<std::uint32_t> item_tables;
    const TableWitnesses* witnesses = nullptr;
};

// One table's findings, made apart from the others' (on whichever thread
// checked it) and joined to the report in catalog order.
struct TableFindings {
    std::string table;  // its catalog name
    CheckReport report;
    // The long-value rows its values name: four bytes each while the table
    // is checked (a deque grows without copying what it holds), then sorted
    // into `claims`.
    std::deque<std::uint32_t> long_value_rows;
    AscendingNumbers claims;
    std::vector<CensusQuestion> census_questions;
};

// What the joined findings of all tables leave for the checks of the whole
// file.
struct Joined {
    std::vector<CensusQuestion> census_questions;
    std::vector<LongValueClaims> claims;  // in the order the tables were read
};

void CheckIndex(const PageFile& file, const TableDef& def, std::size_t number, const RowSet& rows,
                const std::string& table, const PageList& freePages, const std::optional<EntryDigest>& expected,
                TableWitness* witness, CheckReport& report) {
    const PhysicalIndex& index = def.physical_indexes[number];
    const std::string name = "table '" + table + "' index " + std::to_string(number);
    // Entries are checked as the walk hands them over; what they show is added
    // only once the whole tree has been read, so a damaged page reports alone.
    CheckReport found;
    std::size_t count = 0;
    Bytes previous;
    Bytes current;
    EntryDigest held;
    const auto prefetch = [&rows](RowPointer row, int round) { rows.Prefetch(row, round); };
    const auto check = [&](ByteSpan key, RowPointer row) {
        held.Add(key, row);
        if (!rows.Contains(row)) {
            Add(found, DamageClass::kDerived,
                name + ": entry " + std::to_string(count) + " names " + row.ToString() +
                    ", which is not a row of the table");
        }
        current.assign(key.begin(), key.end());
        AppendIndexRowRef(current, row);
        if (witness != nullptr) witness->IndexEntry(number, current);
        if (count > 0 && !(previous < current)) {
            Add(found, DamageClass::kDerived, name + ": entry " + std::to_string(count) + " is out of order");
        }
        std::swap(previous, current);
        ++count;
    };
    EntryBatch batch(prefetch, check);
    const IndexWalk walk =
        VisitIndex(file, index.root_page, [&batch](ByteSpan key, RowPointer row) { batch.Add(key, row); });
    batch.Flush();
    ++report.indexes;
    report.index_entries += count;
    for (std::size_t i = 0; i < found.problems.size(); ++i) Add(report, found.classes[i], std::move(found.problems[i]));
    const bool ignoresNulls = (index.flags & kIndexIgnoresNulls) != 0;
    // Where the entries do not match the rows one for one, which keys differ
    // cannot be told from the sums: all of them are in question.
    const bool countsDiffer = count > rows.size() || (!ignoresNulls && count != rows.size());
    if (countsDiffer) {
        Add(report, DamageClass::kDerived,
            name + " holds " + std::to_string(count) + " entries for " + std::to_string(rows.size()) + " rows");
    } else if (expected && !(*expected == held)) {
        Add(report, DamageClass::kDerived, name + ": its entries' keys are not the keys its rows' values give");
    }
    if (countsDiffer || !found.ok() || (expected && !(*expected == held))) report.key_mismatches[table].insert(number);
    UsageMap map = ReadUsageMap(file, RowPointer::FromU32(index.map_pointer));
    std::vector<std::uint32_t> tree = walk.pages;
    std::sort(tree.begin(), tree.end());
    if (map.pages != tree) {
        Add(report, DamageClass::kDerived,
            name + ": its usage map does not list exactly its " + std::to_string(tree.size()) + " tree pages");
    }
    CheckNotFree(freePages, tree, name, report);
}

struct RowScan {
    RowSet rows;
    std::uint32_t largest_autonumber = 0;
    std::uint32_t largest_complex_key = 0;
};

// Every row decodes, its fixed values are whole, and each memo/OLE value reads
// and lies on its column's pages. Throws for a row that cannot be read.
RowScan CheckRows(const PageFile& file, const TableDef& def, const std::string& name, RowCursor& cursor,
                  std::map<std::uint16_t, PageList>& longValuePages, ExpectedEntries& expected, const FileWide& wide,
                  TableWitness* witness, TableFindings& findings) {
    CheckReport& report = findings.report;
    RowScan scan;
    RowFields fields;
    LongValueReader longValues(file);
    RowSample sample;
    Bytes key;
    std::optional<std::uint16_t> soundColumn;  // with soundPage: the last page a value was found right on
    std::uint32_t soundPage = 0;
    for (TableRow row; cursor.Next(row);) {
        scan.rows.Add(row.header);
        sample.Add(file.format(), def, row.body);
        LocateFields(file.format(), def, row.body, fields);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (!expected[i]) continue;
            try {
                if (EncodeIndexKey(file.format(), def, def.physical_indexes[i], row.body, fields, key))
                    expected[i]->Add(key, row.header);
            } catch (const Error& e) {
                if (e.number() != errc::kNotAvailable) throw;
                expected[i].reset();
            }
        }
        scan.largest_autonumber = std::max(scan.largest_autonumber, LargestAutoNumber(def, row.body, fields));
        scan.largest_complex_key = std::max(scan.largest_complex_key, LargestComplexKey(def, row.body, fields));
        for (std::size_t i = 0; i < def.columns.size(); ++i) {
            const Column& column = def.columns[i];
            const FieldSpan& span = fields.spans[i];
            if (column.IsBoolean() || !span.present) continue;
            if (span.length < FixedValueSize(column.type))
                ThrowCorrupt("column '" + column.name + "' holds fewer bytes than its type needs");
            if (!column.IsLongValue()) continue;
            ++report.long_values;
            const auto& columnPages = longValuePages[column.number];
            // Reading the chain proves the value whole, as reading its bytes
            // would; its bytes are read only for a witness.
            const ByteSpan field = FieldBytes(row.body, span);
            const bool witnessed =
                witness != nullptr && span.length != 0 && ParseLongValueField(field).kind != LongValueKind::kInline;
            if (witnessed) witness->LongValue(longValues.ReadListingRows(field));
            const std::vector<RowPointer>& chain = witnessed ? longValues.listed_rows() : longValues.Rows(field);
            for (const RowPointer& at : chain) {
                findings.long_value_rows.push_back(at.ToU32());
                // Values follow one another on their pages: a page found
                // right for the column a moment ago is right again.
                if (soundColumn == column.number && soundPage == at.page) continue;
                const auto lister = wide.maps.LongValueColumn(at.page);
                if (lister && !(*lister == SourceMaps::ColumnOf{def.page, column.number})) {
                    Add(report, DamageClass::kPrimary,
                        name + " column '" + column.name + "': a value lies on page " + std::to_string(at.page) +
                            ", which another column's map lists");
                } else if (!std::binary_search(columnPages.begin(), columnPages.end(), at.page)) {
                    Add(report, DamageClass::kDerived,
                        name + " column '" + column.name + "': a value lies on page " + std::to_string(at.page) +
                            ", which its column's map does not list");
                } else {
                    soundColumn = column.number;
                    soundPage = at.page;
                }
            }
        }
        if (witness != nullptr) witness->Row(row.body, row.header);
    }
    if (const auto fault = sample.Fault())
        Add(report, DamageClass::kUnrepairable, name + ": its rows do not fit its definition: " + *fault);
    return scan;
}

void CheckTable(const PageFile& file, const CatalogEntry& entry, const TableDef& def, const FileWide& wide,
                TableFindings& findings) {
    CheckReport& report = findings.report;
    const PageList& freePages = wide.free_pages;
    const std::string name = "table '" + entry.name + "'";
    CheckNotFree(freePages, def.pages, name + " definition", report);
    // Each memo/OLE column's pages, from its own usage map.
    std::map<std::uint16_t, PageList> longValuePages;
    UsageMap owned;
    try {
        for (const LongValueMap& lv : def.long_value_maps) {
            const UsageMap map = ReadUsageMap(file, RowPointer::FromU32(lv.owned_map));
            PageList& pages = longValuePages[lv.column_number];
            pages.insert(pages.end(), map.pages.begin(), map.pages.end());
            CheckNotFree(freePages, map.pages, name + " memo/OLE pages", report);
        }
        for (auto& [column, pages] : longValuePages) Settle(pages);
        owned = ReadUsageMap(file, RowPointer::FromU32(def.owned_map));
    } catch (const Error& error) {
        // Maps are derived from the pages; without them the rows cannot be
        // found here (a repair finds them by their owner).
        Add(report, DamageClass::kDerived, name + ": its usage maps cannot be read: " + error.description());
        return;
    }
    // Pages that name the table as their owner and hold rows are its pages,
    // whether or not its map lists them: rows its reader does not see.
    findings.census_questions.push_back({report.problems.size(), entry.name, def.page, owned.pages});
    // The cursor sorts out the listed pages as it reads them; what it found is
    // told where it would have been had the pages been sorted out first.
    const std::size_t toldBefore = report.problems.size();
    const auto tellForeignPages = [&](std::size_t dataPages) {
        if (dataPages == owned.pages.size()) return;
        const auto at = static_cast<std::ptrdiff_t>(toldBefore);
        report.problems.insert(report.problems.begin() + at, "table '" + entry.name + "': its usage map lists " +
                                                                 std::to_string(owned.pages.size() - dataPages) +
                                                                 " pages that are not its data pages");
        report.classes.insert(report.classes.begin() + at, DamageClass::kSuspect);
    };
    RowCursor cursor(file, def);
    RowScan scan;
    ExpectedEntries expected(def.physical_indexes.size(), EntryDigest{});
    TableWitness* witness = wide.witnesses != nullptr ? (*wide.witnesses)(def.page) : nullptr;
    try {
        scan = CheckRows(file, def, name, cursor, longValuePages, expected, wide, witness, findings);
    } catch (const Error&) {
        // The row that cannot be read is told after what the map lists.
        tellForeignPages(TableDataPages(file, def).size());
        throw;
    }
    const std::vector<std::uint32_t>& dataPages = cursor.data_pages();
    tellForeignPages(dataPages.size());
    const RowSet& rows = scan.rows;
    const std::uint32_t largestAutoNumber = scan.largest_autonumber;
    CheckNotFree(freePages, dataPages, name + " data", report);
    if (largestAutoNumber > def.autonumber) {
        Add(report, DamageClass::kDerived,
            name + ": its AutoNumber counter is " + std::to_string(def.autonumber) + " but a row holds " +
                std::to_string(largestAutoNumber));
    }
    if (def.complex_autonumber_offset != 0 && scan.largest_complex_key > def.complex_autonumber) {
        Add(report, DamageClass::kDerived,
            name + ": its complex-column counter is " + std::to_string(def.complex_autonumber) +
                " but a row holds key " + std::to_string(scan.largest_complex_key));
    }
    ++report.tables;
    report.rows += rows.size();
    // Access keeps a user table's count exact and lets a system table's lag
    // below its rows, never above. A count above the rows found means rows
    // that can no longer be reached, never something to correct silently.
    if (def.num_rows > rows.size()) {
        Add(report, DamageClass::kSuspect,
            name + ": its cached row count is " + std::to_string(def.num_rows) + " but " + std::to_string(rows.size()) +
                " rows were found; up to " + std::to_string(def.num_rows - rows.size()) + " rows may be lost");
    } else if (def.num_rows != rows.size()) {
        ++report.stale_row_counts;
    }
    for (std::size_t i = 0; i < def.physical_indexes.size(); ++i) {
        try {
            CheckIndex(file, def, i, rows, entry.name, freePages, expected[i], witness, report);
        } catch (const Error& error) {
            Add(report, DamageClass::kDerived,
                "table '" + entry.name + "' index " + std::to_string(i) + ": " + error.description());
            report.key_mismatches[entry.name].insert(i);
        }
    }
}

}  // namespace

const char* DamageClassName(DamageClass damage) {
    switch (damage) {
        case DamageClass::kDerived:
            return "derived";
        case DamageClass::kPrimary:
            return "primary";
        case DamageClass::kSuspect:
            return "suspect";
        case DamageClass::kUnrepairable:
            return "unrepairable";
    }
    return "unknown";
}

namespace {

// Each number two of the given ascending sequences hold, merged by number
// and then by sequence, each against the one before it: tell(number, the
// earlier sequence, the later one). next(s, number) takes sequence s's next
// number; false after its last.
template <typename NextOf, typename Tell>
void ForEachNumberHeldTwice(std::size_t sequences, NextOf next, Tell tell) {
    using Held = std::pair<std::uint32_t, std::size_t>;  // a number and its sequence
    std::priority_queue<Held, std::vector<Held>, std::greater<>> queue;
    std::uint32_t number = 0;
    for (std::size_t s = 0; s < sequences; ++s)
        if (next(s, number)) queue.emplace(number, s);
    std::optional<Held> before;
    while (!queue.empty()) {
        const Held held = queue.top();
        queue.pop();
        if (next(held.second, number)) queue.emplace(number, held.second);
        if (before && before->first == held.first) tell(held.first, before->second, held.second);
        before = held;
    }
}

// Two values naming one long-value row: one of them at least is wrong.
void CheckSharedLongValues(const std::vector<LongValueClaims>& claims, CheckReport& report) {
    std::vector<AscendingNumbers::Cursor> cursors;
    for (const LongValueClaims& table : claims) cursors.emplace_back(table.rows);
    std::set<std::string> told;
    ForEachNumberHeldTwice(
        claims.size(), [&cursors](std::size_t t, std::uint32_t& row) { return cursors[t].Next(row); },
        [&](std::uint32_t row, std::size_t first, std::size_t second) {
            for (const std::size_t table : {first, second}) {
                report.damaged_tables.insert(claims[table].table);
                if (told.insert(claims[table].table).second)
                    Add(report, DamageClass::kPrimary,
                        "table '" + claims[table].table + "': a memo or OLE value shares its row " +
                            RowPointer::FromU32(row).ToString() + " with another value");
            }
        });
}

// Each question told at the place it was asked; places shift by what was
// told before them.
void AnswerCensusQuestions(const PageCensus& census, const std::vector<CensusQuestion>& questions,
                           CheckReport& report) {
    std::size_t told = 0;
    for (const CensusQuestion& question : questions) {
        std::uint64_t pages = 0, rows = 0;
        for (std::uint32_t page : census.PagesOwnedBy(question.definition)) {
            if (census.LiveRows(page) == 0 || census.IsFree(page) ||
                std::binary_search(question.listed.begin(), question.listed.end(), page))
                continue;
            ++pages;
            rows += census.LiveRows(page);
        }
        if (pages == 0) continue;
        const auto at = static_cast<std::ptrdiff_t>(question.position + told++);
        report.problems.insert(report.problems.begin() + at,
                               "table '" + question.table + "': " + std::to_string(pages) + " pages hold " +
                                   std::to_string(rows) + " of its rows but its usage map does not list them");
        report.classes.insert(report.classes.begin() + at,
                              question.system ? DamageClass::kUnrepairable : DamageClass::kSuspect);
        report.damaged_tables.insert(question.table);
    }
}

// A data page two tables' maps list: each table would read its rows as its
// own, so both are in question. Told after the census's answers, for each
// table once.
void CheckPagesListedTwice(const std::vector<CensusQuestion>& questions, CheckReport& report) {
    std::vector<std::size_t> taken(questions.size(), 0);
    std::set<std::size_t> told;
    ForEachNumberHeldTwice(
        questions.size(),
        [&](std::size_t t, std::uint32_t& page) {
            if (taken[t] >= questions[t].listed.size()) return false;
            page = questions[t].listed[taken[t]++];
            return true;
        },
        [&](std::uint32_t page, std::size_t first, std::size_t second) {
            // A table the catalog lists twice has one map, read twice.
            if (questions[first].definition == questions[second].definition) return;
            for (const std::size_t table : {first, second}) {
                const CensusQuestion& question = questions[table];
                report.damaged_tables.insert(question.table);
                if (told.insert(table).second)
                    Add(report, question.system ? DamageClass::kUnrepairable : DamageClass::kSuspect,
                        "table '" + question.table + "': its usage map lists page " + std::to_string(page) +
                            ", which another table's map lists too");
            }
        });
}

// Tables whose rows and definition are in use but that the catalog does not
// list as tables.
void CheckUnlistedTables(const PageFile& file, const PageCensus& census, const std::vector<CatalogEntry>& tables,
                         CheckReport& report) {
    std::vector<std::uint32_t> known;
    for (const CatalogEntry& entry : tables) known.push_back(entry.table_page());
    std::sort(known.begin(), known.end());
    const UnlistedTables unlisted = FindUnlistedTables(file, census, known);
    if (!unlisted.restored.empty() || !unlisted.unnamed.empty()) report.damaged_tables.insert("MSysObjects");
    for (const RestoredTable& table : unlisted.restored)
        Add(report, DamageClass::kSuspect,
            "table '" + table.entry.name + "': its definition is in use, but " + table.why);
    for (const PageCensus::Owner& owner : unlisted.unnamed)
        Add(report, DamageClass::kSuspect,
            "the table defined at page " + std::to_string(owner.table) + " holds " + std::to_string(owner.rows) +
                " rows in use, but no catalog row names it");
}

// One table's check, apart from every other: its definition, rows, values
// and indexes.
TableFindings CheckOneTable(const PageFile& file, const CatalogEntry& entry, const FileWide& wide) {
    TableFindings findings;
    findings.table = entry.name;
    CheckReport& report = findings.report;
    std::optional<TableDef> def;
    try {
        def = ReadTableDef(file, entry.table_page());
    } catch (const Error& error) {
        Add(report, DamageClass::kUnrepairable, "table '" + entry.name + "': " + error.description());
        return findings;
    }
    if (const auto fault = DefinitionFault(*def)) {
        Add(report, DamageClass::kUnrepairable, "table '" + entry.name + "': its definition is damaged: " + *fault);
        return findings;
    }
    try {
        CheckTable(file, entry, *def, wide, findings);
    } catch (const Error& error) {
        Add(report, DamageClass::kPrimary, "table '" + entry.name + "': " + error.description());
    }
    if (!report.ok()) report.damaged_tables.insert(entry.name);
    // Forms, modules, queries and permissions live in the system tables'
    // rows: nothing of them may be dropped or guessed.
    const bool system = entry.IsSystem() && !wide.item_tables.contains(entry.table_page());
    for (CensusQuestion& question : findings.census_questions) question.system = system;
    for (std::size_t i = 0; i < report.problems.size() && system; ++i)
        if (report.classes[i] != DamageClass::kDerived) report.classes[i] = DamageClass::kUnrepairable;
    std::sort(findings.long_value_rows.begin(), findings.long_value_rows.end());
    findings.claims = AscendingNumbers(findings.long_value_rows);
    findings.long_value_rows = {};
    return findings;
}

// Each table's findings, in the order given; a table left unchecked because
// the check was stopped has none. With `two`, a second thread takes tables
// too, through a reader of its own: the tables' pages are most of what a
// check reads, and the file is read the same from either reader.
std::vector<std::optional<TableFindings>> CheckTables(const PageFile& file, const std::vector<CatalogEntry>& entries,
                                                      const FileWide& wide, CheckSignals* signals, bool two) {
    std::vector<std::optional<TableFindings>> found(entries.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&](const PageFile& reader) {
        for (std::size_t i = next++; i < entries.size(); i = next++) {
            if (signals != nullptr && signals->stop) return;
            found[i] = CheckOneTable(reader, entries[i], wide);
            if (signals != nullptr && !found[i]->report.ok()) signals->problem_found = true;
        }
    };
    std::future<void> second;
    if (two && entries.size() > 1)
        second = std::async(std::launch::async, [&work, path = file.path()] { work(PageFile::OpenCached(path)); });
    try {
        work(file);
    } catch (...) {
        next = entries.size();  // the second thread stops after its table; its failure, if any, is dropped
        if (second.valid()) second.wait();
        throw;
    }
    if (second.valid()) second.get();
    return found;
}

// A table's findings added to the report, its places moved by what the
// report already holds. Its claims move over, sorted.
void Join(TableFindings& findings, CheckReport& report, Joined& joined) {
    const std::size_t offset = report.problems.size();
    const CheckReport& part = findings.report;
    report.problems.insert(report.problems.end(), part.problems.begin(), part.problems.end());
    report.classes.insert(report.classes.end(), part.classes.begin(), part.classes.end());
    report.damaged_tables.insert(part.damaged_tables.begin(), part.damaged_tables.end());
    for (const auto& [table, indexes] : part.key_mismatches)
        report.key_mismatches[table].insert(indexes.begin(), indexes.end());
    report.tables += part.tables;
    report.rows += part.rows;
    report.long_values += part.long_values;
    report.indexes += part.indexes;
    report.index_entries += part.index_entries;
    report.stale_row_counts += part.stale_row_counts;
    for (CensusQuestion question : findings.census_questions) {
        question.position += offset;
        joined.census_questions.push_back(std::move(question));
    }
    if (findings.claims.empty()) return;
    joined.claims.push_back({findings.table, std::move(findings.claims)});
}

}  // namespace

CheckReport CheckDatabase(const PageFile& file, CheckSignals* signals) {
    std::promise<PageCensus> taken;
    std::future<PageCensus> census = taken.get_future();
    taken.set_value(PageCensus(file));
    return CheckDatabase(file, signals, std::move(census));
}

CheckReport CheckDatabaseOnTwoCores(const PageFile& file) {
    if (file.path().empty()) return CheckDatabase(file);
    return CheckDatabase(file, nullptr,
                         std::async(std::launch::async | std::launch::deferred,
                                    [path = file.path()] { return PageCensus(PageFile::Open(path)); }),
                         TableReaders::kTwo);
}

namespace {

CheckReport CheckWhole(const PageFile& file, CheckSignals* signals, std::future<PageCensus> census,
                       TableReaders readers, const TableWitnesses* witnesses) {
    CheckReport report;
    FileWide wide;
    if (witnesses != nullptr && *witnesses) wide.witnesses = witnesses;
    const UsageMap global = ReadGlobalFreeMap(file);
    wide.free_pages = global.pages;
    Settle(wide.free_pages);
    wide.item_tables = ItemTablePages(file);
    const std::vector<CatalogEntry> tables = ReadTables(file);
    {
        std::vector<TableDef> defs;
        for (const CatalogEntry& entry : tables) {
            try {
                defs.push_back(ReadTableDef(file, entry.table_page()));
            } catch (const Error& e) {
                if (e.number() != errc::kCorrupt) throw;
            }
        }
        wide.maps = SourceMaps(file, defs, SourceMaps::Kinds::kLongValues);
    }
    std::vector<CatalogEntry> toCheck;
    // A catalog that lost its pages reads as an empty database: its own row
    // missing is the sign, and its rows are then checked all the same.
    if (std::ranges::none_of(tables, [](const CatalogEntry& e) { return e.table_page() == kCatalogPage; })) {
        Add(report, DamageClass::kUnrepairable, "the catalog (MSysObjects) holds no row for itself");
        CatalogEntry catalog;
        catalog.name = "MSysObjects";
        catalog.id = static_cast<std::int32_t>(kCatalogPage);
        catalog.type = kObjectTypeTable;
        catalog.flags = kSystemObjectFlags;
        toCheck.push_back(catalog);
    }
    toCheck.insert(toCheck.end(), tables.begin(), tables.end());
    std::vector<std::optional<TableFindings>> found =
        CheckTables(file, toCheck, wide, signals, readers == TableReaders::kTwo && !file.path().empty());
    Joined joined;
    for (std::optional<TableFindings>& findings : found)
        if (findings) Join(*findings, report, joined);
    if (signals != nullptr && signals->stop) return report;
    const PageCensus pages = census.get();
    AnswerCensusQuestions(pages, joined.census_questions, report);
    CheckPagesListedTwice(joined.census_questions, report);
    CheckSharedLongValues(joined.claims, report);
    CheckUnlistedTables(file, pages, tables, report);
    CheckComplexColumns(file, tables, report);
    return report;
}

}  // namespace

CheckReport CheckDatabase(const PageFile& file, CheckSignals* signals, std::future<PageCensus> census,
                          TableReaders readers) {
    return CheckWhole(file, signals, std::move(census), readers, nullptr);
}

CheckReport CheckDatabase(const PageFile& file, std::future<PageCensus> census, TableReaders readers,
                          const TableWitnesses& witnesses) {
    return CheckWhole(file, nullptr, std::move(census), readers, &witnesses);
}

}  // namespace dorvane::jet
