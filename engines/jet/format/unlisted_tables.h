#pragma once
// Tables whose definition and rows are in use but whose catalog row no longer
// says so: its Type changed, or its slot flagged deleted, while the table's
// data pages still name the definition as their owner and are not free. A
// writer that drops a table frees its pages; one that renames or hides it
// keeps its Type. So the reading a writer most plausibly left is the table,
// and a repair keeps it, under its catalog row made a live table's again.

#include <cstdint>
#include <string>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/page_census.h"

namespace dorvane::jet {

class PageFile;

struct RestoredTable {
    CatalogEntry entry;  // as the copy's catalog will read
    RowPointer row;      // the catalog row in the source
    Bytes body;          // that row with its Type a table's
    std::string why;     // what had become of the row
};

struct UnlistedTables {
    std::vector<RestoredTable> restored;
    std::vector<PageCensus::Owner> unnamed;  // no catalog row names them at all
};

// The tables `census` finds rows of that `known` (sorted definition pages)
// lacks.
UnlistedTables FindUnlistedTables(const PageFile& file, const PageCensus& census,
                                  const std::vector<std::uint32_t>& known);

}  // namespace dorvane::jet
