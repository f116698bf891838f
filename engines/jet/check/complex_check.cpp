#include "engines/jet/check/complex_check.h"

#include <algorithm>
#include <set>

#include "core/error.h"
#include "engines/jet/format/complex_columns.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/text.h"

namespace dorvane::jet {

namespace {

// What ties items to their rows: a repair could only guess at it.
void Problem(CheckReport& report, const std::string& table, std::string text) {
    report.complex_faults.push_back(text);
    report.problems.push_back(std::move(text));
    report.classes.push_back(DamageClass::kUnrepairable);
    report.damaged_tables.insert(table);
}

// Items without their row: a repair leaves them out of its copy and says so.
void ItemsWithoutRow(CheckReport& report, const std::string& flat_table, std::string text) {
    report.problems.push_back(std::move(text));
    report.classes.push_back(DamageClass::kPrimary);
    report.damaged_tables.insert(flat_table);
}

// The keys a column holds in the live rows of its table.
std::set<std::uint32_t> KeysOf(const PageFile& file, const TableDef& def, const Column& column) {
    std::set<std::uint32_t> keys;
    const std::size_t c = *def.ColumnIndex(column.name);
    RowCursor cursor(file, def);
    RowFields fields;
    for (TableRow row; cursor.Next(row);) {
        LocateFields(file.format(), def, row.body, fields);
        if (fields.spans[c].present && fields.spans[c].length == 4) keys.insert(Le32(row.body, fields.spans[c].offset));
    }
    return keys;
}

// Items whose "_<column>" key no row of the table holds.
std::size_t Orphans(const PageFile& file, const TableDef& flat, std::size_t key, const std::set<std::uint32_t>& keys) {
    std::size_t orphans = 0;
    RowCursor cursor(file, flat);
    RowFields fields;
    for (TableRow row; cursor.Next(row);) {
        LocateFields(file.format(), flat, row.body, fields);
        const FieldSpan& span = fields.spans[key];
        if (!span.present || span.length != 4 || !keys.contains(Le32(row.body, span.offset))) ++orphans;
    }
    return orphans;
}

}  // namespace

std::set<std::uint32_t> ItemTablePages(const PageFile& file) {
    std::set<std::uint32_t> pages;
    if (!file.ace()) return pages;
    try {
        for (const ComplexColumnRow& row : ReadComplexColumns(file).value_or(std::vector<ComplexColumnRow>{}))
            pages.insert(row.flat_table);
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
    }
    return pages;
}

void CheckComplexColumns(const PageFile& file, const std::vector<CatalogEntry>& tables, CheckReport& report) {
    if (!file.ace()) return;
    const auto named = [&](std::uint32_t id) {
        return std::find_if(tables.begin(), tables.end(), [id](const CatalogEntry& e) { return e.table_page() == id; });
    };
    std::vector<ComplexColumnRow> rows;
    try {
        rows = ReadComplexColumns(file).value_or(std::vector<ComplexColumnRow>{});
        for (const ComplexColumnRow& row : rows) {
            for (const auto& [id, what] :
                 {std::pair{row.conceptual_table, "table"}, std::pair{row.flat_table, "flat table"},
                  std::pair{row.type_table, "template table"}}) {
                if (named(id) == tables.end())
                    Problem(report, "MSysComplexColumns",
                            "MSysComplexColumns: column '" + row.column + "' names page " + std::to_string(id) +
                                " as its " + what + ", where no table is");
            }
        }
        for (const CatalogEntry& entry : tables) {
            const TableDef def = ReadTableDef(file, entry.table_page());
            for (const Column& column : def.columns) {
                if (column.type != coltype::kComplex) continue;
                const std::string name = "table '" + entry.name + "': complex column '" + column.name + "'";
                const auto row = std::find_if(rows.begin(), rows.end(), [&](const ComplexColumnRow& r) {
                    return r.complex_id == column.complex_id && r.conceptual_table == def.page;
                });
                if (row == rows.end()) {
                    Problem(report, entry.name, name + " has no row in MSysComplexColumns");
                    continue;
                }
                const auto flatEntry = named(row->flat_table);
                if (flatEntry == tables.end()) continue;  // told above
                const TableDef flat = ReadTableDef(file, row->flat_table);
                const auto key = flat.ColumnIndex("_" + column.name);
                if (!key || flat.columns[*key].type != coltype::kLong) {
                    Problem(report, flatEntry->name,
                            name + ": its flat table '" + flatEntry->name + "' has no key column");
                    continue;
                }
                std::set<std::uint32_t> keys;
                try {
                    keys = KeysOf(file, def, column);
                } catch (const Error& e) {
                    if (e.number() != errc::kCorrupt) throw;
                    ItemsWithoutRow(report, flatEntry->name,
                                    name + ": the rows its items in '" + flatEntry->name +
                                        "' belong to cannot all be read");
                    continue;
                }
                std::size_t orphans = 0;
                try {
                    orphans = Orphans(file, flat, *key, keys);
                } catch (const Error& e) {
                    if (e.number() != errc::kCorrupt) throw;
                    ItemsWithoutRow(report, flatEntry->name,
                                    name + ": its items in '" + flatEntry->name + "' cannot all be read");
                    continue;
                }
                if (report.damaged_tables.contains(flatEntry->name))
                    ItemsWithoutRow(report, flatEntry->name,
                                    name + ": its items in '" + flatEntry->name + "' are damaged");
                if (orphans != 0)
                    ItemsWithoutRow(report, flatEntry->name,
                                    name + ": " + std::to_string(orphans) + " of its items in '" +
                                        flatEntry->name + "' belong to no row");
            }
        }
    } catch (const Error& e) {
        // A table that cannot be read is told by its own check.
        if (e.number() != errc::kCorrupt) throw;
    }
}

}  // namespace dorvane::jet
