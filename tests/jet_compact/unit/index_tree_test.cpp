// Index trees built from sorted entries, walked back with a decoder written
// from the page format: entries, order, leaf chain, node entries and tails.

#include <gtest/gtest.h>

#include <random>

#include "engines/jet/compact/index_tree.h"
#include "core/error.h"
#include "engines/jet/format/usage_map.h"
#include "engines/jet/format/bytes.h"

namespace dorvane::jet::compact {
namespace {

using Page = std::vector<std::uint8_t>;

struct Decoded {
    bool leaf;
    std::uint32_t prev, next, tail;
    std::vector<Page> entries;  // full entries, prefix restored
};

Decoded Decode(const Format& l, const Page& p) {
    Decoded d{p[0] == 0x04, Le32(p, l.idx_prev), Le32(p, l.idx_next), Le32(p, l.idx_tail), {}};
    EXPECT_TRUE(p[0] == 0x03 || p[0] == 0x04);
    EXPECT_EQ(p[l.idx_node_flag], d.leaf ? 0 : 1);
    const std::size_t prefix = (l.version == Version::kJet3) ? p[l.idx_prefix] : Le16(p, l.idx_prefix);
    std::size_t begin = 0;
    for (std::size_t bit = 1; bit <= l.IndexEntryRoom(); ++bit) {
        if (!(p[l.idx_mask + bit / 8] & (1U << (bit % 8)))) continue;
        Page e(p.begin() + static_cast<std::ptrdiff_t>(l.idx_entries + begin),
               p.begin() + static_cast<std::ptrdiff_t>(l.idx_entries + bit));
        if (!d.entries.empty()) e.insert(e.begin(), d.entries.front().begin(), d.entries.front().begin() + static_cast<std::ptrdiff_t>(prefix));
        d.entries.push_back(e);
        begin = bit;
    }
    EXPECT_EQ(Le16(p, 2), l.page_size - l.idx_entries - begin);
    return d;
}

// Depth-first walk; returns the leaf entries and checks node invariants.
void Walk(const Format& l, const MemoryPageSink& sink, std::uint32_t page, std::vector<Page>& out,
          std::vector<std::uint32_t>& leaves) {
    const Decoded d = Decode(l, sink.pages().at(page));
    EXPECT_EQ(Le32(sink.pages().at(page), 4), 77U) << "owner";
    if (d.leaf) {
        EXPECT_EQ(d.tail, 0U);
        out.insert(out.end(), d.entries.begin(), d.entries.end());
        leaves.push_back(page);
        return;
    }
    EXPECT_NE(d.tail, 0U);
    EXPECT_FALSE(d.entries.empty()) << "a node has at least two children";
    for (const Page& e : d.entries) {
        const std::uint32_t child = (std::uint32_t{e[e.size() - 4]} << 24) | (std::uint32_t{e[e.size() - 3]} << 16) |
                                    (std::uint32_t{e[e.size() - 2]} << 8) | e[e.size() - 1];
        Walk(l, sink, child, out, leaves);
        EXPECT_EQ(Page(e.begin(), e.end() - 4), out.back()) << "node entry = last entry below it";
    }
    Walk(l, sink, d.tail, out, leaves);
}

class IndexTrees : public ::testing::TestWithParam<std::tuple<bool, int>> {
protected:
    const Format& layout = FormatFor(std::get<0>(GetParam()) ? Version::kJet3 : Version::kJet4);
    int count = std::get<1>(GetParam());
};

TEST_P(IndexTrees, RoundTripWithLinksAndNodeInvariants) {
    std::mt19937 rng(static_cast<unsigned>(count));
    IndexEntryList list;
    for (int i = 0; i < count; ++i) {
        // Keys with long shared prefixes and duplicates, like text keys.
        Page key{0x7F, 0x41, 0x42, static_cast<std::uint8_t>(rng() % 7)};
        const std::size_t extra = rng() % 30;
        for (std::size_t k = 0; k < extra; ++k) key.push_back(static_cast<std::uint8_t>(0x60 + rng() % 3));
        list.Add(key, {static_cast<std::uint32_t>(2 + i / 100), static_cast<std::uint8_t>(i % 100)});
    }
    list.Sort();
    ASSERT_FALSE(list.HasDuplicates());
    PageAllocator alloc({5});
    MemoryPageSink sink;
    const IndexTree tree = BuildIndexTree(layout, 77, list, alloc, sink);

    std::vector<Page> walked;
    std::vector<std::uint32_t> leaves;
    Walk(layout, sink, tree.root, walked, leaves);
    ASSERT_EQ(walked.size(), list.size());
    for (std::size_t i = 0; i < walked.size(); ++i) {
        const auto e = list.Entry(i);
        ASSERT_EQ(walked[i], Page(e.begin(), e.end())) << i;
    }
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const Decoded d = Decode(layout, sink.pages().at(leaves[i]));
        EXPECT_EQ(d.prev, i ? leaves[i - 1] : 0U);
        EXPECT_EQ(d.next, i + 1 < leaves.size() ? leaves[i + 1] : 0U);
    }
    const Decoded root = Decode(layout, sink.pages().at(tree.root));
    EXPECT_EQ(root.prev, 0U);
    EXPECT_EQ(root.next, 0U);
    EXPECT_EQ(tree.pages.size(), sink.pages().size());
    for (std::uint32_t p : tree.pages) EXPECT_NE(p, 5U);
    if (count >= 200000) {
        EXPECT_GE(tree.depth, 2U);
    }
    if (count <= 1) {
        EXPECT_EQ(tree.depth, 0U);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, IndexTrees,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(0, 1, 300, 5000, 200000)));

TEST(IndexEntries, SortOrdersByKeyThenRowAndCountsDistinctKeys) {
    IndexEntryList list;
    list.Add(std::vector<std::uint8_t>{0x7F, 2}, {9, 1});
    list.Add(std::vector<std::uint8_t>{0x7F, 1}, {300, 0});
    list.Add(std::vector<std::uint8_t>{0x7F, 2}, {3, 200});
    list.Sort();
    EXPECT_EQ(list.Row(0), (RowPointer{300, 0}));
    EXPECT_EQ(list.Row(1), (RowPointer{3, 200}));
    EXPECT_EQ(list.Row(2), (RowPointer{9, 1}));
    EXPECT_EQ(list.DistinctKeys(), 2U);
    EXPECT_FALSE(list.HasDuplicates());
    list.Add(std::vector<std::uint8_t>{0x7F, 2}, {9, 1});
    list.Sort();
    EXPECT_TRUE(list.HasDuplicates());
}

TEST(IndexEntries, Jet3PrefixesStayWithinTheirOneByteField) {
    // Long keys sharing 300 bytes: the shared part a page can name is 255.
    const Format& l = FormatFor(Version::kJet3);
    IndexEntryList list;
    for (std::uint8_t i = 0; i < 5; ++i) {
        std::vector<std::uint8_t> key(300, 0x41);
        key.push_back(i);
        list.Add(key, {2, i});
    }
    PageAllocator alloc({});
    MemoryPageSink sink;
    const IndexTree tree = BuildIndexTree(l, 77, list, alloc, sink);
    std::vector<Page> walked;
    std::vector<std::uint32_t> leaves;
    Walk(l, sink, tree.root, walked, leaves);
    ASSERT_EQ(walked.size(), 5U);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(walked[i], Page(list.Entry(i).begin(), list.Entry(i).end()));
    EXPECT_EQ(sink.pages().at(tree.root)[l.idx_prefix], 0xFF);
}

TEST(IndexEntries, AnEntryLongerThanAPageIsRefused) {
    const Format& l = FormatFor(Version::kJet3);
    IndexEntryList list;
    list.Add(std::vector<std::uint8_t>(l.IndexEntryRoom()), {2, 0});
    PageAllocator alloc({});
    MemoryPageSink sink;
    EXPECT_THROW(BuildIndexTree(l, 77, list, alloc, sink), Error);
}

}  // namespace
}  // namespace dorvane::jet::compact
