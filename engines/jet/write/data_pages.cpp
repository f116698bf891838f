#include "engines/jet/write/data_pages.h"

#include <algorithm>
#include <stdexcept>

namespace dorvane::jet::write {

DataPageBuilder::DataPageBuilder(const Format& format, std::uint32_t owner)
    : format_(format), page_(NewPage(format, kPageData)), low_(format.page_size) {
    PutLe32(page_, format.page_owner, owner);
}

bool DataPageBuilder::Fits(std::size_t length) const {
    if (rows_ >= kMaxRowsPerPage) return false;
    const std::size_t tableEnd = format_.data_row_offsets + 2 * (rows_ + 1);
    return low_ >= tableEnd && low_ - tableEnd >= length;
}

std::size_t DataPageBuilder::Add(ByteSpan row, ByteSpan rest) {
    if (!Fits(row.size() + rest.size())) throw std::logic_error("row added to a data page without room for it");
    low_ -= row.size() + rest.size();
    PutBytes(page_, low_, row);
    PutBytes(page_, low_ + row.size(), rest);
    PutLe16(page_, format_.data_row_offsets + 2 * rows_, static_cast<std::uint16_t>(low_));
    ++rows_;
    return low_;
}

std::size_t DataPageBuilder::free_space() const { return low_ - (format_.data_row_offsets + 2 * rows_); }

ByteSpan DataPageBuilder::Finish() {
    PutLe16(page_, format_.page_free_space, static_cast<std::uint16_t>(free_space()));
    PutLe16(page_, format_.data_row_count, static_cast<std::uint16_t>(rows_));
    return page_;
}

DataPagePacker::DataPagePacker(const Format& format, std::uint32_t owner, PageAllocator& allocator, PageSink& sink)
    : format_(format), owner_(owner), allocator_(allocator), sink_(sink) {}

void DataPagePacker::Close() {
    if (!open_) return;
    pages_.push_back({open_page_, open_->free_space()});
    sink_.WritePage(open_page_, open_->Finish());
    open_.reset();
}

PlacedRow DataPagePacker::Add(ByteSpan row, ByteSpan rest) {
    const std::size_t length = row.size() + rest.size();
    if (length > MaxRow()) throw std::length_error("row longer than a data page");
    if (!open_ || !open_->Fits(length)) {
        Close();
        open_.emplace(format_, owner_);
        open_page_ = allocator_.Take();
    }
    const auto slot = static_cast<std::uint8_t>(open_->row_count());
    const std::size_t offset = open_->Add(row, rest);
    return {{open_page_, slot}, offset};
}

void DataPagePacker::Patch(const PlacedRow& row, std::size_t offset_in_row, ByteSpan bytes) {
    const std::size_t at = row.offset + offset_in_row;
    if (open_ && open_page_ == row.where.page) {
        PutBytes(open_->bytes(), at, bytes);
    } else {
        sink_.PatchPage(row.where.page, at, bytes);
    }
}

void DataPagePacker::Finish() { Close(); }

std::vector<std::uint32_t> PagesOf(const std::vector<PackedPage>& packed, std::size_t min_free) {
    std::vector<std::uint32_t> pages;
    for (const PackedPage& p : packed)
        if (p.free_space >= min_free) pages.push_back(p.page);
    std::sort(pages.begin(), pages.end());
    return pages;
}

}  // namespace dorvane::jet::write
