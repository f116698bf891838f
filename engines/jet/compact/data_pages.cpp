#include "engines/jet/compact/data_pages.h"

#include <algorithm>
#include <stdexcept>

namespace dorvane::jet::compact {

std::array<std::uint8_t, 4> OwnerPage(std::uint32_t page) {
    std::array<std::uint8_t, 4> b{};
    PutU32(b, 0, page);
    return b;
}

DataPagePacker::DataPagePacker(const PageLayout& layout, std::array<std::uint8_t, 4> owner,
                               PageAllocator& allocator, PageSink& sink)
    : layout_(layout), owner_(owner), allocator_(allocator), sink_(sink) {}

bool DataPagePacker::FitsOnCurrentPage(std::size_t length) const {
    if (!openPage_ || slots_ >= PageLayout::kMaxRowsPerPage) return false;
    const std::size_t tableEnd = layout_.dataRowTable + 2 * (slots_ + 1);
    return low_ >= tableEnd && low_ - tableEnd >= length;
}

void DataPagePacker::Open() {
    buffer_.assign(layout_.pageSize, 0);
    PutU16(buffer_, 0, 0x0101);  // page type, then 0x01
    std::copy(owner_.begin(), owner_.end(), buffer_.begin() + 4);
    openPage_ = allocator_.Take();
    slots_ = 0;
    low_ = layout_.pageSize;
}

void DataPagePacker::Close() {
    if (!openPage_) return;
    const std::size_t freeSpace = low_ - (layout_.dataRowTable + 2 * slots_);
    PutU16(buffer_, 2, static_cast<std::uint32_t>(freeSpace));
    PutU16(buffer_, layout_.dataRowCount, slots_);
    sink_.WritePage(*openPage_, buffer_);
    pages_.push_back({*openPage_, freeSpace});
    openPage_.reset();
}

PlacedRow DataPagePacker::Add(ConstBytes row) {
    if (row.size() > MaxRow()) throw std::length_error("row longer than a data page");
    if (!FitsOnCurrentPage(row.size())) {
        Close();
        Open();
    }
    const std::size_t start = low_ - row.size();
    std::copy(row.begin(), row.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(start));
    PutU16(buffer_, layout_.dataRowTable + 2 * slots_, static_cast<std::uint32_t>(start));
    PlacedRow placed{{*openPage_, static_cast<std::uint8_t>(slots_)}, start};
    ++slots_;
    low_ = start;
    return placed;
}

void DataPagePacker::Patch(const PlacedRow& row, std::size_t offsetInRow, ConstBytes bytes) {
    const std::size_t at = row.offset + offsetInRow;
    if (openPage_ && *openPage_ == row.where.page) {
        CheckRange(buffer_.size(), at, bytes.size());
        std::copy(bytes.begin(), bytes.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
        sink_.PatchPage(row.where.page, at, bytes);
    }
}

void DataPagePacker::Finish() { Close(); }

}  // namespace dorvane::jet::compact
