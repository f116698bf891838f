#include "engines/jet/format/complex_columns.h"

#include "core/error.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/text.h"

namespace dorvane::jet {

std::optional<std::vector<ComplexColumnRow>> ReadComplexColumns(const PageFile& file) {
    const std::optional<CatalogEntry> entry = FindTable(ReadTables(file), "MSysComplexColumns");
    if (!entry) return std::nullopt;
    const TableDef def = ReadTableDef(file, entry->table_page());
    const auto at = [&](const char* name) {
        const auto index = def.ColumnIndex(name);
        const std::uint8_t type = std::string_view(name) == "ColumnName" ? coltype::kText : coltype::kLong;
        if (!index || def.columns[*index].type != type)
            ThrowCorrupt(std::string("MSysComplexColumns lacks its column ") + name);
        return *index;
    };
    const std::size_t column = at("ColumnName"), complexId = at("ComplexID"), type = at("ComplexTypeObjectID"),
                      flat = at("FlatTableID"), conceptual = at("ConceptualTableID");
    std::vector<ComplexColumnRow> rows;
    RowCursor cursor(file, def);
    for (TableRow row; cursor.Next(row);) {
        const RowFields fields = LocateFields(file.format(), def, row.body);
        const auto number = [&](std::size_t c) -> std::uint32_t {
            const FieldSpan& span = fields.spans[c];
            return span.present && span.length == 4 ? Le32(row.body, span.offset) : 0;
        };
        const FieldSpan& name = fields.spans[column];
        rows.push_back({name.present ? Jet4TextToUtf8(FieldBytes(row.body, name)) : std::string(), number(complexId),
                        number(type), number(flat), number(conceptual)});
    }
    return rows;
}

}  // namespace dorvane::jet
