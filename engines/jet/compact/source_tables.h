#pragma once
// The tables a compaction copies, read once from the source's catalog and
// definitions. A compaction reads them as they are; a repair refuses what it
// cannot read without guessing (the catalog's rows, a definition), and adds
// the tables whose definition and rows are in use though their catalog row
// no longer says so.

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "engines/jet/format/catalog.h"
#include "engines/jet/format/page_census.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/unlisted_tables.h"

namespace dorvane::jet {
class PageFile;
}

namespace dorvane::jet::compact {

struct SourceTables {
    std::vector<CatalogEntry> entries;
    std::vector<TableDef> defs;                // parallel to entries
    std::set<std::uint32_t> definition_pages;  // in the source
    std::size_t map_records = 0;
    // A repair's: tables kept although their catalog row no longer said so,
    // and rows on pages of definitions no catalog row names.
    std::vector<RestoredTable> restored;
    std::vector<PageCensus::Owner> unnamed;

    // The restored tables as the copy's catalog lists them.
    std::vector<CatalogEntry> RestoredEntries() const;
};

SourceTables ReadTablesAsStored(const PageFile& file);
SourceTables ReadTablesForRepair(const PageFile& file, const PageCensus& census);

}  // namespace dorvane::jet::compact
