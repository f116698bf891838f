#pragma once
// Where each table definition goes in the copy, and the table ids that follow
// it. A table's id is the page of its definition, so moving a definition
// changes the id everywhere it is stored: the catalog's Id, the permission
// rows, the navigation pane's object references, a foreign key's related
// table, and the owner field of every data and index page of the table.
//
// Page 0 stays and MSysObjects keeps page 2, where readers look for it; every
// other definition page follows from page 3 on, the tables in their present
// page order. Keeping that order keeps the ids in the same relative order (so
// index order on an id changes least), and a file whose definitions are
// already packed keeps every id, which makes a second compaction a no-op.
// Ids of other objects (containers, queries, forms...) are not page numbers
// and never change. An id naming nothing (a deleted table's, left behind in
// the navigation pane) is copied as it is, unless a packed definition now
// takes that page: then it gets kDanglingIdMark, so that it still names
// nothing instead of naming another table.

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet::compact {

// No file has 2^19 pages (2 GB of 4 KB pages, 1 GB of 2 KB), and ids of
// objects other than tables have their top byte set: an id with this bit
// alone names no object.
inline constexpr std::uint32_t kDanglingIdMark = 0x00800000;

// A system-table column that holds object ids (Long).
struct IdColumn {
    const char* table;
    const char* column;
};
// Every one the formats hold, found by scanning the Long columns of every
// system table of the Access-made test files.
extern const std::vector<IdColumn> kIdColumns;

class Relocation {
public:
    // tables and defs are parallel, in catalog order.
    Relocation(const Format& format, const std::vector<CatalogEntry>& tables, const std::vector<TableDef>& defs);

    // The id of the table whose definition starts at `id` in the source, or
    // `id` itself when it is not a table's (marked when it would become one).
    std::uint32_t NewId(std::uint32_t id) const;
    // The pages of the definition in the copy, parallel to def.pages.
    const std::vector<std::uint32_t>& NewPages(const TableDef& def) const { return pages_.at(def.page); }
    // Every definition page of the copy: the allocator skips them.
    const std::set<std::uint32_t>& DefinitionPages() const { return definition_pages_; }
    // Tables whose id changes.
    std::size_t moved() const { return moved_; }
    // Why definitions keep their pages, when they do (nullptr otherwise).
    const char* kept_reason() const { return kept_reason_; }

    // Column numbers of `def` that hold ids (only system tables have them).
    const std::vector<std::uint16_t>& IdColumnsOf(const TableDef& def) const;
    // Sets the table ids a row of `def` holds to their new values.
    void RewriteRow(const TableDef& def, Bytes& body) const;
    // The key of an entry of physical index `index` of `def`, its id part
    // (always leading: otherwise the constructor keeps every table in place) set to the new value.
    Bytes RewriteKey(const TableDef& def, std::size_t index, ByteSpan key) const;
    // The same into a buffer the caller reuses from entry to entry.
    void RewriteKey(const TableDef& def, std::size_t index, ByteSpan key, Bytes& out) const;
    // Offsets in the definition stream of foreign keys' related-table pages.
    std::vector<std::size_t> RelatedTableFields(const TableDef& def) const;

private:
    void KeepInPlace(const std::vector<TableDef>& defs, const char* reason);

    const Format& format_;
    std::map<std::uint32_t, std::uint32_t> ids_;                      // moved tables only
    std::set<std::uint32_t> tables_;                                  // every table's source id
    std::map<std::uint32_t, std::vector<std::uint32_t>> pages_;       // by source id
    std::map<std::uint32_t, std::vector<std::uint16_t>> id_columns_;  // by source id
    std::set<std::uint32_t> definition_pages_;
    std::size_t moved_ = 0;
    const char* kept_reason_ = nullptr;
};

}  // namespace dorvane::jet::compact
