#include "engines/jet/write/index_tree.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

#include "core/error.h"
#include "engines/jet/format/index_walk.h"

namespace dorvane::jet::write {

void IndexEntryList::Add(ByteSpan key, RowPointer row) {
    bytes_.insert(bytes_.end(), key.begin(), key.end());
    AppendIndexRowRef(bytes_, row);
    starts_.push_back(static_cast<std::uint32_t>(bytes_.size()));
}

std::size_t IndexEntryList::RoomAfterAdding(std::size_t key_size) const {
    // A vector that must grow doubles, or grows to what it must hold.
    const auto room = [](std::size_t size, std::size_t capacity, std::size_t more) {
        return size + more <= capacity ? capacity : std::max(2 * capacity, size + more);
    };
    return room(bytes_.size(), bytes_.capacity(), key_size + kIndexRowRefSize) +
           room(starts_.size(), starts_.capacity(), 1) * sizeof(std::uint32_t);
}

void IndexEntryList::Clear() {
    bytes_.clear();
    starts_.assign(1, 0);
}

ByteSpan IndexEntryList::Entry(std::size_t i) const {
    return ByteSpan(bytes_).subspan(starts_[i], starts_[i + 1] - starts_[i]);
}

ByteSpan IndexEntryList::Key(std::size_t i) const { return Entry(i).first(Entry(i).size() - kIndexRowRefSize); }

RowPointer IndexEntryList::Row(std::size_t i) const {
    return ReadIndexRowRef(Entry(i), Entry(i).size() - kIndexRowRefSize);
}

namespace {
bool Less(ByteSpan a, ByteSpan b) { return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end()); }
bool Same(ByteSpan a, ByteSpan b) { return std::equal(a.begin(), a.end(), b.begin(), b.end()); }
}  // namespace

void IndexEntryList::Sort() {
    // Entries taken from a tree usually come in order already: rows keep
    // their order when copied, and so do their pointers.
    bool sorted = true;
    for (std::size_t i = 1; i < size() && sorted; ++i) sorted = !Less(Entry(i), Entry(i - 1));
    if (sorted) return;
    std::vector<std::uint32_t> order(size());
    std::iota(order.begin(), order.end(), 0U);
    std::stable_sort(order.begin(), order.end(),
                     [this](std::uint32_t a, std::uint32_t b) { return Less(Entry(a), Entry(b)); });
    Bytes bytes;
    bytes.reserve(bytes_.size());
    std::vector<std::uint32_t> starts{0};
    starts.reserve(starts_.size());
    for (std::uint32_t i : order) {
        const ByteSpan e = Entry(i);
        bytes.insert(bytes.end(), e.begin(), e.end());
        starts.push_back(static_cast<std::uint32_t>(bytes.size()));
    }
    bytes_ = std::move(bytes);
    starts_ = std::move(starts);
}

std::size_t IndexEntryList::DistinctKeys() const {
    std::size_t n = 0;
    for (std::size_t i = 0; i < size(); ++i)
        if (i == 0 || !Same(Key(i), Key(i - 1))) ++n;
    return n;
}

bool IndexEntryList::HasDuplicates() const {
    for (std::size_t i = 1; i < size(); ++i)
        if (Same(Entry(i), Entry(i - 1))) return true;
    return false;
}

