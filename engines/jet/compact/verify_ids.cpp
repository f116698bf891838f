#include "engines/jet/compact/verify_ids.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "core/error.h"
#include "engines/jet/compact/relocation.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/usage_map.h"

namespace dorvane::jet::compact {

namespace {

using ObjectName = std::pair<std::string, std::int16_t>;  // name and type

[[noreturn]] void Mismatch(const std::string& detail) {
    throw Error(errc::kVerifyFailed, "compacted copy does not match the source: " + detail);
}

class Objects {
public:
    explicit Objects(const PageFile& file, const std::vector<CatalogEntry>& restored = {}) : tables_(ReadTables(file)) {
        for (const CatalogEntry& e : ReadCatalog(file))
            by_id_.emplace(static_cast<std::uint32_t>(e.id), ObjectName{e.name, e.type});
        for (const CatalogEntry& e : restored) {
            by_id_[static_cast<std::uint32_t>(e.id)] = ObjectName{e.name, e.type};
            restored_.insert(static_cast<std::uint32_t>(e.id));
            if (!FindTable(tables_, e.name)) tables_.push_back(e);
        }
    }
    // Whether the catalog row of object `id` is one the source reads as
    // deleted, which its cursor passes over.
    bool Restored(std::uint32_t id) const { return restored_.contains(id); }
    std::optional<ObjectName> Find(std::uint32_t id) const {
        const auto found = by_id_.find(id);
        return found == by_id_.end() ? std::nullopt : std::optional(found->second);
    }
    const std::vector<CatalogEntry>& tables() const { return tables_; }

private:
    std::vector<CatalogEntry> tables_;
    std::map<std::uint32_t, ObjectName> by_id_;
    std::set<std::uint32_t> restored_;
};

std::optional<std::uint32_t> IdAt(const PageFile& file, const TableDef& def, std::size_t column, ByteSpan body) {
    const FieldSpan span = LocateFields(file.format(), def, body).spans[column];
    if (!span.present || span.length != 4) return std::nullopt;
    return Le32(body, span.offset);
}

// Whether the copy's catalog row with Id `id` is one the repair restored
// where the source's cursor, at `rowA`, reads another.
bool IsRestoredRow(const Objects& before, const Objects& after, std::optional<std::uint32_t> id, const TableRow& rowA,
                   std::size_t idColumnA, const PageFile& source, const TableDef& defA) {
    if (!id) return false;
    const std::optional<ObjectName> named = after.Find(*id);
    const std::optional<std::uint32_t> idA = IdAt(source, defA, idColumnA, rowA.body);
    if (!named || (idA && before.Find(*idA) == named)) return false;
    for (const CatalogEntry& e : before.tables())
        if (before.Restored(static_cast<std::uint32_t>(e.id)) && ObjectName{e.name, e.type} == *named) return true;
    return false;
}

void CompareIdColumn(const PageFile& source, const Objects& before, const PageFile& copy, const Objects& after,
                     const std::string& table, const char* column) {
    const std::optional<CatalogEntry> a = FindTable(before.tables(), table);
    const std::optional<CatalogEntry> b = FindTable(after.tables(), table);
    if (!a || !b) return;
    const TableDef defA = ReadTableDef(source, a->table_page());
    const TableDef defB = ReadTableDef(copy, b->table_page());
    const std::optional<std::size_t> colA = defA.ColumnIndex(column);
    const std::optional<std::size_t> colB = defB.ColumnIndex(column);
    if (!colA || !colB || defA.columns[*colA].type != coltype::kLong) return;
    RowCursor rowsA(source, defA);
    RowCursor rowsB(copy, defB);
    const bool catalog = a->table_page() == kCatalogPage;
    const std::optional<std::size_t> catalogId = catalog ? defB.ColumnIndex("Id") : std::nullopt;
    const std::optional<std::size_t> catalogIdA = catalog ? defA.ColumnIndex("Id") : std::nullopt;
    TableRow rowA;
    TableRow rowB;
    for (std::uint64_t n = 1; rowsA.Next(rowA) && rowsB.Next(rowB); ++n) {
        // A catalog row restored from a deleted slot is in the copy only.
        while (catalogId &&
               IsRestoredRow(before, after, IdAt(copy, defB, *catalogId, rowB.body), rowA, *catalogIdA, source, defA) &&
               rowsB.Next(rowB)) {
        }
        const std::optional<std::uint32_t> idA = IdAt(source, defA, *colA, rowA.body);
        const std::optional<std::uint32_t> idB = IdAt(copy, defB, *colB, rowB.body);
        const std::optional<ObjectName> named = idA ? before.Find(*idA) : std::nullopt;
        bool same = !idA && !idB;
        if (named) {
            same = idB && after.Find(*idB) == named;
        } else if (idA) {  // named nothing, and must still name nothing
            same = idB && !after.Find(*idB) && (*idB | kDanglingIdMark) == (*idA | kDanglingIdMark);
        }
        if (!same) Mismatch(table + ", row " + std::to_string(n) + ": " + column + " no longer names the same object");
    }
}

// Data pages of another owner are not read as the table's (TableDataPages), so
// the row comparison already misses their rows; index pages are walked
// whatever their owner field says.
void CompareIndexOwners(const PageFile& copy, const TableDef& def, const std::string& table) {
    for (const PhysicalIndex& index : def.physical_indexes)
        for (std::uint32_t page : ReadUsageMap(copy, RowPointer::FromU32(index.map_pointer)).pages)
            if (Le32(copy.ReadPage(page), copy.format().page_owner) != def.page)
                Mismatch("table \"" + table + "\": page " + std::to_string(page) + " names another owner");
}

void CompareForeignKeys(const TableDef& defA, const Objects& before, const TableDef& defB, const Objects& after,
                        const std::string& table) {
    for (std::size_t k = 0; k < defA.logical_indexes.size() && k < defB.logical_indexes.size(); ++k) {
        if (defA.logical_indexes[k].type != kIndexForeignKey) continue;
        if (before.Find(defA.logical_indexes[k].related_table_page) !=
            after.Find(defB.logical_indexes[k].related_table_page))
            Mismatch("table \"" + table + "\": a foreign key names another table");
    }
}

}  // namespace

void VerifyTableIds(const PageFile& source, const PageFile& copy, const std::vector<CatalogEntry>& restored) {
    const Objects before(source, restored);
    const Objects after(copy);
    for (const IdColumn& id : kIdColumns) CompareIdColumn(source, before, copy, after, id.table, id.column);
    for (const CatalogEntry& table : before.tables()) {
        const std::optional<CatalogEntry> kept = FindTable(after.tables(), table.name);
        if (!kept) Mismatch("table \"" + table.name + "\" is missing");
        const std::string& name = kept->name;
        const TableDef defA = ReadTableDef(source, table.table_page());
        const TableDef defB = ReadTableDef(copy, kept->table_page());
        CompareIndexOwners(copy, defB, name);
        CompareForeignKeys(defA, before, defB, after, name);
    }
}

}  // namespace dorvane::jet::compact
