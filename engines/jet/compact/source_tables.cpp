#include "engines/jet/compact/source_tables.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "core/error.h"
#include "engines/jet/compact/salvage.h"
#include "engines/jet/format/definition_check.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/usage_map.h"
#include "engines/jet/write/usage_maps.h"

namespace dorvane::jet::compact {

namespace {

// In a repair, what cannot be read here is named: nothing is guessed about a
// catalog or a table definition.
std::vector<CatalogEntry> ReadTableList(const PageFile& file, bool repairing) {
    if (!repairing) return ReadTables(file);
    try {
        return ReadTables(file);
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        ThrowCorrupt("the catalog (MSysObjects) cannot be repaired: " + e.detail());
    }
}

// A catalog row that cannot be read would take its table with it: in a
// repair the catalog's rows, those it restores included, must all be read.
void RefuseDoubtfulCatalog(const PageFile& file, const PageCensus& census, const std::vector<RestoredTable>& restored) {
    try {
        SalvageSources sources;
        sources.census = &census;
        for (const RestoredTable& r : restored) sources.restored_rows.emplace_back(r.row, r.body);
        const TableSalvage catalog = SalvageTable(file, ReadTableDef(file, kCatalogPage), "MSysObjects", sources);
        if (catalog.in_doubt()) ThrowCorrupt("its rows cannot all be read");
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        ThrowCorrupt("the catalog (MSysObjects) cannot be repaired: " + e.detail());
    }
}

TableDef ReadDefinition(const PageFile& file, const CatalogEntry& entry, bool repairing) {
    if (!repairing) return ReadTableDef(file, entry.table_page());
    const auto refuse = [&](const std::string& why) {
        ThrowCorrupt("the definition of table \"" + entry.name + "\" cannot be repaired: " + why);
    };
    TableDef def;
    try {
        def = ReadTableDef(file, entry.table_page());
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        refuse(e.detail());
    }
    if (const auto fault = DefinitionFault(def)) refuse(*fault);
    return def;
}

SourceTables ReadSourceTables(const PageFile& file, bool repairing, const PageCensus* census) {
    SourceTables tables;
    const auto add = [&](const CatalogEntry& entry) {
        if (tables.definition_pages.contains(entry.table_page()))
            ThrowCorrupt("two catalog entries name the table at page " + std::to_string(entry.table_page()));
        TableDef def = ReadDefinition(file, entry, repairing);
        for (std::uint32_t page : def.pages) {
            if (!tables.definition_pages.insert(page).second || page <= kGlobalMapPage)
                ThrowCorrupt("table definitions share page " + std::to_string(page));
        }
        tables.map_records += write::MapRecordsOf(def);
        tables.entries.push_back(entry);
        tables.defs.push_back(std::move(def));
    };
    for (const CatalogEntry& entry : ReadTableList(file, repairing)) add(entry);
    if (census == nullptr) return tables;
    std::vector<std::uint32_t> known;
    for (const TableDef& def : tables.defs) known.push_back(def.page);
    std::sort(known.begin(), known.end());
    UnlistedTables unlisted = FindUnlistedTables(file, *census, known);
    for (RestoredTable& restored : unlisted.restored) {
        add(restored.entry);
        tables.restored.push_back(std::move(restored));
    }
    tables.unnamed = std::move(unlisted.unnamed);
    RefuseDoubtfulCatalog(file, *census, tables.restored);
    return tables;
}

}  // namespace

std::vector<CatalogEntry> SourceTables::RestoredEntries() const {
    std::vector<CatalogEntry> out;
    for (const RestoredTable& r : restored) out.push_back(r.entry);
    return out;
}

SourceTables ReadTablesAsStored(const PageFile& file) { return ReadSourceTables(file, false, nullptr); }

SourceTables ReadTablesForRepair(const PageFile& file, const PageCensus& census) {
    return ReadSourceTables(file, true, &census);
}

}  // namespace dorvane::jet::compact
