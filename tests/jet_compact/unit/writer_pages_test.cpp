// Data pages, long values, usage maps, page 1, the allocator and the table
// definition write-back, each read back with a small independent decoder.

#include <gtest/gtest.h>

#include <numeric>
#include <set>

#include "engines/jet/compact/data_pages.h"
#include "engines/jet/compact/long_values.h"
#include "engines/jet/compact/usage_maps.h"
#include "core/error.h"
#include "engines/jet/format/usage_map.h"
#include "engines/jet/format/bytes.h"

namespace dorvane::jet::compact {
namespace {

using Page = std::vector<std::uint8_t>;

struct DecodedSlot {
    std::size_t start, end;
};

// Slots of a data page as a reader sees them: row i ends where row i-1 starts.
std::vector<DecodedSlot> Slots(const Format& l, const Page& p) {
    std::vector<DecodedSlot> out;
    const unsigned n = Le16(p, l.data_row_count);
    for (unsigned i = 0; i < n; ++i) {
        const std::size_t start = Le16(p, l.data_row_offsets + 2 * i) & 0x1FFFU;
        const std::size_t end = i == 0 ? l.page_size : out.back().start;
        out.push_back({start, end});
    }
    return out;
}

std::size_t FreeSpaceByFormula(const Format& l, const Page& p) {
    const auto slots = Slots(l, p);
    std::size_t used = 0;
    for (auto& s : slots) used += s.end - s.start;
    return l.page_size - l.data_row_offsets - 2 * slots.size() - used;
}

Page RowAt(const Format& l, const MemoryPageSink& sink, RowPointer at) {
    const Page& p = sink.pages().at(at.page);
    const auto s = Slots(l, p).at(at.row);
    return Page(p.begin() + static_cast<std::ptrdiff_t>(s.start), p.begin() + static_cast<std::ptrdiff_t>(s.end));
}

std::vector<std::uint32_t> MapPages(const Format& l, const MemoryPageSink& sink, const Page& record) {
    std::vector<std::uint32_t> out;
    if (record[0] == 0) {
        const std::uint32_t start = Le32(record, 1);
        for (std::size_t bit = 0; bit < (record.size() - 5) * 8; ++bit)
            if (record[5 + bit / 8] & (1U << (bit % 8))) out.push_back(start + static_cast<std::uint32_t>(bit));
        return out;
    }
    for (std::size_t slot = 0; slot < (record.size() - 1) / 4; ++slot) {
        const std::uint32_t at = Le32(record, 1 + 4 * slot);
        if (!at) continue;
        const Page& p = sink.pages().at(at);
        EXPECT_EQ(p[0], 0x05);
        for (std::size_t bit = 0; bit < (p.size() - 4) * 8; ++bit)
            if (p[4 + bit / 8] & (1U << (bit % 8)))
                out.push_back(static_cast<std::uint32_t>(slot * PagesPerBitmapPage(l) + bit));
    }
    return out;
}

class Writers : public ::testing::TestWithParam<bool> {
protected:
    const Format& layout = FormatFor(GetParam() ? Version::kJet3 : Version::kJet4);
};

TEST_P(Writers, PackedRowsReadBackWithConsistentHeaders) {
    PageAllocator alloc({5, 6});
    MemoryPageSink sink;
    DataPagePacker packer(layout, 40, alloc, sink);
    std::vector<std::pair<RowPointer, Page>> placed;
    for (std::size_t i = 0; i < 400; ++i) {
        Page row(1 + (i * 37) % 300, static_cast<std::uint8_t>(i));
        placed.push_back({packer.Add(row).where, row});
    }
    // A row as long as a page allows takes a page of its own.
    Page big(packer.MaxRow(), 0xAB);
    placed.push_back({packer.Add(big).where, big});
    packer.Finish();

    for (auto& [at, row] : placed) EXPECT_EQ(RowAt(layout, sink, at), row);
    std::set<std::uint32_t> pages;
    for (auto& pp : packer.pages()) {
        const Page& p = sink.pages().at(pp.page);
        EXPECT_EQ(p[0], 0x01);
        EXPECT_EQ(Le32(p, 4), 40U);
        EXPECT_EQ(Le16(p, 2), FreeSpaceByFormula(layout, p));
        EXPECT_EQ(pp.free_space, Le16(p, 2));
        pages.insert(pp.page);
    }
    EXPECT_FALSE(pages.contains(5) || pages.contains(6)) << "fixed pages must be skipped";
    EXPECT_EQ(*pages.begin(), 2U);
    EXPECT_EQ(Le16(sink.pages().at(placed.back().first.page), 2), 0U);
    EXPECT_THROW(packer.Add(Page(packer.MaxRow() + 1)), std::length_error);
}

TEST_P(Writers, AtMost255RowsOnAPage) {
    PageAllocator alloc({});
    MemoryPageSink sink;
    DataPagePacker packer(layout, 2, alloc, sink);
    for (int i = 0; i < 600; ++i) packer.Add(Page(1, 7));
    packer.Finish();
    ASSERT_EQ(packer.pages().size(), 3U);
    EXPECT_EQ(Le16(sink.pages().at(2), layout.data_row_count), 255U);
    EXPECT_EQ(Le16(sink.pages().at(4), layout.data_row_count), 90U);
}

TEST_P(Writers, LongValueChainsFollowInOrder) {
    PageAllocator alloc({4});
    MemoryPageSink sink;
    LongValueWriter writer(layout, alloc, sink);
    Page value(layout.page_size * 3 + 123);
    std::iota(value.begin(), value.end(), std::uint8_t{1});
    Page small{1, 2, 3};
    const RowPointer single = writer.Write(LongValueKind::kSingle, small);
    const RowPointer chain = writer.Write(LongValueKind::kChain, value);
    const RowPointer tiny = writer.Write(LongValueKind::kChain, small);
    const RowPointer empty = writer.Write(LongValueKind::kChain, {});
    writer.Finish();

    EXPECT_EQ(RowAt(layout, sink, single), small);
    Page joined;
    std::size_t segments = 0;
    for (RowPointer at = chain;; ++segments) {
        const Page row = RowAt(layout, sink, at);
        ASSERT_GE(row.size(), 4U);
        EXPECT_LE(row.size(), layout.lv_segment_row);
        joined.insert(joined.end(), row.begin() + 4, row.end());
        if (Le32(row, 0) == 0) break;
        at = RowPointer::FromU32(Le32(row, 0));
    }
    EXPECT_EQ(joined, value);
    EXPECT_EQ(segments + 1, value.size() / (layout.lv_segment_row - 4) + 1);
    EXPECT_EQ(RowAt(layout, sink, tiny), (Page{0, 0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(RowAt(layout, sink, empty), (Page{0, 0, 0, 0}));
    for (auto& pp : writer.pages()) EXPECT_EQ(sink.pages().at(pp.page)[4], 'L');
    EXPECT_THROW(writer.Write(LongValueKind::kSingle, Page(layout.page_size)), Error);
}

TEST_P(Writers, UsageMapsInlineOrByReference) {
    PageAllocator alloc({});
    MemoryPageSink sink;
    const std::vector<std::uint32_t> none;
    EXPECT_EQ(MakeUsageMap(layout, none, alloc, sink), Page(layout.usage_map_record, 0));

    const std::vector<std::uint32_t> near{17, 18, 40, 17 + static_cast<std::uint32_t>((layout.usage_map_record - 5) * 8) - 2};
    const Page inlineMap = MakeUsageMap(layout, near, alloc, sink);
    EXPECT_EQ(inlineMap[0], 0x00);
    EXPECT_EQ(Le32(inlineMap, 1), 16U);
    EXPECT_EQ(MapPages(layout, sink, inlineMap), near);

    const auto per = static_cast<std::uint32_t>(PagesPerBitmapPage(layout));
    const std::vector<std::uint32_t> far{3, 2 * per + 5, 2 * per + 6};
    const Page refMap = MakeUsageMap(layout, far, alloc, sink);
    EXPECT_EQ(refMap.size(), layout.usage_map_record);
    EXPECT_EQ(refMap[0], 0x01);
    EXPECT_EQ(Le32(refMap, 5), 0U) << "slots without pages stay empty";
    EXPECT_EQ(MapPages(layout, sink, refMap), far);
    EXPECT_EQ(alloc.taken(), 2U) << "one bitmap page per used slot";
}

TEST_P(Writers, MapRecordsShareReservedPages) {
    PageAllocator alloc({3});
    const std::size_t per = MapRecordPages::RecordsPerPage(layout);
    EXPECT_EQ(per, (layout.version == Version::kJet3) ? 15U : 57U);
    MapRecordPages records(layout, per + 1, alloc);
    MemoryPageSink sink;
    std::vector<RowPointer> at;
    for (std::size_t i = 0; i <= per; ++i) at.push_back(records.Add(Page(layout.usage_map_record, static_cast<std::uint8_t>(i))));
    records.Write(sink);
    EXPECT_EQ(at.front(), (RowPointer{2, 0}));
    EXPECT_EQ(at.back(), (RowPointer{4, 0}));
    for (std::size_t i = 0; i <= per; ++i) EXPECT_EQ(RowAt(layout, sink, at[i])[0], i);
    for (auto& [n, p] : sink.pages()) EXPECT_EQ(Le16(p, 2), FreeSpaceByFormula(layout, p)) << n;
}

TEST_P(Writers, GlobalMapMarksHolesAndEverythingPastTheEnd) {
    PageAllocator alloc({9, 20});
    for (int i = 0; i < 5; ++i) alloc.Take();  // 2..6
    MemoryPageSink sink;
    WriteGlobalMap(layout, alloc, sink);
    const Page& p1 = sink.pages().at(1);
    EXPECT_EQ(Le32(p1, 4), 1U);
    const auto slots = Slots(layout, p1);
    ASSERT_EQ(slots.size(), 2U);
    EXPECT_EQ(Le16(p1, 2), FreeSpaceByFormula(layout, p1));
    const Page row0(p1.begin() + static_cast<std::ptrdiff_t>(slots[0].start), p1.end());
    EXPECT_EQ(row0.size(), layout.usage_map_record);
    std::vector<std::uint32_t> expected{7, 8};
    for (std::uint32_t p = 10; p < 20; ++p) expected.push_back(p);
    for (std::uint32_t p = 21; p < (layout.usage_map_record - 5) * 8; ++p) expected.push_back(p);
    EXPECT_EQ(MapPages(layout, sink, row0), expected);
    EXPECT_EQ(slots[1].end - slots[1].start, layout.usage_map_record);
}

TEST_P(Writers, GlobalMapOfAHugeFileUsesBitmapPages) {
    const auto per = static_cast<std::uint32_t>(PagesPerBitmapPage(layout));
    PageAllocator alloc({per + 10});
    while (alloc.Peek() < per - 3) alloc.Take();
    MemoryPageSink sink;
    WriteGlobalMap(layout, alloc, sink);
    const Page& p1 = sink.pages().at(1);
    const auto slots = Slots(layout, p1);
    ASSERT_FALSE(slots.empty());
    const Page row0(p1.begin() + static_cast<std::ptrdiff_t>(slots[0].start), p1.end());
    ASSERT_EQ(row0.at(0), 0x01);
    const auto free = MapPages(layout, sink, row0);
    // Two bitmap pages were taken just below the fixed page; the rest up to it is free.
    ASSERT_FALSE(free.empty());
    EXPECT_EQ(free.front(), per - 1);
    EXPECT_TRUE(std::find(free.begin(), free.end(), per + 10) == free.end());
    EXPECT_TRUE(std::find(free.begin(), free.end(), per + 11) != free.end());
    EXPECT_EQ(alloc.page_count(), per + 11);
}

INSTANTIATE_TEST_SUITE_P(Jet3AndJet4, Writers, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Jet3" : "Jet4"; });

}  // namespace
}  // namespace dorvane::jet::compact
