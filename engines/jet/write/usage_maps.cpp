#include "engines/jet/write/usage_maps.h"

#include <algorithm>
#include <stdexcept>

#include "core/error.h"
#include "engines/jet/write/data_pages.h"
#include "engines/jet/format/usage_map.h"

namespace dorvane::jet::write {

namespace {

const char* kTooLarge = "the compacted database would be larger than a usage map can describe";

void SetBit(MutableByteSpan bytes, std::size_t base, std::size_t bit) {
    bytes[base + bit / 8] = static_cast<std::uint8_t>(bytes[base + bit / 8] | (1U << (bit % 8)));
}

std::size_t ReferenceSlots(const Format& f) { return (f.usage_map_record - ReferenceSlotOffset(0)) / 4; }
std::size_t InlineBits(const Format& f) { return (f.usage_map_record - kUsageMapInlineHeader) * 8; }

Bytes ReferenceRecord(const Format& f) {
    Bytes record(f.usage_map_record, 0);
    record.at(0) = kUsageMapReference;
    return record;
}

}  // namespace

Bytes MakeUsageMap(const Format& format, const std::vector<std::uint32_t>& sorted_pages, PageAllocator& allocator,
                   PageSink& sink) {
    Bytes record(format.usage_map_record, 0);
    if (sorted_pages.empty()) return record;
    const std::uint32_t start = sorted_pages.front() / 8 * 8;
    if (sorted_pages.back() - start < InlineBits(format)) {
        PutLe32(record, kUsageMapStartPage, start);
        for (std::uint32_t p : sorted_pages) SetBit(record, kUsageMapInlineHeader, p - start);
        return record;
    }
    record = ReferenceRecord(format);
    const std::uint32_t per = PagesPerBitmapPage(format);
    for (auto it = sorted_pages.begin(); it != sorted_pages.end();) {
        const std::size_t slot = *it / per;
        if (slot >= ReferenceSlots(format)) throw Error(errc::kInternal, kTooLarge);
        Bytes page = NewPage(format, kPageUsageBitmap);
        for (; it != sorted_pages.end() && *it / per == slot; ++it)
            SetBit(page, kUsageBitmapPageHeader, *it - slot * per);
        const std::uint32_t at = allocator.Take();
        sink.WritePage(at, page);
        PutLe32(record, ReferenceSlotOffset(slot), at);
    }
    return record;
}

std::size_t MapRecordPages::RecordsPerPage(const Format& format) {
    return std::min<std::size_t>(kMaxRowsPerPage, format.DataRowRoom() / (format.usage_map_record + 2));
}

MapRecordPages::MapRecordPages(const Format& format, std::size_t records, PageAllocator& allocator)
    : format_(format), capacity_(records) {
    const std::size_t per = RecordsPerPage(format);
    for (std::size_t i = 0; i < (records + per - 1) / per; ++i) pages_.push_back(allocator.Take());
}

RowPointer MapRecordPages::Add(Bytes record) {
    if (records_.size() >= capacity_) throw std::logic_error("more usage-map records than reserved");
    if (record.size() != format_.usage_map_record) throw std::logic_error("usage-map record of unexpected length");
    const std::size_t i = records_.size();
    records_.push_back(std::move(record));
    const std::size_t per = RecordsPerPage(format_);
    return {pages_[i / per], static_cast<std::uint8_t>(i % per)};
}

void MapRecordPages::Write(PageSink& sink) const {
    if (records_.size() != capacity_) throw std::logic_error("usage-map records missing");
    const std::size_t per = RecordsPerPage(format_);
    for (std::size_t p = 0; p < pages_.size(); ++p) {
        DataPageBuilder page(format_, 0);
        for (std::size_t i = p * per; i < std::min(records_.size(), (p + 1) * per); ++i) page.Add(records_[i]);
        sink.WritePage(pages_[p], page.Finish());
    }
}

namespace {

// Row 0 of page 1: an inline map from page 0 while it fits beside row 1,
// else a reference map whose bitmap pages are pages of the file themselves,
// so they are taken before the pages are counted.
Bytes GlobalFreeMapRecord(const Format& f, PageAllocator& allocator, PageSink& sink) {
    const std::size_t inlineRoom = f.DataRowRoom() - 4 - f.usage_map_record - kUsageMapInlineHeader;
    const std::size_t inlineBitmap =
        std::max<std::size_t>(f.usage_map_record - kUsageMapInlineHeader, (allocator.page_count() + 31) / 32 * 4);
    if (inlineBitmap <= inlineRoom) {
        const std::uint32_t count = allocator.page_count();
        Bytes record(kUsageMapInlineHeader + inlineBitmap, 0);
        for (std::uint32_t p : allocator.Holes()) SetBit(record, kUsageMapInlineHeader, p);
        for (std::size_t p = count; p < inlineBitmap * 8; ++p) SetBit(record, kUsageMapInlineHeader, p);
        return record;
    }
    const std::uint32_t per = PagesPerBitmapPage(f);
    std::vector<std::uint32_t> bitmapPages;
    while (bitmapPages.size() < (allocator.page_count() + per - 1) / per) bitmapPages.push_back(allocator.Take());
    if (bitmapPages.size() > ReferenceSlots(f)) throw Error(errc::kInternal, kTooLarge);
    const std::uint32_t count = allocator.page_count();
    const auto holes = allocator.Holes();
    Bytes record = ReferenceRecord(f);
    for (std::size_t slot = 0; slot < bitmapPages.size(); ++slot) {
        Bytes page = NewPage(f, kPageUsageBitmap);
        for (std::size_t bit = 0; bit < per; ++bit) {
            const std::size_t p = slot * per + bit;
            if (p >= count || holes.contains(static_cast<std::uint32_t>(p))) SetBit(page, kUsageBitmapPageHeader, bit);
        }
        sink.WritePage(bitmapPages[slot], page);
        PutLe32(record, ReferenceSlotOffset(slot), bitmapPages[slot]);
    }
    return record;
}

}  // namespace

void WriteGlobalMap(const Format& format, PageAllocator& allocator, PageSink& sink) {
    const Bytes free = GlobalFreeMapRecord(format, allocator, sink);
    DataPageBuilder page(format, kGlobalMapPage);  // page 1's owner field holds 1
    page.Add(free);
    page.Add(Bytes(format.usage_map_record, 0));  // row 1: an empty inline map
    sink.WritePage(kGlobalMapPage, page.Finish());
}

std::size_t MapRecordsOf(const TableDef& def) {
    std::size_t n = 2 + def.physical_indexes.size();
    for (const LongValueMap& lv : def.long_value_maps) n += lv.free_map != 0 ? 2 : 1;
    return n;
}

}  // namespace dorvane::jet::write
