#pragma once
// Data pages as the compactor writes them: rows stacked down from the page
// end in slot order, one offset word each, at most kMaxRowsPerPage a page.
// The packer fills fresh pages greedily; only the page being filled is held
// in memory, a full page goes to the sink at once.

#include <cstdint>
#include <optional>
#include <vector>

#include "engines/jet/write/page_allocator.h"
#include "engines/jet/write/page_sink.h"
#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/format.h"

namespace dorvane::jet::write {

// One data page in memory.
class DataPageBuilder {
public:
    // owner: a table's definition page, kLongValueOwner, 0 for usage-map
    // records or 1 for page 1.
    DataPageBuilder(const Format& format, std::uint32_t owner);

    // Whether a row of this length still fits, with its offset word.
    bool Fits(std::size_t length) const;
    // Places the row in the next slot and returns its offset in the page;
    // a row given in two parts is placed as their concatenation.
    std::size_t Add(ByteSpan row, ByteSpan rest = {});
    std::size_t row_count() const { return rows_; }
    std::size_t free_space() const;
    MutableByteSpan bytes() { return page_; }
    // The page with its free space and row count filled in.
    ByteSpan Finish();

private:
    const Format& format_;
    Bytes page_;
    std::size_t rows_ = 0;
    std::size_t low_ = 0;  // lowest row start so far
};

struct PlacedRow {
    RowPointer where;
    std::size_t offset = 0;  // row start within its page
};

struct PackedPage {
    std::uint32_t page = 0;
    std::size_t free_space = 0;
};

// The pages with at least `min_free` bytes of room, ascending: what a usage
// map of them lists.
std::vector<std::uint32_t> PagesOf(const std::vector<PackedPage>& packed, std::size_t min_free = 0);

class DataPagePacker {
public:
    DataPagePacker(const Format& format, std::uint32_t owner, PageAllocator& allocator, PageSink& sink);

    // The largest row a page can take.
    std::size_t MaxRow() const { return format_.DataRowRoom() - 2; }
    PlacedRow Add(ByteSpan row, ByteSpan rest = {});
    // Changes bytes of a row placed before, on the open page or through the sink.
    void Patch(const PlacedRow& row, std::size_t offset_in_row, ByteSpan bytes);
    void Finish();

    const std::vector<PackedPage>& pages() const { return pages_; }

private:
    void Close();

    const Format& format_;
    std::uint32_t owner_;
    PageAllocator& allocator_;
    PageSink& sink_;
    std::optional<DataPageBuilder> open_;
    std::uint32_t open_page_ = 0;
    std::vector<PackedPage> pages_;
};

}  // namespace dorvane::jet::write
