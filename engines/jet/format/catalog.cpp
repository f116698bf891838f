#include "engines/jet/format/catalog.h"

#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/text.h"

namespace dorvane::jet {

namespace {

std::int64_t IntegerField(ByteSpan row, const FieldSpan& field) {
    const ByteSpan bytes = FieldBytes(row, field);
    switch (bytes.size()) {
        case 1:
            return bytes[0];
        case 2:
            return static_cast<std::int16_t>(Le16(bytes, 0));
        case 4:
            return static_cast<std::int32_t>(Le32(bytes, 0));
        default:
            ThrowCorrupt("the catalog has a number column of unexpected size");
    }
}

}  // namespace

std::vector<CatalogEntry> ReadCatalog(const PageFile& file) {
    const TableDef def = ReadTableDef(file, kCatalogPage);
    const auto indexOf = [&](std::string_view name) -> std::size_t {
        if (const auto index = def.ColumnIndex(name)) return *index;
        ThrowCorrupt("the catalog has no column " + std::string(name));
    };
    const std::size_t idColumn = indexOf("Id");
    const std::size_t parentColumn = indexOf("ParentId");
    const std::size_t nameColumn = indexOf("Name");
    const std::size_t typeColumn = indexOf("Type");
    const std::size_t flagsColumn = indexOf("Flags");
    if (def.columns[nameColumn].type != coltype::kText) ThrowCorrupt("the catalog's Name column is not text");

    std::vector<CatalogEntry> entries;
    RowCursor rows(file, def);
    for (TableRow row; rows.Next(row);) {
        const RowFields fields = LocateFields(file.format(), def, row.body);
        CatalogEntry entry;
        const auto number = [&](std::size_t column) -> std::int64_t {
            const FieldSpan& field = fields.spans[column];
            return field.present ? IntegerField(row.body, field) : 0;
        };
        entry.id = static_cast<std::int32_t>(number(idColumn));
        entry.parent_id = static_cast<std::int32_t>(number(parentColumn));
        entry.type = static_cast<std::int16_t>(number(typeColumn));
        entry.flags = static_cast<std::uint32_t>(number(flagsColumn));
        const FieldSpan& name = fields.spans[nameColumn];
        if (name.present) {
            const ByteSpan bytes = FieldBytes(row.body, name);
            entry.name =
                file.version() == Version::kJet3 ? CodePageToUtf8(bytes, file.code_page()) : Jet4TextToUtf8(bytes);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<CatalogEntry> ReadTables(const PageFile& file) {
    std::vector<CatalogEntry> tables;
    for (CatalogEntry& entry : ReadCatalog(file)) {
        if (entry.IsTable()) tables.push_back(std::move(entry));
    }
    return tables;
}

std::optional<CatalogEntry> FindTable(const std::vector<CatalogEntry>& tables, std::string_view name) {
    for (const CatalogEntry& entry : tables) {
        if (EqualsIgnoreCase(entry.name, name)) return entry;
    }
    return std::nullopt;
}

}  // namespace dorvane::jet
