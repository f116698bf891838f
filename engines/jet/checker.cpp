#include "engines/jet/checker.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "core/error.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/usage_map.h"

namespace dorvane::jet {

namespace {

void Add(CheckReport& report, DamageClass damage, std::string problem) {
    report.problems.push_back(std::move(problem));
    report.classes.push_back(damage);
}

// Pages in use must not be marked free in the database-wide map.
void CheckNotFree(const std::set<std::uint32_t>& freePages, const std::vector<std::uint32_t>& pages,
                  const std::string& what, CheckReport& report) {
    for (std::uint32_t page : pages) {
        if (freePages.count(page) != 0) {
            Add(report, DamageClass::kDerived, what + ": page " + std::to_string(page) + " is in use but marked free");
            return;
        }
    }
}

// A table's rows as one bit per slot of each page from its first to its
// last: an index entry's row is found with one look, not a search.
class RowLookup {
public:
    explicit RowLookup(const std::vector<RowPointer>& rows) : size_(rows.size()) {
        if (rows.empty()) return;
        const auto [low, high] = std::minmax_element(rows.begin(), rows.end());
        first_ = low->page;
        bits_.assign((static_cast<std::size_t>(high->page - first_) + 1) * kSlotsPerPage / 64, 0);
        for (const RowPointer& row : rows) {
            const std::size_t bit = Bit(row);
            bits_[bit / 64] |= std::uint64_t{1} << (bit % 64);
        }
    }
    std::size_t size() const { return size_; }
    bool Contains(RowPointer row) const {
        if (row.page < first_) return false;
        const std::size_t bit = Bit(row);
        return bit / 64 < bits_.size() && (bits_[bit / 64] >> (bit % 64) & 1) != 0;
    }

private:
    static constexpr std::size_t kSlotsPerPage = 256;  // a row pointer's slot is one byte
    std::size_t Bit(RowPointer row) const { return static_cast<std::size_t>(row.page - first_) * kSlotsPerPage + row.row; }

