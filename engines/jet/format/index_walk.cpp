#include "engines/jet/format/index_walk.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engines/jet/format/page_file.h"

namespace dorvane::jet {

namespace {
constexpr std::uint32_t kMaxDepth = 32;

std::string PageName(std::uint32_t number) { return "index page " + std::to_string(number); }

// Up to eight bytes of an entry mask from `at` as one word, the first byte
// lowest: bit i of it marks an entry ending at byte 8 * at + i.
std::uint64_t MaskWord(ByteSpan mask, std::size_t at) {
    std::uint64_t word = 0;
    if (at + 8 <= mask.size() && std::endian::native == std::endian::little) {
        std::memcpy(&word, mask.data() + at, 8);
        return word;
    }
    for (std::size_t i = at; i < mask.size() && i < at + 8; ++i) word |= std::uint64_t{mask[i]} << (8 * (i - at));
    return word;
}
}  // namespace

void AppendIndexRowRef(Bytes& entry, RowPointer row) {
    const std::uint8_t ref[kIndexRowRefSize] = {static_cast<std::uint8_t>(row.page >> 16),
                                                static_cast<std::uint8_t>(row.page >> 8),
                                                static_cast<std::uint8_t>(row.page), row.row};
    entry.insert(entry.end(), std::begin(ref), std::end(ref));
}

RowPointer ReadIndexRowRef(ByteSpan entry, std::size_t offset) { return {Be24(entry, offset), U8(entry, offset + 3)}; }

Bytes IndexEntry::SortBytes() const {
    Bytes out = key;
    AppendIndexRowRef(out, row);
    return out;
}

namespace {

IndexPage ReadIndexPageHeader(const Format& f, std::uint32_t number, ByteSpan b) {
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
    return page;
}

}  // namespace

IndexEntryCursor::IndexEntryCursor(const Format& f, std::uint32_t number, ByteSpan b, Bytes& buffer)
    : bytes_(b), buffer_(buffer), page_(ReadIndexPageHeader(f, number, b)) {
    entries_at_ = f.idx_entries;
    mask_ = b.subspan(f.idx_mask, f.idx_entries - f.idx_mask);
    suffix_ = page_.leaf ? kIndexRowRefSize : kIndexRowRefSize + kIndexChildSize;
    const std::size_t limit = f.IndexEntryRoom();
    std::size_t last = 0;
    bool first = true;
    for (std::size_t at = 0; at < mask_.size(); at += 8) {
        for (std::uint64_t word = MaskWord(mask_, at); word != 0; word &= word - 1) {
            const std::size_t end = at * 8 + static_cast<std::size_t>(std::countr_zero(word));
            if (end > limit || end <= last) ThrowCorrupt(PageName(number) + " has an entry past the page end");
            const std::size_t stored = end - last;
            if (first && stored < page_.prefix_length) {
                ThrowCorrupt(PageName(number) + " has a prefix longer than its first entry");
            }
            const std::size_t full = first ? stored : page_.prefix_length + stored;
            if (full < suffix_) ThrowCorrupt(PageName(number) + " has an entry too short for its row reference");
            first = false;
            last = end;
        }
    }
    page_.used_bytes = last;
    pending_ = MaskWord(mask_, 0);
}

bool IndexEntryCursor::Next(IndexEntryView& entry) {
    while (pending_ == 0) {
        if (word_at_ + 8 >= mask_.size()) return false;
        word_at_ += 8;
        pending_ = MaskWord(mask_, word_at_);
    }
    const std::size_t end = word_at_ * 8 + static_cast<std::size_t>(std::countr_zero(pending_));
    pending_ &= pending_ - 1;
    const ByteSpan stored = bytes_.subspan(entries_at_ + last_, end - last_);
    if (first_) {
        buffer_.assign(stored.begin(), stored.end());
        first_ = false;
    } else {
        // Every entry begins with the first one's prefix, already there.
        buffer_.resize(page_.prefix_length);
        buffer_.insert(buffer_.end(), stored.begin(), stored.end());
    }
    last_ = end;
    const std::size_t keyLength = buffer_.size() - suffix_;
    entry.key = ByteSpan(buffer_).first(keyLength);
    entry.row = ReadIndexRowRef(buffer_, keyLength);
    entry.child = page_.leaf ? 0 : Be32(buffer_, keyLength + kIndexRowRefSize);
    return true;
}

IndexPage ParseIndexPage(const Format& f, std::uint32_t number, ByteSpan b) {
    Bytes buffer;
    IndexEntryCursor cursor(f, number, b, buffer);
    IndexPage page = cursor.page();
    IndexEntryView entry;
    while (cursor.Next(entry))
        page.entries.push_back({Bytes(entry.key.begin(), entry.key.end()), entry.row, entry.child});
    return page;
}

namespace {

struct Walker {
    const PageFile& file;
    const IndexEntryVisitor& visit;
    IndexWalk& out;
    std::vector<bool> visited = std::vector<bool>(file.page_count());
    // A page and an entry buffer per level, kept from page to page.
    std::vector<Bytes> pages = std::vector<Bytes>(kMaxDepth + 1);
    std::vector<Bytes> entries = std::vector<Bytes>(kMaxDepth + 1);

    void Visit(std::uint32_t number, std::uint32_t depth) {
        if (depth > kMaxDepth)
            ThrowCorrupt("an index tree is deeper than any real one at page " + std::to_string(number));
        if (number < visited.size()) {
            if (visited[number]) ThrowCorrupt("an index tree reaches " + PageName(number) + " twice");
            visited[number] = true;
        }
        out.pages.push_back(number);
        out.depth = std::max(out.depth, depth);
        Bytes& page = pages[depth];
        file.ReadPage(number, page);  // a page past the end throws here
        IndexEntryCursor cursor(file.format(), number, page, entries[depth]);
        IndexEntryView entry;
        if (cursor.page().leaf) {
            while (cursor.Next(entry)) visit(entry.key, entry.row);
            return;
        }
        while (cursor.Next(entry)) Visit(entry.child, depth + 1);
        if (cursor.page().tail != 0) Visit(cursor.page().tail, depth + 1);
    }
};

}  // namespace

IndexWalk VisitIndex(const PageFile& file, std::uint32_t root_page, const IndexEntryVisitor& visit) {
    IndexWalk out;
    Walker walker{file, visit, out};
    walker.Visit(root_page, 0);
    return out;
}

IndexWalk WalkIndex(const PageFile& file, std::uint32_t root_page) {
    std::vector<IndexEntry> entries;
    IndexWalk out = VisitIndex(file, root_page, [&entries](ByteSpan key, RowPointer row) {
        entries.push_back({Bytes(key.begin(), key.end()), row});
    });
    out.entries = std::move(entries);
    return out;
}

}  // namespace dorvane::jet
