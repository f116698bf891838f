#include "engines/jet/checker.h"

#include <algorithm>
#include <set>

#include "core/error.h"
#include "engines/jet/catalog.h"
#include "engines/jet/index_walk.h"
#include "engines/jet/page_file.h"
#include "engines/jet/row.h"
#include "engines/jet/table_def.h"
#include "engines/jet/table_scan.h"
#include "engines/jet/usage_map.h"
#include "engines/jet/value.h"

namespace dorvane::jet {

namespace {

constexpr std::uint8_t kIndexIgnoresNulls = 0x02;

void CheckIndex(const PageFile& file, const TableDef& def, std::size_t number, const std::set<RowPointer>& rows,
                const std::string& table, CheckReport& report) {
    const PhysicalIndex& index = def.physical_indexes[number];
    const std::string name = "table '" + table + "' index " + std::to_string(number);
    const IndexWalk walk = WalkIndex(file, index.root_page);
    ++report.indexes;
    report.index_entries += walk.entries.size();
    Bytes previous;
    for (std::size_t i = 0; i < walk.entries.size(); ++i) {
        const IndexEntry& entry = walk.entries[i];
        if (rows.count(entry.row) == 0) {
            report.problems.push_back(name + ": entry " + std::to_string(i) + " names " + entry.row.ToString() +
                                      ", which is not a row of the table");
        }
        Bytes current = entry.SortBytes();
        if (i > 0 && !(previous < current)) {
            report.problems.push_back(name + ": entry " + std::to_string(i) + " is out of order");
        }
        previous = std::move(current);
    }
    const bool ignoresNulls = (index.flags & kIndexIgnoresNulls) != 0;
    if (walk.entries.size() > rows.size() || (!ignoresNulls && walk.entries.size() != rows.size())) {
        report.problems.push_back(name + " holds " + std::to_string(walk.entries.size()) + " entries for " +
                                  std::to_string(rows.size()) + " rows");
    }
    UsageMap map = ReadUsageMap(file, RowPointer::FromU32(index.map_pointer));
    std::vector<std::uint32_t> tree = walk.pages;
    std::sort(tree.begin(), tree.end());
    if (map.pages != tree) {
        report.problems.push_back(name + ": its usage map does not list exactly its " + std::to_string(tree.size()) +
                                  " tree pages");
    }
}

void CheckTable(const PageFile& file, const CatalogEntry& entry, CheckReport& report) {
    const TableDef def = ReadTableDef(file, entry.table_page());
    const UsageMap owned = ReadUsageMap(file, RowPointer::FromU32(def.owned_map));
    const std::vector<std::uint32_t> dataPages = TableDataPages(file, def);
    if (dataPages.size() != owned.pages.size()) {
        report.problems.push_back("table '" + entry.name + "': its usage map lists " +
                                  std::to_string(owned.pages.size() - dataPages.size()) +
                                  " pages that are not its data pages");
    }
    std::set<RowPointer> rows;
    ScanRows(file, def, [&](RowPointer id, ByteSpan row) {
        rows.insert(id);
        const CrackedRow cracked = CrackRow(file.format(), def, row);
        for (std::size_t i = 0; i < def.columns.size(); ++i) {
            const auto value = FieldToText(file, def.columns[i], row, cracked.fields[i]);
            if (value && def.columns[i].IsLongValue()) ++report.long_values;
        }
        return true;
    });
    ++report.tables;
    report.rows += rows.size();
    if (def.num_rows != rows.size()) ++report.stale_row_counts;
    for (std::size_t i = 0; i < def.physical_indexes.size(); ++i) {
        try {
            CheckIndex(file, def, i, rows, entry.name, report);
        } catch (const Error& error) {
            report.problems.push_back("table '" + entry.name + "' index " + std::to_string(i) + ": " +
                                      error.description());
        }
    }
}

}  // namespace

CheckReport CheckDatabase(const PageFile& file) {
    CheckReport report;
    for (const CatalogEntry& entry : ReadTables(file)) {
        try {
            CheckTable(file, entry, report);
        } catch (const Error& error) {
            report.problems.push_back("table '" + entry.name + "': " + error.description());
        }
    }
    return report;
}

}  // namespace dorvane::jet
