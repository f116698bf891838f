#pragma once
// Packs rows onto fresh data pages: rows stacked down from the page end, one
// slot each, greedily, at most 255 slots a page. Only the page being filled is
// held in memory; a full page goes to the sink at once.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "engines/jet/compact/bytes.h"
#include "engines/jet/compact/layout.h"
#include "engines/jet/compact/page_allocator.h"
#include "engines/jet/compact/page_sink.h"

namespace dorvane::jet::compact {

struct PlacedRow {
    RowPointer where;
    std::size_t offset = 0;  // row start within its page
};

struct PackedPage {
    std::uint32_t page = 0;
    std::size_t freeSpace = 0;
};

class DataPagePacker {
public:
    // owner: the four owner bytes at offset 4 (a table's definition page, or
    // "LVAL" for long values, or 0 for usage-map records).
    DataPagePacker(const PageLayout& layout, std::array<std::uint8_t, 4> owner, PageAllocator& allocator,
                   PageSink& sink);

    // The largest row a page can take.
    std::size_t MaxRow() const { return layout_.DataCapacity() - 2; }
    PlacedRow Add(ConstBytes row);
    // Whether a row of this length would go onto the page being filled.
    bool FitsOnCurrentPage(std::size_t length) const;
    // Changes bytes of a row placed before, on the open page or through the sink.
    void Patch(const PlacedRow& row, std::size_t offsetInRow, ConstBytes bytes);
    void Finish();

    const std::vector<PackedPage>& pages() const { return pages_; }

private:
    void Open();
    void Close();

    const PageLayout& layout_;
    std::array<std::uint8_t, 4> owner_;
    PageAllocator& allocator_;
    PageSink& sink_;
    std::vector<std::uint8_t> buffer_;
    std::optional<std::uint32_t> openPage_;
    unsigned slots_ = 0;
    std::size_t low_ = 0;  // lowest row start so far
    std::vector<PackedPage> pages_;
};

std::array<std::uint8_t, 4> OwnerPage(std::uint32_t page);
inline constexpr std::array<std::uint8_t, 4> kLongValueOwner{'L', 'V', 'A', 'L'};

}  // namespace dorvane::jet::compact
