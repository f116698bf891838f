#include "engines/jet/format/index_walk.h"

#include <set>

#include "engines/jet/format/page_file.h"

namespace dorvane::jet {

namespace {
constexpr std::uint32_t kMaxDepth = 32;

std::string PageName(std::uint32_t number) { return "index page " + std::to_string(number); }
}  // namespace

void AppendIndexRowRef(Bytes& entry, RowPointer row) {
    entry.resize(entry.size() + kIndexRowRefSize);
    PutBe24(entry, entry.size() - kIndexRowRefSize, row.page);
    entry.back() = row.row;
}

RowPointer ReadIndexRowRef(ByteSpan entry, std::size_t offset) {
    return {Be24(entry, offset), U8(entry, offset + 3)};
}

Bytes IndexEntry::SortBytes() const {
    Bytes out = key;
    AppendIndexRowRef(out, row);
    return out;
}

IndexPage ParseIndexPage(const Format& f, std::uint32_t number, ByteSpan b) {
    IndexPage page;
    page.number = number;
    if (b.size() != f.page_size || (b[0] != kPageIndexNode && b[0] != kPageIndexLeaf)) {
        ThrowCorrupt("page " + std::to_string(number) + " should be an index page but has type " +
                     std::to_string(b.empty() ? 0 : b[0]));
    }
    page.leaf = b[0] == kPageIndexLeaf;
    page.stored_free_space = Le16(b, f.page_free_space);
    page.owner = Le32(b, f.page_owner);
    page.prev = Le32(b, f.idx_prev);
    page.next = Le32(b, f.idx_next);
    page.tail = Le32(b, f.idx_tail);
    page.prefix_length = f.idx_prefix_size == 1 ? b[f.idx_prefix] : Le16(b, f.idx_prefix);

    const std::size_t suffix = page.leaf ? kIndexRowRefSize : kIndexRowRefSize + kIndexChildSize;
    const std::size_t maskBytes = f.idx_entries - f.idx_mask;
    const std::size_t limit = f.IndexEntryRoom();
    Bytes prefix;
    std::size_t last = 0;
    for (std::size_t i = 0; i < maskBytes; ++i) {
        const std::uint8_t m = b[f.idx_mask + i];
        if (m == 0) continue;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((m & (1u << bit)) == 0) continue;
            const std::size_t end = i * 8 + bit;
            if (end > limit || end <= last) ThrowCorrupt(PageName(number) + " has an entry past the page end");
            const ByteSpan stored = b.subspan(f.idx_entries + last, end - last);
            Bytes full;
            if (page.entries.empty()) {
                if (stored.size() < page.prefix_length) {
                    ThrowCorrupt(PageName(number) + " has a prefix longer than its first entry");
                }
                prefix.assign(stored.begin(), stored.begin() + page.prefix_length);
                full.assign(stored.begin(), stored.end());
            } else {
                full = prefix;
                full.insert(full.end(), stored.begin(), stored.end());
            }
            if (full.size() < suffix) ThrowCorrupt(PageName(number) + " has an entry too short for its row reference");
            IndexPageEntry entry;
            const std::size_t keyLength = full.size() - suffix;
            entry.row = ReadIndexRowRef(full, keyLength);
            if (!page.leaf) entry.child = Be32(full, keyLength + kIndexRowRefSize);
            full.resize(keyLength);
            entry.key = std::move(full);
            page.entries.push_back(std::move(entry));
            last = end;
        }
    }
    page.used_bytes = last;
    return page;
}

namespace {

struct Walker {
    const PageFile& file;
    IndexWalk& out;
    std::set<std::uint32_t> visited;
    Bytes buffer;

    void Visit(std::uint32_t number, std::uint32_t depth) {
        if (depth > kMaxDepth) ThrowCorrupt("an index tree is deeper than any real one at page " + std::to_string(number));
        if (!visited.insert(number).second) {
            ThrowCorrupt("an index tree reaches " + PageName(number) + " twice");
        }
        out.pages.push_back(number);
        out.depth = std::max(out.depth, depth);
        file.ReadPage(number, buffer);
        IndexPage page = ParseIndexPage(file.format(), number, buffer);
        if (page.leaf) {
            for (IndexPageEntry& entry : page.entries) out.entries.push_back({std::move(entry.key), entry.row});
            return;
        }
        for (const IndexPageEntry& entry : page.entries) Visit(entry.child, depth + 1);
        if (page.tail != 0) Visit(page.tail, depth + 1);
    }
};

}  // namespace

IndexWalk WalkIndex(const PageFile& file, std::uint32_t root_page) {
    IndexWalk out;
    Walker walker{file, out, {}, {}};
    walker.Visit(root_page, 0);
    return out;
}

}  // namespace dorvane::jet
