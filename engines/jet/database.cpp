#include "engines/jet/database.h"

#include "core/error.h"
#include "engines/jet/format/column_properties.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/value.h"

namespace dorvane::jet {

JetDatabase::JetDatabase(ReadHold hold, PageFile file, std::vector<CatalogEntry> tables)
    : hold_(std::move(hold)), file_(std::move(file)), tables_(std::move(tables)) {}

JetDatabase JetDatabase::Open(const std::filesystem::path& path) {
    ReadHold hold = ReadHold::Acquire(path);
    PageFile file = PageFile::Open(path);
    std::vector<CatalogEntry> tables = ReadTables(file);
    return JetDatabase(std::move(hold), std::move(file), std::move(tables));
}

JetDatabase JetDatabase::OpenForOnePass(const std::filesystem::path& path, std::size_t kept_blocks) {
    bool alone = false;
    try {
        ExclusiveHold::Acquire(path);  // only asks: released at once
        alone = true;
    } catch (const Error&) {
        // In use, or not ours to claim (a read-only file): read page by
        // page; the read hold below reports what is really wrong.
    }
    ReadHold hold = ReadHold::Acquire(path);
    PageFile file = alone ? PageFile::OpenCached(path, kept_blocks) : PageFile::Open(path);
    std::vector<CatalogEntry> tables = ReadTables(file);
    return JetDatabase(std::move(hold), std::move(file), std::move(tables));
}

TableDef JetDatabase::LoadTable(std::string_view name) const {
    const std::optional<CatalogEntry> entry = FindTable(tables_, name);
    if (!entry) {
        throw Error(errc::kItemNotFound, "The database has no table or query named '" + std::string(name) + "'.");
    }
    TableDef def = ReadTableDef(file_, entry->table_page());
    ReadCalculatedResultTypes(file_, entry->name, def);
    return def;
}

std::optional<std::string> FieldText(const PageFile& file, const ComplexValues& complex, const Column& column,
                                     ByteSpan row, const FieldSpan& field) {
    if (complex.Covers(column)) {
        if (!field.present || field.length != 4) return std::nullopt;
        return complex.Text(column, Le32(row, field.offset));
    }
    return FieldToText(file, column, row, field);
}

void ForEachRowText(const PageFile& file, const TableDef& def,
                    const std::function<void(std::vector<std::optional<std::string>>&)>& visit) {
    const ComplexValues complex = ComplexValues::Load(file, def);
    RowCursor rows(file, def);
    for (TableRow row; rows.Next(row);) {
        const RowFields fields = LocateFields(file.format(), def, row.body);
        std::vector<std::optional<std::string>> values;
        values.reserve(def.columns.size());
        for (std::size_t i = 0; i < def.columns.size(); ++i) {
            values.push_back(FieldText(file, complex, def.columns[i], row.body, fields.spans[i]));
        }
        visit(values);
    }
}

TextRows ReadTableText(const PageFile& file, const TableDef& def) {
    TextRows out;
    for (const Column& column : def.columns) out.columns.push_back(column.name);
    ForEachRowText(file, def,
                   [&](std::vector<std::optional<std::string>>& values) { out.rows.push_back(std::move(values)); });
    return out;
}

}  // namespace dorvane::jet
