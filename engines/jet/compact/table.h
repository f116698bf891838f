#pragma once
// Rewrites one table into the new file: its live rows onto fresh data pages,
// its long values onto fresh LVAL pages, every index rebuilt from its own
// entries, its usage maps, and its definition patched in place.

#include <cstdint>
#include <string>

#include "engines/jet/compact/digest.h"
#include "engines/jet/write/page_allocator.h"
#include "engines/jet/write/page_sink.h"
#include "engines/jet/compact/relocation.h"
#include "engines/jet/compact/table_source.h"
#include "engines/jet/write/usage_maps.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {
class PageFile;
}

namespace dorvane::jet::compact {

// The database being compacted and what writes its copy.
struct CompactionContext {
    const PageFile& source;
    write::PageAllocator& allocator;
    write::PageSink& sink;
    write::MapRecordPages& map_records;
    const Relocation& relocation;
};

struct TableCounts {
    std::uint64_t rows = 0;
    std::uint64_t long_values = 0;
    std::uint64_t index_entries = 0;
    // The largest amount of index data held at once, in bytes: what bounds
    // the compaction's memory together with the row map.
    std::uint64_t peak_index_bytes = 0;
};

// Writes the rows and index entries `rows` gives. Returns the digest of what
// it wrote, for the verification.
TableDigest CompactTable(CompactionContext& context, const TableDef& def, const std::string& name,
                         const TableSource& rows, TableCounts& counts);

}  // namespace dorvane::jet::compact