    std::size_t size_;
    std::uint32_t first_ = 0;
    std::vector<std::uint64_t> bits_;
};

void CheckIndex(const PageFile& file, const TableDef& def, std::size_t number, const RowLookup& rows,
                const std::string& table, const std::set<std::uint32_t>& freePages, CheckReport& report) {
    const PhysicalIndex& index = def.physical_indexes[number];
    const std::string name = "table '" + table + "' index " + std::to_string(number);
    // Entries are checked as the walk hands them over; what they show is added
    // only once the whole tree has been read, so a damaged page reports alone.
    CheckReport found;
    std::size_t count = 0;
    Bytes previous;
    Bytes current;
    const IndexWalk walk = VisitIndex(file, index.root_page, [&](ByteSpan key, RowPointer row) {
        if (!rows.Contains(row)) {
            Add(found, DamageClass::kDerived, name + ": entry " + std::to_string(count) + " names " + row.ToString() +
                                     ", which is not a row of the table");
        }
        current.assign(key.begin(), key.end());
        AppendIndexRowRef(current, row);
        if (count > 0 && !(previous < current)) {
            Add(found, DamageClass::kDerived, name + ": entry " + std::to_string(count) + " is out of order");
        }
        std::swap(previous, current);
        ++count;
    });
    ++report.indexes;
    report.index_entries += count;
    for (std::size_t i = 0; i < found.problems.size(); ++i) Add(report, found.classes[i], std::move(found.problems[i]));
    const bool ignoresNulls = (index.flags & kIndexIgnoresNulls) != 0;
    if (count > rows.size() || (!ignoresNulls && count != rows.size())) {
        Add(report, DamageClass::kDerived, name + " holds " + std::to_string(count) + " entries for " +
                                  std::to_string(rows.size()) + " rows");
    }
    UsageMap map = ReadUsageMap(file, RowPointer::FromU32(index.map_pointer));
    std::vector<std::uint32_t> tree = walk.pages;
    std::sort(tree.begin(), tree.end());
    if (map.pages != tree) {
        Add(report, DamageClass::kDerived, name + ": its usage map does not list exactly its " + std::to_string(tree.size()) +
                                  " tree pages");
    }
    CheckNotFree(freePages, tree, name, report);
}

struct RowScan {
    std::vector<RowPointer> rows;
    std::uint32_t largest_autonumber = 0;
};

// Every row decodes, its fixed values are whole, and each memo/OLE value reads
// and lies on its column's pages. Throws for a row that cannot be read.
RowScan CheckRows(const PageFile& file, const TableDef& def, const std::string& name, RowCursor& cursor,
                  std::map<std::uint16_t, std::set<std::uint32_t>>& longValuePages, CheckReport& report) {
    RowScan scan;
    RowFields fields;
    LongValueReader longValues(file);
    for (TableRow row; cursor.Next(row);) {
        scan.rows.push_back(row.header);
        LocateFields(file.format(), def, row.body, fields);
        scan.largest_autonumber = std::max(scan.largest_autonumber, LargestAutoNumber(def, row.body, fields));
        for (std::size_t i = 0; i < def.columns.size(); ++i) {
            const Column& column = def.columns[i];
            const FieldSpan& span = fields.spans[i];
            if (column.IsBoolean() || !span.present) continue;
            if (span.length < FixedValueSize(column.type))
                ThrowCorrupt("column '" + column.name + "' holds fewer bytes than its type needs");
            if (!column.IsLongValue()) continue;
            ++report.long_values;
            const auto& columnPages = longValuePages[column.number];
            // Reading the chain proves the value whole, as reading its bytes would.
            for (const RowPointer& at : longValues.Rows(FieldBytes(row.body, span))) {
                if (columnPages.count(at.page) == 0) {
                    Add(report, DamageClass::kDerived, name + " column '" + column.name + "': a value lies on page " +
                                                           std::to_string(at.page) +
                                                           ", which its column's map does not list");
                }
            }
        }
    }
    return scan;
}

void CheckTable(const PageFile& file, const CatalogEntry& entry, const TableDef& def,
                const std::set<std::uint32_t>& freePages, CheckReport& report) {
    const std::string name = "table '" + entry.name + "'";
    CheckNotFree(freePages, def.pages, name + " definition", report);
    // Each memo/OLE column's pages, from its own usage map.
    std::map<std::uint16_t, std::set<std::uint32_t>> longValuePages;
    UsageMap owned;
    try {
        for (const LongValueMap& lv : def.long_value_maps) {
            const UsageMap map = ReadUsageMap(file, RowPointer::FromU32(lv.owned_map));
            longValuePages[lv.column_number].insert(map.pages.begin(), map.pages.end());
            CheckNotFree(freePages, map.pages, name + " memo/OLE pages", report);
        }
        owned = ReadUsageMap(file, RowPointer::FromU32(def.owned_map));
    } catch (const Error& error) {
        // Maps are derived from the pages; without them the rows cannot be
        // found here (a repair finds them by their owner).
        Add(report, DamageClass::kDerived, name + ": its usage maps cannot be read: " + error.description());
        return;
    }
    // The cursor sorts out the listed pages as it reads them; what it found is
    // told where it would have been had the pages been sorted out first.
    const std::size_t toldBefore = report.problems.size();
    const auto tellForeignPages = [&](std::size_t dataPages) {
        if (dataPages == owned.pages.size()) return;
        const auto at = static_cast<std::ptrdiff_t>(toldBefore);
        report.problems.insert(report.problems.begin() + at,
                               "table '" + entry.name + "': its usage map lists " +
                                   std::to_string(owned.pages.size() - dataPages) + " pages that are not its data pages");
        report.classes.insert(report.classes.begin() + at, DamageClass::kSuspect);
    };
    RowCursor cursor(file, def);
    RowScan scan;
    try {
        scan = CheckRows(file, def, name, cursor, longValuePages, report);
    } catch (const Error&) {
        // The row that cannot be read is told after what the map lists.
        tellForeignPages(TableDataPages(file, def).size());
        throw;
    }
    const std::vector<std::uint32_t>& dataPages = cursor.data_pages();
    tellForeignPages(dataPages.size());
    std::vector<RowPointer>& rows = scan.rows;
    const std::uint32_t largestAutoNumber = scan.largest_autonumber;
    CheckNotFree(freePages, dataPages, name + " data", report);
    if (largestAutoNumber > def.autonumber) {
        Add(report, DamageClass::kDerived, name + ": its AutoNumber counter is " + std::to_string(def.autonumber) +
                                               " but a row holds " + std::to_string(largestAutoNumber));
    }
    if (!std::is_sorted(rows.begin(), rows.end())) std::sort(rows.begin(), rows.end());  // a cursor's come in order
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    ++report.tables;
    report.rows += rows.size();
    // Access keeps a user table's count exact and lets a system table's lag
    // below its rows, never above. A count above the rows found means rows
    // that can no longer be reached, never something to correct silently.
    if (def.num_rows > rows.size()) {
        Add(report, DamageClass::kSuspect, name + ": its cached row count is " + std::to_string(def.num_rows) + " but " +
                                  std::to_string(rows.size()) + " rows were found; up to " +
                                  std::to_string(def.num_rows - rows.size()) + " rows may be lost");
    } else if (def.num_rows != rows.size()) {
        ++report.stale_row_counts;
    }
    const RowLookup lookup(rows);
    for (std::size_t i = 0; i < def.physical_indexes.size(); ++i) {
        try {
            CheckIndex(file, def, i, lookup, entry.name, freePages, report);
        } catch (const Error& error) {
            Add(report, DamageClass::kDerived, "table '" + entry.name + "' index " + std::to_string(i) + ": " +
                                      error.description());
        }
    }
}

}  // namespace

const char* DamageClassName(DamageClass damage) {
    switch (damage) {
        case DamageClass::kDerived: return "derived";
        case DamageClass::kPrimary: return "primary";
        case DamageClass::kSuspect: return "suspect";
        case DamageClass::kUnrepairable: return "unrepairable";
    }
    return "unknown";
}

CheckReport CheckDatabase(const PageFile& file, CheckSignals* signals) {
    CheckReport report;
    const UsageMap global = ReadGlobalFreeMap(file);
    const std::set<std::uint32_t> freePages(global.pages.begin(), global.pages.end());
    const auto checkTable = [&](const CatalogEntry& entry) {
        std::optional<TableDef> def;
        try {
            def = ReadTableDef(file, entry.table_page());
        } catch (const Error& error) {
            Add(report, DamageClass::kUnrepairable, "table '" + entry.name + "': " + error.description());
            return;
        }
        const std::size_t before = report.problems.size();
        try {
            CheckTable(file, entry, *def, freePages, report);
        } catch (const Error& error) {
            Add(report, DamageClass::kPrimary, "table '" + entry.name + "': " + error.description());
        }
        // Forms, modules, queries and permissions live in the system tables'
        // rows: nothing of them may be dropped or guessed.
        for (std::size_t i = before; i < report.problems.size() && entry.IsSystem(); ++i)
            if (report.classes[i] != DamageClass::kDerived) report.classes[i] = DamageClass::kUnrepairable;
    };
    const std::vector<CatalogEntry> tables = ReadTables(file);
    // A catalog that lost its pages reads as an empty database: its own row
    // missing is the sign, and its rows are then checked all the same.
    if (std::ranges::none_of(tables, [](const CatalogEntry& e) { return e.table_page() == kCatalogPage; })) {
        Add(report, DamageClass::kUnrepairable, "the catalog (MSysObjects) holds no row for itself");
        CatalogEntry catalog;
        catalog.name = "MSysObjects";
        catalog.id = static_cast<std::int32_t>(kCatalogPage);
        catalog.type = kObjectTypeTable;
        catalog.flags = kSystemObjectFlags;
        checkTable(catalog);
    }
    for (const CatalogEntry& entry : tables) {
        if (signals != nullptr && signals->stop) break;
        checkTable(entry);
        if (signals != nullptr && !report.ok()) signals->problem_found = true;
    }
    return report;
}

}  // namespace dorvane::jet