namespace {

constexpr std::size_t kNodeSuffix = kIndexRowRefSize + kIndexChildSize;

std::size_t CommonPrefix(ByteSpan a, ByteSpan b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

// What the page header's prefix field can hold.
std::size_t MaxPrefix(const Format& format) { return format.idx_prefix_size == 1 ? 0xFF : 0xFFFF; }

}  // namespace

// The bytes one page's entries take: the first entry whole, every later one
// without the prefix shared by all keys on the page.
class IndexPageFill {
public:
    IndexPageFill(const Format& format, ByteSpan first, std::size_t suffix)
        : first_(first),
          suffix_(suffix),
          limit_(format.IndexEntryRoom()),
          prefix_(std::min(first.size() - suffix, MaxPrefix(format))) {
        if (first_.size() > limit_) throw Error(errc::kCorrupt, "an index entry is longer than an index page");
    }
    bool TryAdd(ByteSpan entry) {
        const std::size_t prefix =
            std::min(prefix_, CommonPrefix(first_.first(first_.size() - suffix_), entry.first(entry.size() - suffix_)));
        const std::size_t total = raw_ + entry.size();
        if (first_.size() + total - prefix * (later_ + 1) > limit_) return false;
        prefix_ = prefix;
        raw_ = total;
        ++later_;
        return true;
    }
    std::size_t prefix() const { return later_ == 0 ? 0 : prefix_; }

private:
    ByteSpan first_;
    std::size_t suffix_;
    std::size_t limit_;
    std::size_t prefix_;
    std::size_t raw_ = 0;    // bytes of later entries, uncompressed
    std::size_t later_ = 0;  // entries after the first
};

namespace {

struct IndexPageContent {
    bool leaf = true;
    std::uint32_t owner = 0;
    std::uint32_t prev = 0;
    std::uint32_t next = 0;
    std::uint32_t tail = 0;  // nodes: the last child, which has no entry
    std::size_t prefix = 0;  // bytes every entry but the first shares with it
    std::vector<ByteSpan> entries;
};

void WriteIndexPage(const Format& f, std::uint32_t page, const IndexPageContent& content, PageSink& sink) {
    Bytes b = NewPage(f, content.leaf ? kPageIndexLeaf : kPageIndexNode);
    PutLe32(b, f.page_owner, content.owner);
    PutLe32(b, f.idx_prev, content.prev);
    PutLe32(b, f.idx_next, content.next);
    PutLe32(b, f.idx_tail, content.tail);
    if (f.idx_prefix_size == 1)
        b[f.idx_prefix] = static_cast<std::uint8_t>(content.prefix);
    else
        PutLe16(b, f.idx_prefix, static_cast<std::uint16_t>(content.prefix));
    b[f.idx_node_flag] = content.leaf ? 0 : 1;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < content.entries.size(); ++i) {
        const ByteSpan e = i == 0 ? content.entries[i] : content.entries[i].subspan(content.prefix);
        if (pos + e.size() > f.IndexEntryRoom()) throw std::logic_error("index page overfilled");
        PutBytes(b, f.idx_entries + pos, e);
        pos += e.size();
        b[f.idx_mask + pos / 8] = static_cast<std::uint8_t>(b[f.idx_mask + pos / 8] | (1U << (pos % 8)));
    }
    PutLe16(b, f.page_free_space, static_cast<std::uint16_t>(f.page_size - (f.idx_entries + pos)));
    sink.WritePage(page, b);
}

// Entries [begin, end) of a level on one page.
struct PageGroup {
    std::size_t begin, end, prefix;
};

using Child = IndexTreeWriter::Child;

std::vector<std::uint32_t> TakePages(PageAllocator& allocator, std::size_t count) {
    std::vector<std::uint32_t> pages(count);
    for (std::uint32_t& page : pages) page = allocator.Take();
    return pages;
}

// The pages of one level, linked to their neighbours in order.
IndexPageContent LevelPage(std::uint32_t owner, const std::vector<std::uint32_t>& pages, std::size_t i, bool leaf) {
    IndexPageContent page;
    page.leaf = leaf;
    page.owner = owner;
    page.prev = i ? pages[i - 1] : 0;
    page.next = i + 1 < pages.size() ? pages[i + 1] : 0;
    return page;
}

// Node groups: children [begin, end); the page holds entries for all but the
// last child, which is its tail.
std::vector<PageGroup> GroupNodes(const Format& f, const std::vector<Bytes>& entries) {
    std::vector<PageGroup> nodes;
    for (std::size_t i = 0; i < entries.size();) {
        if (i + 1 == entries.size()) {
            // A lone last child makes no node: the group before gives up its
            // last child to pair with it.
            if (nodes.empty() || nodes.back().end - nodes.back().begin < 3)
                throw std::logic_error("index node cannot take its last child");
            const std::size_t moved = --nodes.back().end;
            nodes.push_back({moved, entries.size(), 0});
            break;
        }
        IndexPageFill fill(f, entries[i], kNodeSuffix);
        std::size_t last = i + 1;  // the tail child
        while (last + 1 < entries.size() && fill.TryAdd(entries[last])) ++last;
        nodes.push_back({i, last + 1, fill.prefix()});
        i = last + 1;
    }
    // Prefixes of regrouped nodes are recomputed for their actual entries.
    for (PageGroup& g : nodes) {
        IndexPageFill fill(f, entries[g.begin], kNodeSuffix);
        for (std::size_t k = g.begin + 1; k + 1 < g.end; ++k)
            if (!fill.TryAdd(entries[k])) throw std::logic_error("index node overfilled");
        g.prefix = fill.prefix();
    }
    return nodes;
}

std::vector<Child> WriteNodeLevel(const Format& f, std::uint32_t owner, const std::vector<Child>& level,
                                  PageAllocator& allocator, PageSink& sink, std::vector<std::uint32_t>& written) {
    std::vector<Bytes> entries;  // per child: its last leaf entry and its page
    entries.reserve(level.size());
    for (const Child& child : level) {
        Bytes e = child.last_leaf_entry;
        e.resize(e.size() + kIndexChildSize);
        PutBe32(e, e.size() - kIndexChildSize, child.page);
        entries.push_back(std::move(e));
    }
    const std::vector<PageGroup> groups = GroupNodes(f, entries);
    const std::vector<std::uint32_t> pages = TakePages(allocator, groups.size());
    std::vector<Child> parents;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const Child& tail = level[groups[g].end - 1];
        IndexPageContent page = LevelPage(owner, pages, g, false);
        page.tail = tail.page;
        page.prefix = groups[g].prefix;
        for (std::size_t i = groups[g].begin; i + 1 < groups[g].end; ++i) page.entries.push_back(entries[i]);
        WriteIndexPage(f, pages[g], page, sink);
        parents.push_back({pages[g], tail.last_leaf_entry});
    }
    written.insert(written.end(), pages.begin(), pages.end());
    return parents;
}

}  // namespace

