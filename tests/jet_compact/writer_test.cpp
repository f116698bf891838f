// The compactor's page writers for both versions, read back by the engine's reader: data pages,
// long values, usage maps, page 1, index trees (definitions: every compaction's verification);
// the digest and the row map that carry what was written over to the indexes and the verification.

#include <map>
#include <numeric>
#include <random>
#include <set>

#include "engines/jet/write/data_pages.h"
#include "engines/jet/compact/digest.h"
#include "engines/jet/compact/row_map.h"
#include "engines/jet/compact/table_slots.h"
#include "engines/jet/write/index_tree.h"
#include "engines/jet/write/long_values.h"
#include "engines/jet/write/usage_maps.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet::write {
namespace {

using namespace testing;

// The written pages as a sparse file of `pages` pages, after page 0 of a real file.
PageFile Written(const Format& f, const MemoryPageSink& sink, std::uint64_t pages = 0) {
    static TempFolder folder;
    const fs::path path = folder / "written.mdb";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const Bytes header =
        ReadBytes(TestData() / (f.version == Version::kJet3 ? "mdb/jet3/testV1997.mdb" : "mdb/jet4/testV2000.mdb"));
    out.write(reinterpret_cast<const char*>(header.data()), f.page_size);
    for (const auto& [number, page] : sink.pages())
        out.seekp(static_cast<std::streamoff>(number) * f.page_size)
            .write(reinterpret_cast<const char*>(page.data()), f.page_size);
    out.close();
    fs::resize_file(path, (pages ? pages : sink.pages().rbegin()->first + 1) * f.page_size);
    return PageFile::Open(path);
}

// The data page's free space as stored, where its slots leave it.
std::uint16_t FreeSpace(const PageFile& file, std::uint32_t page) {
    const DataPage parsed = DataPage::Parse(file.format(), page, file.ReadPage(page));
    EXPECT_EQ(parsed.stored_free_space(), parsed.ComputedFreeSpace()) << "page " << page;
    return parsed.stored_free_space();
}

class Writers : public ::testing::TestWithParam<Version> {
protected:
    const Format& f = FormatFor(GetParam());
    MemoryPageSink sink;
};

TEST_P(Writers, PackedRowsReadBack) {
    PageAllocator alloc({});
    DataPagePacker packer(f, 40, alloc, sink);
    std::vector<std::pair<RowPointer, Bytes>> placed;
    const auto add = [&](Bytes row) { placed.emplace_back(packer.Add(row).where, std::move(row)); };
    for (std::size_t i = 0; i < 400; ++i) add(Bytes(1 + (i * 37) % 300, static_cast<std::uint8_t>(i)));
    add(Bytes(packer.MaxRow(), 0xAB));            // a page of its own
    for (int i = 0; i < 300; ++i) add(Bytes{7});  // at most 255 a page
    packer.Finish();
    EXPECT_THROW(packer.Add(Bytes(packer.MaxRow() + 1)), std::length_error);

    const PageFile file = Written(f, sink);
    for (const auto& [at, row] : placed) EXPECT_EQ(ReadStoredRow(file, at).bytes, row);
    for (const PackedPage& page : packer.pages()) {
        EXPECT_EQ(ReadStoredRow(file, {page.page, 0}).owner, 40u);
        EXPECT_EQ(FreeSpace(file, page.page), page.free_space);
    }
    EXPECT_EQ(FreeSpace(file, placed[400].first.page), 0);
    const std::uint32_t full = packer.pages().end()[-2].page;
    EXPECT_EQ(DataPage::Parse(f, full, file.ReadPage(full)).slots().size(), kMaxRowsPerPage);
}

// Single rows, and chains of segment rows each no longer than the format's.
TEST_P(Writers, LongValuesReadBack) {
    PageAllocator alloc({4});
    LongValueWriter writer(f, alloc, sink);
    Bytes chained(f.page_size * 3 + 123);
    std::iota(chained.begin(), chained.end(), std::uint8_t{1});
    const std::tuple<LongValueKind, Bytes, std::size_t> values[] = {
        {LongValueKind::kSingle, {1, 2, 3}, 1},
        {LongValueKind::kChain, {}, 1},
        {LongValueKind::kChain, chained, chained.size() / (f.lv_segment_row - kLongValueSegmentLink) + 1}};
    std::vector<Bytes> fields;
    for (const auto& [kind, value, rows] : values) {
        Bytes& field = fields.emplace_back(kLongValueFieldHeader, 0);
        PutLe32(field, 0, static_cast<std::uint32_t>(value.size()) | (kind == LongValueKind::kSingle ? 1u << 30 : 0));
        PutLe32(field, kLongValueFieldPointer, writer.Write(kind, value).ToU32());
    }
    writer.Finish();
    EXPECT_THROW(writer.Write(LongValueKind::kSingle, Bytes(f.page_size)), Error);
    const PageFile file = Written(f, sink);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(ReadLongValue(file, fields[i]), std::get<1>(values[i])) << i;
        const std::vector<RowPointer> rows = LongValueRows(file, fields[i]);
        EXPECT_EQ(rows.size(), std::get<2>(values[i])) << i;
        for (RowPointer row : rows) EXPECT_LE(ReadStoredRow(file, row).bytes.size(), f.lv_segment_row);
        EXPECT_EQ(ReadStoredRow(file, rows.at(0)).owner, kLongValueOwner);
    }
}

