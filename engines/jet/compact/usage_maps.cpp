#include "engines/jet/compact/usage_maps.h"

#include <algorithm>
#include <stdexcept>

#include "core/error.h"

namespace dorvane::jet::compact {

namespace {
void SetBit(std::vector<std::uint8_t>& b, std::size_t base, std::size_t bit) {
    b[base + bit / 8] = static_cast<std::uint8_t>(b[base + bit / 8] | (1U << (bit % 8)));
}

std::vector<std::uint8_t> BitmapPage(const PageLayout& layout) {
    std::vector<std::uint8_t> b(layout.pageSize, 0);
    PutU16(b, 0, 0x0105);  // page type, then 0x01
    return b;
}

const char* kTooLarge = "the compacted database would be larger than a usage map can describe";
}  // namespace

std::vector<std::uint8_t> MakeUsageMap(const PageLayout& layout, const std::vector<std::uint32_t>& sortedPages,
                                       PageAllocator& allocator, PageSink& sink) {
    std::vector<std::uint8_t> record(layout.mapRecordLength, 0);
    if (sortedPages.empty()) return record;
    const std::uint32_t start = sortedPages.front() / 8 * 8;
    if (sortedPages.back() - start < layout.MapInlineBits()) {
        PutU32(record, 1, start);
        for (std::uint32_t p : sortedPages) SetBit(record, 5, p - start);
        return record;
    }
    record[0] = 0x01;
    const std::size_t per = layout.MapPagesBits();
    for (auto it = sortedPages.begin(); it != sortedPages.end();) {
        const std::size_t slot = *it / per;
        if (slot >= layout.MapReferenceSlots()) throw Error(errc::kInternal, kTooLarge);
        auto page = BitmapPage(layout);
        for (; it != sortedPages.end() && *it / per == slot; ++it) SetBit(page, 4, *it - slot * per);
        const std::uint32_t at = allocator.Take();
        sink.WritePage(at, page);
        PutU32(record, 1 + 4 * slot, at);
    }
    return record;
}

std::size_t MapRecordPages::RecordsPerPage(const PageLayout& layout) {
    return std::min<std::size_t>(PageLayout::kMaxRowsPerPage, layout.DataCapacity() / (layout.mapRecordLength + 2));
}

MapRecordPages::MapRecordPages(const PageLayout& layout, std::size_t records, PageAllocator& allocator)
    : layout_(layout), capacity_(records) {
    const std::size_t per = RecordsPerPage(layout);
    for (std::size_t i = 0; i < (records + per - 1) / per; ++i) pages_.push_back(allocator.Take());
}

RowPointer MapRecordPages::Add(std::vector<std::uint8_t> record) {
    if (records_.size() >= capacity_) throw std::logic_error("more usage-map records than reserved");
    if (record.size() != layout_.mapRecordLength) throw std::logic_error("usage-map record of unexpected length");
    const std::size_t i = records_.size();
    records_.push_back(std::move(record));
    const std::size_t per = RecordsPerPage(layout_);
    return {pages_[i / per], static_cast<std::uint8_t>(i % per)};
}

void MapRecordPages::Write(PageSink& sink) const {
    if (records_.size() != capacity_) throw std::logic_error("usage-map records missing");
    const std::size_t per = RecordsPerPage(layout_);
    for (std::size_t p = 0; p < pages_.size(); ++p) {
        std::vector<std::uint8_t> b(layout_.pageSize, 0);
        PutU16(b, 0, 0x0101);  // page type, then 0x01
        std::size_t low = layout_.pageSize;
        std::uint32_t slots = 0;
        for (std::size_t i = p * per; i < std::min(records_.size(), (p + 1) * per); ++i, ++slots) {
            low -= records_[i].size();
            std::copy(records_[i].begin(), records_[i].end(), b.begin() + static_cast<std::ptrdiff_t>(low));
            PutU16(b, layout_.dataRowTable + 2 * slots, static_cast<std::uint32_t>(low));
        }
        PutU16(b, layout_.dataRowCount, slots);
        PutU16(b, 2, static_cast<std::uint32_t>(low - (layout_.dataRowTable + 2 * slots)));
        sink.WritePage(pages_[p], b);
    }
}

void WriteGlobalMap(const PageLayout& layout, PageAllocator& allocator, PageSink& sink) {
    const std::size_t rowOneLength = layout.mapRecordLength;
    const std::size_t inlineRoom = layout.DataCapacity() - 4 - rowOneLength - 5;
    const auto bitmapBytes = [&layout](std::size_t pages) {
        return std::max(layout.mapRecordLength - 5, (pages + 31) / 32 * 4);
    };

    std::vector<std::uint8_t> rowZero;
    if (bitmapBytes(allocator.PageCount()) <= inlineRoom) {
        const std::uint32_t count = allocator.PageCount();
        rowZero.assign(5 + bitmapBytes(count), 0);
        for (std::uint32_t p : allocator.Holes()) SetBit(rowZero, 5, p);
        for (std::size_t p = count; p < (rowZero.size() - 5) * 8; ++p) SetBit(rowZero, 5, p);
    } else {
        // Too many pages for one inline row: a reference map whose bitmap pages
        // are themselves pages of the file, so take them before counting.
        const std::size_t per = layout.MapPagesBits();
        std::vector<std::uint32_t> bitmapPages;
        while (bitmapPages.size() < (allocator.PageCount() + per - 1) / per) bitmapPages.push_back(allocator.Take());
        if (bitmapPages.size() > layout.MapReferenceSlots()) throw Error(errc::kInternal, kTooLarge);
        const std::uint32_t count = allocator.PageCount();
        const auto holes = allocator.Holes();
        rowZero.assign(layout.mapRecordLength, 0);
        rowZero.at(0) = 0x01;  // reference map
        for (std::size_t slot = 0; slot < bitmapPages.size(); ++slot) {
            auto page = BitmapPage(layout);
            for (std::size_t bit = 0; bit < per; ++bit) {
                const std::size_t p = slot * per + bit;
                if (p >= count || holes.contains(static_cast<std::uint32_t>(p))) SetBit(page, 4, bit);
            }
            sink.WritePage(bitmapPages[slot], page);
            PutU32(rowZero, 1 + 4 * slot, bitmapPages[slot]);
        }
    }

    std::vector<std::uint8_t> b(layout.pageSize, 0);
    PutU16(b, 0, 0x0101);  // page type, then 0x01
    PutU32(b, 4, 1);
    std::size_t low = layout.pageSize - rowZero.size();
    std::copy(rowZero.begin(), rowZero.end(), b.begin() + static_cast<std::ptrdiff_t>(low));
    PutU16(b, layout.dataRowTable, static_cast<std::uint32_t>(low));
    low -= rowOneLength;  // row 1: an empty inline map
    PutU16(b, layout.dataRowTable + 2, static_cast<std::uint32_t>(low));
    PutU16(b, layout.dataRowCount, 2);
    PutU16(b, 2, static_cast<std::uint32_t>(low - (layout.dataRowTable + 4)));
    sink.WritePage(1, b);
}

}  // namespace dorvane::jet::compact