IndexTreeWriter::IndexTreeWriter(const Format& format, std::uint32_t owner, PageAllocator& allocator, PageSink& sink)
    : format_(format), owner_(owner), allocator_(allocator), sink_(sink) {}

IndexTreeWriter::~IndexTreeWriter() = default;

void IndexTreeWriter::Add(ByteSpan entry) {
    if (fill_ && fill_->TryAdd(entry)) {
        later_.insert(later_.end(), entry.begin(), entry.end());
        later_ends_.push_back(later_.size());
        return;
    }
    // A new leaf, greedily filled as BuildIndexTree always has: its page is
    // the next one taken, and the leaf before it now knows its link.
    const std::uint32_t page = allocator_.Take();
    if (fill_) WriteLeaf(page);
    previous_page_ = fill_ ? page_ : 0;
    page_ = page;
    first_.assign(entry.begin(), entry.end());
    later_.clear();
    later_ends_.clear();
    fill_ = std::make_unique<IndexPageFill>(format_, first_, kIndexRowRefSize);
}

void IndexTreeWriter::WriteLeaf(std::uint32_t next) {
    IndexPageContent page;
    page.owner = owner_;
    page.prev = previous_page_;
    page.next = next;
    page.prefix = fill_->prefix();
    page.entries.push_back(first_);
    std::size_t begin = 0;
    for (std::size_t end : later_ends_) {
        page.entries.push_back(ByteSpan(later_).subspan(begin, end - begin));
        begin = end;
    }
    WriteIndexPage(format_, page_, page, sink_);
    const ByteSpan last = page.entries.back();
    leaves_.push_back({page_, Bytes(last.begin(), last.end())});
    held_bytes_ += sizeof(Child) + last.size();
    pages_.push_back(page_);
}

IndexTree IndexTreeWriter::Finish() {
    IndexTree tree;
    if (!fill_) {
        tree.root = allocator_.Take();
        tree.pages.push_back(tree.root);
        WriteIndexPage(format_, tree.root, LevelPage(owner_, tree.pages, 0, true), sink_);
        return tree;
    }
    WriteLeaf(0);
    fill_.reset();
    tree.pages = std::move(pages_);
    std::vector<Child> level = std::move(leaves_);
    while (level.size() > 1) level = WriteNodeLevel(format_, owner_, level, allocator_, sink_, tree.pages);
    tree.root = level.front().page;
    return tree;
}

IndexTree BuildIndexTree(const Format& format, std::uint32_t owner, const IndexEntryList& entries,
                         PageAllocator& allocator, PageSink& sink) {
    IndexTreeWriter writer(format, owner, allocator, sink);
    for (std::size_t i = 0; i < entries.size(); ++i) writer.Add(entries.Entry(i));
    return writer.Finish();
}

}  // namespace dorvane::jet::write
