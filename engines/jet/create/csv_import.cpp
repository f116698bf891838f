#include "platform/native_path.h"
#include "engines/jet/create/csv_import.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>

#include "core/error.h"
#include "engines/jet/write/usage_maps.h"
#include "engines/jet/create/catalog_edit.h"
#include "engines/jet/create/create_database.h"
#include "engines/jet/create/system_tables.h"
#include "engines/jet/create/table_writer.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/text.h"
#include "engines/jet/format/text_encode.h"
#include "engines/jet/format/usage_map.h"

namespace dorvane::jet::create {

namespace {

constexpr std::uint8_t kPrimaryKeyFlags = kIndexStored | kIndexRequired | kIndexUnique;

[[noreturn]] void RefuseAt(std::size_t line, const std::string& why) {
    throw Error(errc::kValueRefused, "CSV line " + std::to_string(line) + ": " + why);
}

std::string ReadCsvFile(const std::filesystem::path& csv) {
    std::ifstream in(csv, std::ios::binary);
    if (!in) throw Error(errc::kFileNotFound, ErrorText("cannot read ").Path(PathText(csv)));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The database opened for a change: held against every other user, Jet 4 only.
struct HeldDatabase {
    explicit HeldDatabase(const std::filesystem::path& path)
        : hold(ExclusiveHold::Acquire(path)), file(PageFile::Open(path)) {
        if (file->version() != Version::kJet4) {
            throw Error(errc::kNotAvailable,
                        ErrorText().Path(PathText(path))
                            << " is a Jet 3 (Access 97) file; tables are added to Jet 4 files only");
        }
    }
    ExclusiveHold hold;
    std::optional<PageFile> file;  // closed before the new version replaces it: Windows replaces no open file
};

struct Columns {
    std::vector<std::string> names;
    std::vector<ImportType> types;
};

Columns ChooseColumns(const std::vector<CsvRecord>& records, const ImportOptions& options) {
    Columns out;
    for (const CsvField& field : records.front().fields) {
        if (field.text.empty()) RefuseAt(1, "a column of the header has no name");
        out.names.push_back(field.text);
    }
    for (const CsvRecord& record : records) {
        if (record.fields.size() != out.names.size()) {
            RefuseAt(record.line, "the record has " + std::to_string(record.fields.size()) + " fields, the header " +
                                      std::to_string(out.names.size()));
        }
    }
    for (const auto& given : options.types) {
        const std::string& name = given.first;
        if (std::none_of(out.names.begin(), out.names.end(),
                         [&](const std::string& n) { return EqualsIgnoreCase(n, name); })) {
            throw Error(errc::kItemNotFound, "--type names \"" + name + "\", which is not a column of the CSV");
        }
    }
    for (std::size_t c = 0; c < out.names.size(); ++c) {
        std::optional<ImportType> given;
        for (const auto& [name, type] : options.types) {
            if (EqualsIgnoreCase(name, out.names[c])) given = type;
        }
        std::vector<const CsvField*> values;
        for (std::size_t r = 1; r < records.size(); ++r) values.push_back(&records[r].fields[c]);
        out.types.push_back(given.value_or(ChooseType(values)));
    }
    return out;
}

// The column `name` names, refused for a type no index takes.
const std::string& IndexableColumn(const Columns& columns, const std::string& name, const char* option) {
    const auto at = std::find_if(columns.names.begin(), columns.names.end(),
                                 [&](const std::string& n) { return EqualsIgnoreCase(n, name); });
    if (at == columns.names.end())
        throw Error(errc::kItemNotFound,
                    std::string(option) + " names \"" + name + "\", which is not a column of the CSV");
    const ImportType type = columns.types[static_cast<std::size_t>(at - columns.names.begin())];
    if (type == ImportType::kMemo || type == ImportType::kOle || type == ImportType::kYesNo) {
        throw Error(errc::kNotAvailable,
                    "the column \"" + *at + "\" is " + ImportTypeName(type) + ", which cannot be indexed");
    }
    return *at;
}

// The key's index comes first: WriteRows finds the key as physical index 0.
NewTable DesignOf(const std::string& table, const Columns& columns, const ImportOptions& options) {
    NewTable design{table, kUserTable, {}, {}};
    for (std::size_t c = 0; c < columns.names.size(); ++c)
        design.columns.push_back(ColumnFor(columns.names[c], columns.types[c]));
    if (options.key) {
        const std::string& key = IndexableColumn(columns, *options.key, "--key");
        design.indexes.push_back(NewIndex{"PrimaryKey", {key}, kPrimaryKeyFlags, true});
    }
    for (const std::string& name : options.indexes) {
        const std::string& column = IndexableColumn(columns, name, "--index");
        design.indexes.push_back(NewIndex{column, {column}, kIndexStored, false});
    }
    return design;
}

// Every record's values, each refusal naming its line and column.
// Keys that sort as one (case, trailing spaces, "ss" and "ß") are one value
// to the unique index, and so a repeat.
void WriteRows(const std::vector<CsvRecord>& records, const Columns& columns, const TableDef& def,
               std::optional<std::size_t> key, TableWriter& writer) {
    // Keyed by string: GCC 12 at -O3 warns falsely on comparing byte vectors.
    std::map<std::string, std::size_t> keys;  // index key -> line
    std::vector<StoredValue> values(columns.names.size());
    for (std::size_t r = 1; r < records.size(); ++r) {
        const CsvRecord& record = records[r];
        for (std::size_t c = 0; c < values.size(); ++c) {
            try {
                values[c] = ConvertField(def.columns[c], columns.types[c], record.fields[c]);
            } catch (const Error& e) {
                if (e.number() != errc::kValueRefused) throw;
                RefuseAt(record.line, "column \"" + columns.names[c] + "\" (" + ImportTypeName(columns.types[c]) +
                                          "): " + e.description());
            }
        }
        const auto atLine = [&record](const auto& step) {
            try {
                return step();
            } catch (const Error& e) {
                if (e.number() != errc::kValueRefused && e.number() != errc::kNotAvailable) throw;
                throw Error(e.number(), "CSV line " + std::to_string(record.line) + ": " + e.description());
            }
        };
        const Bytes row = atLine([&] { return writer.PrepareRow(values); });
        if (key) {
            if (!values[*key].present) RefuseAt(record.line, "the key column \"" + columns.names[*key] + "\" is empty");
            const Bytes key_bytes = *writer.KeyOf(0, row);
            const auto [it, fresh] = keys.emplace(std::string(key_bytes.begin(), key_bytes.end()), record.line);
            if (!fresh)
                RefuseAt(record.line,
                         "the key \"" + record.fields[*key].text + "\" repeats line " + std::to_string(it->second));
        }
        atLine([&] { writer.AddRow(row); });
    }
}

// A table in a relationship stays: the other side would point at nothing.
void RefuseRelated(const PageFile& source, const TableDef& def, const std::string& table) {
    const auto refuse = [&](const std::string& other) {
        throw Error(errc::kNotAvailable,
                    "\"" + table + "\" is in a relationship with \"" + other + "\"; delete the relationship first");
    };
    for (const CatalogEntry& other : ReadTables(source)) {
        if (other.table_page() == def.page) continue;
        for (const LogicalIndex& index : ReadTableDef(source, other.table_page()).logical_indexes) {
            if (index.type == kIndexForeignKey && index.related_table_page == def.page) refuse(other.name);
        }
    }
    const auto relationships = FindTable(ReadTables(source), "MSysRelationships");
    if (!relationships) return;
    const TableDef rel = ReadTableDef(source, relationships->table_page());
    RowCursor cursor(source, rel);
    for (TableRow row; cursor.Next(row);) {
        for (const char* side : {"szObject", "szReferencedObject"}) {
            const auto name = FieldOf(source.format(), rel, row.body, side);
            if (name && EqualsIgnoreCase(Jet4TextToUtf8(*name), table)) {
                refuse(Jet4TextToUtf8(FieldOf(source.format(), rel, row.body,
                                              side == std::string("szObject") ? "szReferencedObject" : "szObject")
                                          .value_or(Bytes{})));
            }
        }
    }
}

}  // namespace

ImportSummary ImportCsv(const std::filesystem::path& database, const std::string& table,
                        const std::filesystem::path& csv, const ImportOptions& options) {
    HeldDatabase held(database);
    const PageFile& source = *held.file;
    if (FindTable(ReadTables(source), table)) {
        throw Error(errc::kFileAlreadyExists, ErrorText().Path(PathText(database))
                                                  << " already has a table named \"" << table << "\"");
    }
    const std::vector<CsvRecord> records = ParseCsv(ReadCsvFile(csv));
    if (records.empty())
        throw Error(errc::kValueRefused, ErrorText().Path(PathText(csv)) << " is empty: a header row is needed");
    const Columns columns = ChooseColumns(records, options);
    TableDef def = LayoutTable(DesignOf(table, columns, options));
    std::optional<std::size_t> key;
    if (options.key) key = *def.ColumnIndex(def.ColumnByNumber(def.physical_indexes[0].columns[0].column_number)->name);

    const CatalogTables catalog = ReadCatalogTables(source);
    DatabaseBuild build(source, CatalogPages(source, catalog));
    for (std::size_t i = DefinitionPagesNeeded(source.format(), def); i > 0; --i)
        def.pages.push_back(build.allocator().Take());
    def.page = def.pages.front();
    write::MapRecordPages mapRecords(source.format(), write::MapRecordsOf(def) + CatalogMapRecords(catalog),
                                     build.allocator());
    TableWriter writer(source.format(), def, build.allocator(), build);
    WriteRows(records, columns, def, key, writer);
    const TableDef written = writer.Finish(mapRecords);

    const auto id = static_cast<std::int32_t>(written.page);
    CatalogChange change;
    change.add_objects.push_back(
        UserTableCatalogRow(catalog.objects, id, table, DatabaseOwner(source, catalog.objects), OleNow()));
    change.add_aces = NewTableAces(source, catalog.aces, id);
    try {
        RewriteCatalog(source, catalog, change, build, mapRecords);
    } catch (const Error& e) {
        if (e.number() != errc::kNotAvailable) throw;
        throw Error(e.number(),
                    "the table name \"" + table + "\" cannot be entered in the catalog's index: " + e.description());
    }
    mapRecords.Write(build);
    build.Commit(database, &held.hold, [&held] { held.file.reset(); });

    ImportSummary summary{records.size() - 1, {}};
    for (std::size_t c = 0; c < columns.names.size(); ++c)
        summary.columns.emplace_back(columns.names[c], columns.types[c]);
    return summary;
}

void DropTable(const std::filesystem::path& database, const std::string& table) {
    HeldDatabase held(database);
    const PageFile& source = *held.file;
    const auto entry = FindTable(ReadTables(source), table);
    if (!entry)
        throw Error(errc::kItemNotFound, ErrorText().Path(PathText(database))
                                             << " has no table named \"" << table << "\"");
    if (entry->IsSystem()) throw Error(errc::kNotAvailable, "\"" + table + "\" is a system table and stays");
    const TableDef def = ReadTableDef(source, entry->table_page());
    RefuseRelated(source, def, table);
    const CatalogTables catalog = ReadCatalogTables(source);
    std::set<std::uint32_t> released = CatalogPages(source, catalog);
    released.insert(def.pages.begin(), def.pages.end());
    for (std::uint32_t page : TableDataPages(source, def)) released.insert(page);
    for (const PhysicalIndex& index : def.physical_indexes) {
        for (std::uint32_t page : WalkIndex(source, index.root_page).pages) released.insert(page);
    }
    for (const LongValueMap& map : def.long_value_maps) {
        for (std::uint32_t page : ReadUsageMap(source, RowPointer::FromU32(map.owned_map)).pages) released.insert(page);
    }
    DatabaseBuild build(source, released);
    write::MapRecordPages mapRecords(source.format(), CatalogMapRecords(catalog), build.allocator());
    CatalogChange change;
    change.remove_ids.insert(entry->id);
    RewriteCatalog(source, catalog, change, build, mapRecords);
    mapRecords.Write(build);
    build.Commit(database, &held.hold, [&held] { held.file.reset(); });
}

}  // namespace dorvane::jet::create
