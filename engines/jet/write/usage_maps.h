#pragma once
// Usage-map records for a set of pages, the pages that hold the records, and
// page 1 with the database-wide map of free pages.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engines/jet/write/page_allocator.h"
#include "engines/jet/write/page_sink.h"
#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/format.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet::write {

// A record of the format's usage-map record length: inline when the set spans
// few enough pages, otherwise a reference record whose bitmap pages (type
// 0x05) are taken from the allocator and written to the sink.
Bytes MakeUsageMap(const Format& format, const std::vector<std::uint32_t>& sorted_pages, PageAllocator& allocator,
                   PageSink& sink);

// Pages reserved up front for a known number of records, so that records can
// be pointed at before their content is known.
class MapRecordPages {
public:
    MapRecordPages(const Format& format, std::size_t records, PageAllocator& allocator);
    // Stores the next record and returns the pointer to it.
    RowPointer Add(Bytes record);
    std::size_t added() const { return records_.size(); }
    // Forgets the records added after the first `count`: their pointers are
    // given out again.
    void KeepFirst(std::size_t count) { records_.resize(std::min(count, records_.size())); }
    void Write(PageSink& sink) const;
    static std::size_t RecordsPerPage(const Format& format);

private:
    const Format& format_;
    std::vector<std::uint32_t> pages_;
    std::vector<Bytes> records_;
    std::size_t capacity_;
};

// Writes page 1. Must be the last allocation: it may take bitmap pages for a
// large file, and then marks the holes and everything past the end as free.
void WriteGlobalMap(const Format& format, PageAllocator& allocator, PageSink& sink);

// Usage-map records a table's definition points at: its rows' two, one per
// index, and one or two per memo/OLE column.
std::size_t MapRecordsOf(const TableDef& def);

}  // namespace dorvane::jet::write
