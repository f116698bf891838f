#pragma once
// What the repair tests and the repair fuzz target hold a repaired copy to:
// each table's rows as text, and no row gained or lost without a report.

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "engines/jet/compact/compaction.h"
#include "engines/jet/compact/relocation.h"
#include "engines/jet/database.h"

namespace dorvane::jet::testing {

using Rows = std::multiset<std::string>;

// Each table's rows as text: `full` with every column, otherwise without the
// memo/OLE columns a repair may set to Null. Object ids, which follow table
// definitions, as the name and type of the object they name.
inline std::map<std::string, Rows> Content(const PageFile& f, bool full) {
    std::map<std::string, std::string> objects;
    for (const CatalogEntry& e : ReadCatalog(f)) objects[std::to_string(e.id)] = e.name + "/" + std::to_string(e.type);
    std::map<std::string, Rows> out;
    for (const CatalogEntry& e : ReadTables(f)) {
        const TableDef def = ReadTableDef(f, e.table_page());
        std::vector<std::size_t> ids;
        for (const compact::IdColumn& id : compact::kIdColumns)
            if (e.name == id.table && def.ColumnIndex(id.column)) ids.push_back(*def.ColumnIndex(id.column));
        Rows& rows = out[e.name];
        ForEachRowText(f, def, [&](std::vector<std::optional<std::string>>& row) {
            for (std::size_t i : ids)
                if (row[i]) row[i] = objects.contains(*row[i]) ? objects[*row[i]] : "(no object)";
            std::string text;
            for (std::size_t i = 0; i < row.size(); ++i)
                if (full || !def.columns[i].IsLongValue()) text += (row[i] ? "=" + *row[i] : "~") + "|";
            rows.insert(text);
        });
    }
    return out;
}

// The first way `after` departs from `before` that `report` does not account
// for: another set of tables, a row the original lacks, or more rows missing
// than the report counts lost. "" when there is none.
inline std::string UnreportedChange(const std::map<std::string, Rows>& before, const std::map<std::string, Rows>& after,
                                    const RepairReport& report) {
    if (after.size() != before.size()) return "the repaired copy has other tables";
    for (const auto& [name, rows] : before) {
        const auto kept = after.find(name);
        if (kept == after.end()) return "the repaired copy has no table \"" + name + "\"";
        if (!std::includes(rows.begin(), rows.end(), kept->second.begin(), kept->second.end()))
            return "table \"" + name + "\" holds a row the original lacks";
        std::uint64_t reported = 0;
        for (const TableRepair& t : report.tables)
            if (t.name == name) reported = t.rows_dropped + t.possibly_lost;
        if (rows.size() - kept->second.size() > reported)
            return "table \"" + name + "\" lost " + std::to_string(rows.size() - kept->second.size()) + " rows, reported " +
                   std::to_string(reported);
    }
    return {};
}

}  // namespace dorvane::jet::testing
