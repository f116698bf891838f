#include "engines/jet/compact/long_values.h"

#include <algorithm>
#include <array>
#include <vector>

#include "core/error.h"

namespace dorvane::jet::compact {

LongValueWriter::LongValueWriter(const PageLayout& layout, PageAllocator& allocator, PageSink& sink)
    : layout_(layout), packer_(layout, kLongValueOwner, allocator, sink) {}

RowPointer LongValueWriter::Write(LongValueKind kind, ConstBytes value) {
    if (kind == LongValueKind::kSingleRow) {
        if (value.size() > packer_.MaxRow())
            throw Error(errc::kCorrupt, "a single-row long value is longer than a page; the database is damaged");
        return packer_.Add(value).where;
    }
    const std::size_t chunk = layout_.longValueSegmentRow - 4;
    std::vector<std::uint8_t> row;
    row.reserve(layout_.longValueSegmentRow);
    RowPointer first{};
    PlacedRow previous{};
    std::size_t at = 0;
    bool isFirst = true;
    do {
        const std::size_t n = std::min(chunk, value.size() - at);
        row.assign(4, 0);  // link filled in when the next segment is placed
        row.insert(row.end(), value.begin() + static_cast<std::ptrdiff_t>(at),
                   value.begin() + static_cast<std::ptrdiff_t>(at + n));
        const PlacedRow placed = packer_.Add(row);
        if (isFirst) {
            first = placed.where;
            isFirst = false;
        } else {
            std::array<std::uint8_t, 4> link{};
            PutU32(link, 0, placed.where.Encoded());
            packer_.Patch(previous, 0, link);
        }
        previous = placed;
        at += n;
    } while (at < value.size());
    return first;
}

}  // namespace dorvane::jet::compact
