#include "engines/jet/write/long_values.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "core/error.h"

namespace dorvane::jet::write {

LongValueWriter::LongValueWriter(const Format& format, PageAllocator& allocator, PageSink& sink)
    : format_(format), packer_(format, kLongValueOwner, allocator, sink) {}

RowPointer LongValueWriter::Write(LongValueKind kind, ByteSpan value) {
    switch (kind) {
        case LongValueKind::kSingle:
            if (value.size() > packer_.MaxRow())
                throw Error(errc::kCorrupt, "a single-row long value is longer than a page; the database is damaged");
            return packer_.Add(value).where;
        case LongValueKind::kChain:
            return WriteChain(value);
        case LongValueKind::kInline:
            break;
    }
    throw std::logic_error("an inline long value has no rows to write");
}

RowPointer LongValueWriter::WriteChain(ByteSpan value) {
    const std::size_t chunk = format_.lv_segment_row - kLongValueSegmentLink;
    const std::array<std::uint8_t, kLongValueSegmentLink> unlinked{};  // filled in when the next segment is placed
    RowPointer first{};
    PlacedRow previous{};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(chunk, value.size() - at);
        const PlacedRow placed = packer_.Add(unlinked, value.subspan(at, n));
        if (at == 0) {
            first = placed.where;
        } else {
            std::array<std::uint8_t, kLongValueSegmentLink> link{};
            PutLe32(link, 0, placed.where.ToU32());
            packer_.Patch(previous, 0, link);
        }
        previous = placed;
        at += n;
    } while (at < value.size());
    return first;
}

}  // namespace dorvane::jet::write