TEST_P(Writers, UsageMapsAndTheirRecordPages) {
    PageAllocator alloc({3});
    const std::uint32_t per = PagesPerBitmapPage(f);
    const auto inlineBits = static_cast<std::uint32_t>((f.usage_map_record - kUsageMapInlineHeader) * 8);
    const std::vector<std::uint32_t> sets[] = {{}, {17, 18, 40, 17 + inlineBits - 2}, {3, 2 * per + 5, 2 * per + 6}};
    const std::size_t count = MapRecordPages::RecordsPerPage(f) + 1;  // one on a second page
    MapRecordPages records(f, count, alloc);
    std::vector<RowPointer> at;
    for (std::size_t i = 0; i < count; ++i) at.push_back(records.Add(MakeUsageMap(f, sets[i % 3], alloc, sink)));
    records.Write(sink);
    EXPECT_EQ(std::vector<std::uint32_t>({at.front().page, at.back().page}), std::vector<std::uint32_t>({2, 4}));
    const PageFile file = Written(f, sink, 2 * per + 7);
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(ReadUsageMap(file, at[i]).pages, sets[i % 3]) << i;
    EXPECT_EQ(ReadUsageMap(file, at[1]).start_page, 16u);
    EXPECT_EQ(ReadStoredRow(file, at[2]).bytes[0], kUsageMapReference);
    for (const std::uint32_t page : {2u, 4u}) FreeSpace(file, page);
}

