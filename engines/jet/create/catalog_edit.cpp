#include "engines/jet/create/catalog_edit.h"

#include "core/error.h"
#include "engines/jet/create/field_values.h"
#include "engines/jet/create/system_tables.h"
#include "engines/jet/create/table_writer.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"

namespace dorvane::jet::create {

namespace {

void Rewrite(const PageFile& source, const TableDef& def, const char* idColumn,
             const std::vector<std::vector<StoredValue>>& add, const std::set<std::int32_t>& remove,
             DatabaseBuild& build, write::MapRecordPages& records) {
    TableWriter writer(source.format(), def, build.allocator(), build);
    std::set<RowPointer> removed;
    RowCursor cursor(source, def);
    for (TableRow row; cursor.Next(row);) {
        const auto id = LongField(source.format(), def, row.body, idColumn);
        if (id && remove.contains(*id)) {
            removed.insert(row.header);
        } else {
            writer.AddRow(row.body, row.header);
        }
    }
    for (std::size_t i = 0; i < def.physical_indexes.size(); ++i) {
        std::vector<IndexEntry> entries = WalkIndex(source, def.physical_indexes[i].root_page).entries;
        std::erase_if(entries, [&](const IndexEntry& e) { return removed.contains(e.row); });
        writer.CarryEntries(i, entries);
    }
    for (const auto& values : add) writer.AddRow(writer.PrepareRow(values));
    writer.Finish(records);
}

}  // namespace

CatalogTables ReadCatalogTables(const PageFile& source) {
    const auto aces = FindTable(ReadTables(source), "MSysACEs");
    if (!aces) ThrowCorrupt("the database has no MSysACEs table");
    return {ReadTableDef(source, kCatalogPage), ReadTableDef(source, aces->table_page())};
}

std::set<std::uint32_t> CatalogPages(const PageFile& source, const CatalogTables& tables) {
    std::set<std::uint32_t> pages;
    for (const TableDef* def : {&tables.objects, &tables.aces}) {
        for (std::uint32_t page : TableDataPages(source, *def)) pages.insert(page);
        for (const PhysicalIndex& index : def->physical_indexes) {
            for (std::uint32_t page : WalkIndex(source, index.root_page).pages) pages.insert(page);
        }
    }
    return pages;
}

std::size_t CatalogMapRecords(const CatalogTables& tables) {
    // The tables, their indexes; their long-value maps stay as they are.
    return 4 + tables.objects.physical_indexes.size() + tables.aces.physical_indexes.size();
}

void RewriteCatalog(const PageFile& source, const CatalogTables& tables, const CatalogChange& change,
                    DatabaseBuild& build, write::MapRecordPages& records) {
    Rewrite(source, tables.objects, "Id", change.add_objects, change.remove_ids, build, records);
    Rewrite(source, tables.aces, "ObjectId", change.add_aces, change.remove_ids, build, records);
}

std::optional<Bytes> FieldOf(const Format& format, const TableDef& def, ByteSpan row, std::string_view column) {
    const auto at = def.ColumnIndex(column);
    if (!at) ThrowCorrupt("the table has no column \"" + std::string(column) + "\"");
    const FieldSpan span = LocateFields(format, def, row).spans[*at];
    if (def.columns[*at].IsBoolean()) return Bytes{static_cast<std::uint8_t>(span.bool_value ? 1 : 0)};
    if (!span.present) return std::nullopt;
    const ByteSpan bytes = FieldBytes(row, span);
    return Bytes(bytes.begin(), bytes.end());
}

std::optional<std::int32_t> LongField(const Format& format, const TableDef& def, ByteSpan row,
                                      std::string_view column) {
    const auto bytes = FieldOf(format, def, row, column);
    if (!bytes || bytes->size() != 4) return std::nullopt;
    return static_cast<std::int32_t>(Le32(*bytes, 0));
}

std::vector<std::vector<StoredValue>> NewTableAces(const PageFile& source, const TableDef& aces, std::int32_t id) {
    std::vector<std::vector<StoredValue>> rows;
    RowCursor cursor(source, aces);
    for (TableRow row; cursor.Next(row);) {
        const Format& f = source.format();
        const auto sid = FieldOf(f, aces, row.body, "SID");
        if (LongField(f, aces, row.body, "ObjectId") != kTablesContainer ||
            LongField(f, aces, row.body, "ACM") != kTableRights ||
            FieldOf(f, aces, row.body, "FInheritable") != Bytes{1} || !sid) {
            continue;
        }
        rows.push_back(RowOf(aces, {{"ObjectId", LongValue(id)},
                                    {"SID", BinaryValue(*sid)},
                                    {"ACM", LongValue(kTableRights)},
                                    {"FInheritable", BooleanValue(false)}}));
    }
    return rows;
}

Bytes DatabaseOwner(const PageFile& source, const TableDef& objects) {
    RowCursor cursor(source, objects);
    for (TableRow row; cursor.Next(row);) {
        if (LongField(source.format(), objects, row.body, "Id") == kDatabaseObject) {
            if (auto owner = FieldOf(source.format(), objects, row.body, "Owner")) return *owner;
        }
    }
    ThrowCorrupt("the catalog has no database object (MSysDb)");
}

}  // namespace dorvane::jet::create
