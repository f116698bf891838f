#pragma once
// Writes long values (memo, OLE) of one column onto fresh LVAL pages: a
// single-row value as one row, a chained value as segments in order, each
// starting with the pointer to the next (0 on the last).

#include <cstdint>

#include "engines/jet/compact/data_pages.h"

namespace dorvane::jet::compact {

enum class LongValueKind : std::uint8_t { kSingleRow = 0x40, kChain = 0x00 };

class LongValueWriter {
public:
    LongValueWriter(const PageLayout& layout, PageAllocator& allocator, PageSink& sink);

    // Returns the pointer to the value's first row, for the field in the data row.
    RowPointer Write(LongValueKind kind, ConstBytes value);
    void Finish() { packer_.Finish(); }
    const std::vector<PackedPage>& pages() const { return packer_.pages(); }

private:
    const PageLayout& layout_;
    DataPagePacker packer_;
};

}  // namespace dorvane::jet::compact