// Page 1: holes and pages past the end free, in a reference map for a large file.
TEST_P(Writers, GlobalMapMarksHolesAndEverythingPastTheEnd) {
    const std::uint32_t per = PagesPerBitmapPage(f);
    for (const std::uint32_t fixed : {20u, per + 10}) {
        PageAllocator alloc({9, fixed});
        while (alloc.Peek() < (fixed > per ? per - 3 : 7)) alloc.Take();
        WriteGlobalMap(f, alloc, sink);  // a large file's two bitmap pages come next
        const PageFile file = Written(f, sink, fixed + 2);
        std::vector<std::uint32_t> expected;
        for (std::uint32_t p = fixed > per ? per - 1 : 7; p <= fixed + 1; ++p)
            if (p != 9 && p != fixed) expected.push_back(p);
        const std::size_t inlineEnd = (f.usage_map_record - kUsageMapInlineHeader) * 8;
        for (std::uint32_t p = fixed + 2; fixed < per && p < inlineEnd; ++p)
            expected.push_back(p);  // inline: as stored
        EXPECT_EQ(ReadGlobalFreeMap(file).pages, expected) << fixed;
        EXPECT_EQ(ReadStoredRow(file, {1, 0}).owner, 1u);
        EXPECT_TRUE(DecodeUsageMap(file, ReadStoredRow(file, {1, 1}).bytes).pages.empty());
        FreeSpace(file, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Jet3AndJet4, Writers, ::testing::Values(Version::kJet3, Version::kJet4),
                         [](const auto& p) { return p.param == Version::kJet3 ? "Jet3" : "Jet4"; });

// The last leaf entry under a page, checking on the way free space, owner, that node
// entries repeat the last entry under their child, and that leaves are chained.
Bytes LastEntryUnder(const PageFile& file, std::uint32_t number, std::vector<std::uint32_t>& leaves) {
    const IndexPage page = ParseIndexPage(file.format(), number, file.ReadPage(number));
    EXPECT_EQ(page.stored_free_space, file.format().IndexEntryRoom() - page.used_bytes);
    EXPECT_EQ(page.owner, 77u);
    if (page.leaf) {
        const std::uint32_t prev = leaves.empty() ? 0 : leaves.back();
        EXPECT_EQ(page.prev, prev);
        EXPECT_EQ(prev == 0 ? number : ParseIndexPage(file.format(), prev, file.ReadPage(prev)).next, number);
        leaves.push_back(number);
        return page.entries.empty() ? Bytes{}
                                    : IndexEntry{page.entries.back().key, page.entries.back().row}.SortBytes();
    }
    for (const IndexPageEntry& e : page.entries)
        EXPECT_EQ(LastEntryUnder(file, e.child, leaves), (IndexEntry{e.key, e.row}.SortBytes()));
    return LastEntryUnder(file, page.tail, leaves);
}

class IndexTrees : public ::testing::TestWithParam<std::tuple<Version, int>> {};

// Keys with long shared prefixes and duplicates, like text keys; with five
// entries, keys sharing 300 bytes (more than Jet 3's one-byte prefix field).
TEST_P(IndexTrees, ReadBackInOrderWithLinksAndNodeEntries) {
    const Format& f = FormatFor(std::get<0>(GetParam()));
    const int count = std::get<1>(GetParam());
    std::mt19937 rng(static_cast<unsigned>(count));
    IndexEntryList list;
    std::set<Bytes> keys;
    for (int i = 0; i < count; ++i) {
        Bytes key = count == 5 ? Bytes(300, 0x41) : Bytes{0x7F, 0x41, 0x42, static_cast<std::uint8_t>(rng() % 7)};
        for (std::size_t k = count == 5 ? 1 : rng() % 30; k > 0; --k)
            key.push_back(static_cast<std::uint8_t>(0x60 + rng() % 3));
        list.Add(key, {static_cast<std::uint32_t>(2 + i / 100), static_cast<std::uint8_t>(i % 100)});
        keys.insert(key);
    }
    list.Sort();
    EXPECT_EQ(list.DistinctKeys(), keys.size());
    PageAllocator alloc({});
    MemoryPageSink sink;
    const IndexTree tree = BuildIndexTree(f, 77, list, alloc, sink);
    const PageFile file = Written(f, sink);
    const IndexWalk walk = WalkIndex(file, tree.root);
    ASSERT_EQ(walk.entries.size(), list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        ASSERT_TRUE(std::ranges::equal(walk.entries[i].SortBytes(), list.Entry(i))) << i;
    EXPECT_EQ(walk.depth >= 2, count >= 200000);
    EXPECT_EQ(std::set<std::uint32_t>(walk.pages.begin(), walk.pages.end()),
              std::set<std::uint32_t>(tree.pages.begin(), tree.pages.end()));
    std::vector<std::uint32_t> leaves;
    LastEntryUnder(file, tree.root, leaves);
    EXPECT_EQ(ParseIndexPage(f, leaves.back(), file.ReadPage(leaves.back())).next, 0u);
    IndexEntryList tooLong;
    tooLong.Add(Bytes(f.IndexEntryRoom()), {2, 0});
    EXPECT_THROW(BuildIndexTree(f, 77, tooLong, alloc, sink), Error);
}

INSTANTIATE_TEST_SUITE_P(Sizes, IndexTrees,
                         ::testing::Combine(::testing::Values(Version::kJet3, Version::kJet4),
                                            ::testing::Values(0, 1, 5, 300, 5000, 200000)));

// The verification trusts a matching digest: every bit, every boundary
// between strings and their order must count.
TEST(Digest, TellsApartWhatACopyCouldGetWrong) {
    const auto of = [](std::initializer_list<Bytes> strings) {
        compact::Digest d;
        for (const Bytes& s : strings) d.Add(s);
        return d;
    };
    const Bytes row{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
    const compact::Digest base = of({row});
    EXPECT_TRUE(of({row}) == base);
    for (std::size_t bit = 0; bit < row.size() * 8; ++bit) {
        Bytes flipped = row;
        flipped[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
        EXPECT_FALSE(of({flipped}) == base) << bit;
    }
    EXPECT_FALSE(of({Bytes(row.begin(), row.end() - 1)}) == base);
    EXPECT_FALSE(of({Bytes(row.begin(), row.begin() + 8), Bytes(row.begin() + 8, row.end())}) == base);
    EXPECT_FALSE(of({Bytes{}, Bytes{0}}) == of({Bytes{0}, Bytes{}}));
    EXPECT_FALSE(of({Bytes{}}) == compact::Digest{});
    compact::Digest pointer;
    pointer.AddU32(0x0102);
    EXPECT_FALSE(pointer == of({Bytes{0x02, 0x01, 0, 0}}));
}

// A salvage asks a question of every row of a table, most of them answered
// for no row: such a question must cost nothing, and one answered must keep
// its answers as the table grows.
TEST(RowBits, TakesMemoryOnlyOnceABitIsSet) {
    compact::RowBits bits;
    bits.Resize(5'000'000);
    EXPECT_EQ(bits.held_bytes(), 0u);
    EXPECT_FALSE(bits.Test(4'999'999));
    bits.Clear(17);
    EXPECT_EQ(bits.Count(), 0u);
    EXPECT_EQ(bits.held_bytes(), 0u);
    bits.Set(4'999'999);
    bits.Set(64);
    EXPECT_GE(bits.held_bytes(), 5'000'000u / 8);
    bits.Resize(6'000'000);
    bits.Set(5'999'999);
    EXPECT_TRUE(bits.Test(4'999'999) && bits.Test(64) && bits.Test(5'999'999));
    EXPECT_FALSE(bits.Test(63) || bits.Test(65) || bits.Test(6'000'000));
    bits.Clear(64);
    EXPECT_EQ(bits.Count(), 2u);
    EXPECT_EQ(bits.Count(0, 5'000'000), 1u);
}

// Rows as a copy writes them (source pages in order, the copy's pages filled
// slot by slot, with pages of other things between them), and the same with
// one row put elsewhere, given out of order, or given twice: every row is
// found where it went, and nothing else is found.
TEST(RowMap, FindsWhereEachRowWent) {
    std::mt19937 random(7);
    std::vector<std::pair<RowPointer, RowPointer>> rows;
    std::uint32_t copyPage = 40, copyRow = 0, perPage = 50;
    constexpr std::uint32_t kEnd = 1200;  // a span of source pages the map keeps in several parts
    for (std::uint32_t page = 5; page < kEnd; ++page) {
        // Most pages hold rows in their first 64 slots only; some in all 256,
        // some only past the first 64.
        const unsigned first = page % 7 == 0 ? 64 : 0;
        const unsigned end = page % 3 == 0 || first != 0 ? 256 : 64;
        for (unsigned slot = first; slot < end; ++slot) {
            if (random() % 4 != 0) continue;
            if (copyRow == perPage) {
                copyPage += 1 + static_cast<std::uint32_t>(random() % 3);
                copyRow = 0;
                perPage = 1 + static_cast<std::uint32_t>(random() % 120);
            }
            rows.push_back({RowPointer{page, static_cast<std::uint8_t>(slot)},
                            RowPointer{copyPage, static_cast<std::uint8_t>(copyRow++)}});
        }
    }
    auto elsewhere = rows;
    elsewhere[rows.size() / 2].second.row ^= 1;
    auto unordered = rows;
    std::shuffle(unordered.begin() + 100, unordered.end(), random);
    auto twice = rows;
    for (std::size_t i = 0; i < rows.size(); i += 97)
        twice.insert(twice.begin() + static_cast<std::ptrdiff_t>(i + 1), {rows[i].first, RowPointer{1, 1}});
    auto twiceUnordered = twice;
    std::shuffle(twiceUnordered.begin(), twiceUnordered.end(), random);
    for (const auto* given : {&rows, &elsewhere, &unordered, &twice, &twiceUnordered}) {
        compact::RowMap map;
        std::map<std::uint32_t, RowPointer> expected;  // the first pointer given counts
        for (const auto& [from, to] : *given) {
            map.Add(from, to);
            expected.emplace(from.ToU32(), to);
        }
        map.Seal();
        EXPECT_EQ(map.size(), given->size());
        for (std::uint32_t page = 0; page < kEnd + 2; ++page) {
            for (unsigned slot = 0; slot < 256; ++slot) {
                const RowPointer from{page, static_cast<std::uint8_t>(slot)};
                const auto want = expected.find(from.ToU32());
                const std::optional<RowPointer> found = map.Find(from);
                ASSERT_EQ(found.has_value(), want != expected.end()) << from.ToString();
                if (found) {
                    ASSERT_EQ(*found, want->second) << from.ToString();
                }
            }
        }
    }
}

}  // namespace
}  // namespace dorvane::jet::write
