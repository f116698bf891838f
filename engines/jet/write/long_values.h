#pragma once
// Writes long values (memo, OLE) of one column onto fresh LVAL pages: a
// single-row value as one row, a chained value as segments in order, each
// starting with the pointer to the next (0 on the last).

#include <cstdint>
#include <vector>

#include "engines/jet/write/data_pages.h"
#include "engines/jet/format/long_value.h"

namespace dorvane::jet::write {

// LVAL pages with at least this much room are offered for new long values.
inline constexpr std::size_t kLongValueFreeThreshold = 64;

class LongValueWriter {
public:
    LongValueWriter(const Format& format, PageAllocator& allocator, PageSink& sink);

    // Returns the pointer to the value's first row, for the field in the data
    // row. kind: kSingle or kChain (inline values stay in their row).
    RowPointer Write(LongValueKind kind, ByteSpan value);
    void Finish() { packer_.Finish(); }
    const std::vector<PackedPage>& pages() const { return packer_.pages(); }

private:
    RowPointer WriteChain(ByteSpan value);

    const Format& format_;
    DataPagePacker packer_;
};

}  // namespace dorvane::jet::write
