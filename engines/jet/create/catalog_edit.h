#pragma once
// Changes to the catalog (MSysObjects) and the permissions (MSysACEs) of an
// existing database: both tables are written anew with rows added or taken
// out. The rows kept are copied as stored and keep their index entries as
// stored; only the added rows' keys are computed.

#include <cstdint>
#include <set>
#include <vector>

#include "engines/jet/write/usage_maps.h"
#include "engines/jet/create/database_build.h"
#include "engines/jet/format/row_writer.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {
class PageFile;
}

namespace dorvane::jet::create {

struct CatalogTables {
    TableDef objects;  // MSysObjects
    TableDef aces;     // MSysACEs
};
CatalogTables ReadCatalogTables(const PageFile& source);

// The data and index pages of both tables: free once they are written anew.
std::set<std::uint32_t> CatalogPages(const PageFile& source, const CatalogTables& tables);

// Usage-map records the rewrite needs.
std::size_t CatalogMapRecords(const CatalogTables& tables);

struct CatalogChange {
    std::vector<std::vector<StoredValue>> add_objects;
    std::vector<std::vector<StoredValue>> add_aces;
    std::set<std::int32_t> remove_ids;  // objects taken out, with their permissions
};

void RewriteCatalog(const PageFile& source, const CatalogTables& tables, const CatalogChange& change,
                    DatabaseBuild& build, write::MapRecordPages& records);

// A Long column's value in a stored row, if not Null.
std::optional<std::int32_t> LongField(const Format& format, const TableDef& def, ByteSpan row, std::string_view column);
// The bytes of a column's value in a stored row, if not Null.
std::optional<Bytes> FieldOf(const Format& format, const TableDef& def, ByteSpan row, std::string_view column);

// The rows of MSysACEs a new user table gets: the Tables container's
// inheritable entries with full table rights, not inheritable themselves.
std::vector<std::vector<StoredValue>> NewTableAces(const PageFile& source, const TableDef& aces, std::int32_t id);
// The owner of the database object (MSysDb), who owns new tables.
Bytes DatabaseOwner(const PageFile& source, const TableDef& objects);

}  // namespace dorvane::jet::create
