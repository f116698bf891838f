#pragma once
// The system tables of a new Access 2000 database and their rows, as the Jet 4
// test files show them: the catalog with its containers, the database object
// and its property stores, the permissions (ACEs), and the empty query,
// relationship and Access-object tables.

#include <cstdint>
#include <string>
#include <vector>

#include "engines/jet/create/table_layout.h"
#include "engines/jet/format/row_writer.h"

namespace dorvane::jet::create {

// Catalog ids Access gives its fixed objects.
inline constexpr std::int32_t kRootContainer = 0x0F000000;
inline constexpr std::int32_t kTablesContainer = 0x0F000001;
inline constexpr std::int32_t kDatabasesContainer = 0x0F000002;
inline constexpr std::int32_t kRelationshipsContainer = 0x0F000003;
inline constexpr std::int32_t kDatabaseObject = 0x10000000;
// ACM an inheritable entry of the Tables container passes on to each new table.
inline constexpr std::int32_t kTableRights = 1048319;
inline constexpr std::int16_t kTypeTable = 1;

// In page order: MSysObjects (its definition must be page 2), MSysACEs,
// MSysQueries, MSysRelationships, then MSysAccessObjects (Jet 4) or
// MSysComplexColumns and the complex-type templates (ACE).
std::vector<NewTable> SystemTableDesigns(bool ace = false);

struct SystemRows {
    std::vector<std::vector<StoredValue>> catalog;  // MSysObjects
    std::vector<std::vector<StoredValue>> aces;     // MSysACEs
};
// `defs` as laid out from SystemTableDesigns, their pages set; `created` an OLE date.
SystemRows SystemTableRows(const std::vector<NewTable>& designs, const std::vector<TableDef>& defs, double created);

// Values by column name for a row of `def`; unnamed columns are Null (Boolean: false).
std::vector<StoredValue> RowOf(const TableDef& def, const std::vector<std::pair<std::string, StoredValue>>& named);

// The catalog row of a new user table, owned by `owner` (the database object's owner).
std::vector<StoredValue> UserTableCatalogRow(const TableDef& catalog, std::int32_t id, const std::string& name,
                                             ByteSpan owner, double created);

}  // namespace dorvane::jet::create
