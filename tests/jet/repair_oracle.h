#pragma once
// What the repair tests and the repair fuzz target hold a repaired copy to:
// each table's rows as text, and no row gained, lost or changed without a
// report.

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engines/jet/compact/compaction.h"
#include "engines/jet/compact/relocation.h"
#include "engines/jet/database.h"

namespace dorvane::jet::testing {

using RowText = std::vector<std::optional<std::string>>;

struct TableContent {
    std::vector<bool> long_value;  // per column: memo/OLE, which a repair may set to Null
    std::vector<bool> complex;     // per column: shown as its items, which a repair may lose
    std::multiset<RowText> rows;
    bool operator==(const TableContent&) const = default;
};
using Contents = std::map<std::string, TableContent>;

// Each table's rows as text, object ids (which follow table definitions) as
// the name and type of the object they name.
inline Contents Content(const PageFile& f) {
    std::map<std::string, std::string> objects;
    for (const CatalogEntry& e : ReadCatalog(f)) objects[std::to_string(e.id)] = e.name + "/" + std::to_string(e.type);
    Contents out;
    for (const CatalogEntry& e : ReadTables(f)) {
        const TableDef def = ReadTableDef(f, e.table_page());
        std::vector<std::size_t> ids;
        for (const compact::IdColumn& id : compact::kIdColumns)
            if (e.name == id.table && def.ColumnIndex(id.column)) ids.push_back(*def.ColumnIndex(id.column));
        TableContent& table = out[e.name];
        for (const Column& column : def.columns) {
            table.long_value.push_back(column.IsLongValue());
            table.complex.push_back(column.type == coltype::kComplex);
        }
        ForEachRowText(f, def, [&](RowText& row) {
            for (std::size_t i : ids)
                if (row[i]) row[i] = objects.contains(*row[i]) ? objects[*row[i]] : "(no object)";
            table.rows.insert(row);
        });
    }
    return out;
}

// How `kept` may differ from `original`: memo/OLE values set to Null (cut),
// and a complex column's items, some of which a repair may lose.
struct RowChange {
    bool allowed = true;
    bool cut = false;
    bool items = false;
};
inline RowChange ChangeOf(const RowText& original, const RowText& kept, const TableContent& table) {
    RowChange change;
    if (original.size() != kept.size()) return {false};
    for (std::size_t c = 0; c < kept.size() && change.allowed; ++c) {
        if (kept[c] == original[c]) continue;
        if (table.long_value[c] && !kept[c])
            change.cut = true;
        else if (table.complex[c])
            change.items = true;
        else
            change.allowed = false;
    }
    return change;
}

// The first way `after` departs from `before` that `report` does not account
// for: a table gone unnamed, a row the original lacks, more rows missing or
// more values set to Null than the report counts. "" when there is none.
inline std::string UnreportedChange(const Contents& before, const Contents& after, const RepairReport& report) {
    for (const auto& [name, table] : after)
        if (!before.contains(name)) return "the repaired copy has a table \"" + name + "\" the original lacks";
    for (const auto& entry : before) {
        const std::string& name = entry.first;
        const TableContent& table = entry.second;
        const auto kept = after.find(name);
        if (kept == after.end()) {
            if (std::ranges::find(report.lost_tables, name) != report.lost_tables.end()) continue;
            return "the repaired copy has no table \"" + name + "\"";
        }
        std::uint64_t missing = 0, cutReported = 0, doubted = 0, itemsReported = 0;
        for (const TableRepair& t : report.tables) {
            if (t.items_of.ends_with("of table \"" + name + "\""))
                itemsReported += t.rows_dropped + t.possibly_lost + t.items_orphaned + t.values_cut + t.rows_kept_deleted;
            if (t.name != name) continue;
            missing = t.rows_dropped + t.possibly_lost + t.rows_kept_deleted + t.items_orphaned;
            cutReported = t.values_cut;
            doubted = t.rows_disputed;
        }
        std::multiset<RowText> remaining = table.rows;
        std::uint64_t cut = 0, unmatched = 0, itemsChanged = 0;
        for (const RowText& row : kept->second.rows) {
            if (const auto same = remaining.find(row); same != remaining.end()) {
                remaining.erase(same);
                continue;
            }
            // Each row changed stands for at least one value cut or item
            // lost, as reported.
            const auto changed = std::ranges::find_if(remaining, [&](const RowText& original) {
                const RowChange change = ChangeOf(original, row, table);
                return change.allowed && (!change.items || itemsChanged < itemsReported);
            });
            if (changed != remaining.end()) {
                const RowChange change = ChangeOf(*changed, row, table);
                cut += change.cut ? 1 : 0;
                itemsChanged += change.items ? 1 : 0;
                remaining.erase(changed);
            } else if (++unmatched > doubted) {
                // A row kept in doubt (an index disagreed with it) may be a changed one.
                return "table \"" + name + "\" holds a row the original lacks";
            }
        }
        // Each row kept in doubt stands for one of the original's.
        const std::uint64_t gone = remaining.size() > unmatched ? remaining.size() - unmatched : 0;
        if (gone > missing)
            return "table \"" + name + "\" lost " + std::to_string(gone) + " rows, reported " + std::to_string(missing);
        if (cut > cutReported)
            return "table \"" + name + "\" has " + std::to_string(cut) + " rows with values set to Null, reported " +
                   std::to_string(cutReported);
    }
    return {};
}

}  // namespace dorvane::jet::testing
