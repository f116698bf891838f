#pragma once
// A table definition with the fields compaction rewrites (row count, map
// pointers, index roots and statistics) set to new values, written back into
// the pages it came from, or to the pages it moves to. Stream offsets are placed through the reader's own
// split of the definition (LocateInStream), so a value may straddle two
// pages and every continuation page keeps its header.

#include <cstdint>
#include <vector>

#include "engines/jet/write/page_sink.h"
#include "engines/jet/format/bytes.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {
class PageFile;
}

namespace dorvane::jet::compact {

class DefinitionRewrite {
public:
    // def must have been read from source and outlive this object.
    DefinitionRewrite(const PageFile& source, const TableDef& def);

    // Sets the u32 at `stream_offset` of the definition stream.
    void SetLe32(std::size_t stream_offset, std::uint32_t value);
    // Writes the definition to `pages` (parallel to the chain it came from),
    // each page's next-page pointer naming the next of them.
    void MoveTo(const std::vector<std::uint32_t>& pages);
    void Write(write::PageSink& sink) const;

private:
    const Format& format_;
    const TableDef& def_;
    std::vector<Bytes> pages_;            // parallel to def_.pages
    std::vector<std::uint32_t> targets_;  // where they go
};

}  // namespace dorvane::jet::compact
