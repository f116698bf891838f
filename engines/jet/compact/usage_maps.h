#pragma once
// Usage-map records for a set of pages, the pages that hold the records, and
// page 1 with the database-wide map of free pages.

#include <cstdint>
#include <set>
#include <vector>

#include "engines/jet/compact/bytes.h"
#include "engines/jet/compact/layout.h"
#include "engines/jet/compact/page_allocator.h"
#include "engines/jet/compact/page_sink.h"

namespace dorvane::jet::compact {

// A record of the default length: inline when the set spans few enough pages,
// otherwise a reference record whose bitmap pages (type 0x05) are taken from
// the allocator and written to the sink.
std::vector<std::uint8_t> MakeUsageMap(const PageLayout& layout, const std::vector<std::uint32_t>& sortedPages,
                                       PageAllocator& allocator, PageSink& sink);

// Pages reserved up front for a known number of records, so that records can
// be pointed at before their content is known.
class MapRecordPages {
public:
    MapRecordPages(const PageLayout& layout, std::size_t records, PageAllocator& allocator);
    // Stores the next record and returns the pointer to it.
    RowPointer Add(std::vector<std::uint8_t> record);
    void Write(PageSink& sink) const;
    static std::size_t RecordsPerPage(const PageLayout& layout);

private:
    const PageLayout& layout_;
    std::vector<std::uint32_t> pages_;
    std::vector<std::vector<std::uint8_t>> records_;
    std::size_t capacity_;
};

// Writes page 1. Must be the last allocation: it may take bitmap pages for a
// large file, and then marks the holes and everything past the end as free.
void WriteGlobalMap(const PageLayout& layout, PageAllocator& allocator, PageSink& sink);

}  // namespace dorvane::jet::compact
