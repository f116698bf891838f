#include "engines/jet/compact/index_tree.h"

#include <algorithm>
#include <functional>
#include <numeric>
#include <stdexcept>

#include "core/error.h"

namespace dorvane::jet::compact {

void IndexEntryList::Add(ConstBytes key, RowPointer row) {
    bytes_.insert(bytes_.end(), key.begin(), key.end());
    bytes_.push_back(static_cast<std::uint8_t>((row.page >> 16) & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>((row.page >> 8) & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(row.page & 0xFF));
    bytes_.push_back(row.slot);
    starts_.push_back(static_cast<std::uint32_t>(bytes_.size()));
}

ConstBytes IndexEntryList::Entry(std::size_t i) const {
    return ConstBytes(bytes_).subspan(starts_[i], starts_[i + 1] - starts_[i]);
}

RowPointer IndexEntryList::Row(std::size_t i) const {
    const auto e = Entry(i);
    const std::size_t n = e.size();
    return {(static_cast<std::uint32_t>(e[n - 4]) << 16) | (static_cast<std::uint32_t>(e[n - 3]) << 8) | e[n - 2],
            e[n - 1]};
}

namespace {
bool Less(ConstBytes a, ConstBytes b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}
bool Same(ConstBytes a, ConstBytes b) { return std::equal(a.begin(), a.end(), b.begin(), b.end()); }
}  // namespace

void IndexEntryList::Sort() {
    std::vector<std::uint32_t> order(size());
    std::iota(order.begin(), order.end(), 0U);
    std::stable_sort(order.begin(), order.end(),
                     [this](std::uint32_t a, std::uint32_t b) { return Less(Entry(a), Entry(b)); });
    std::vector<std::uint8_t> bytes;
    bytes.reserve(bytes_.size());
    std::vector<std::uint32_t> starts{0};
    starts.reserve(starts_.size());
    for (std::uint32_t i : order) {
        const auto e = Entry(i);
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

std::size_t CommonPrefix(ConstBytes a, ConstBytes b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

// The bytes one page's entries take: the first entry whole, every later one
// without the prefix shared by all keys on the page.
class PageFill {
public:
    // maxPrefix: what the page header's prefix field can hold.
    PageFill(ConstBytes first, std::size_t suffix, std::size_t limit, std::size_t maxPrefix)
        : first_(first), suffix_(suffix), limit_(limit),
          prefix_(std::min(first.size() - suffix, maxPrefix)), used_(first.size()) {
        if (used_ > limit_) throw Error(errc::kCorrupt, "an index entry is longer than an index page");
    }
    bool TryAdd(ConstBytes entry) {
        const std::size_t prefix =
            std::min(prefix_, CommonPrefix(first_.first(first_.size() - suffix_), entry.first(entry.size() - suffix_)));
        const std::size_t total = raw_ + entry.size();
        const std::size_t used = first_.size() + total - prefix * (later_ + 1);
        if (used > limit_) return false;
        prefix_ = prefix;
        raw_ = total;
        ++later_;
        used_ = used;
        return true;
    }
    std::size_t prefix() const { return later_ == 0 ? 0 : prefix_; }

private:
    ConstBytes first_;
    std::size_t suffix_;
    std::size_t limit_;
    std::size_t prefix_;
    std::size_t used_;
    std::size_t raw_ = 0;    // bytes of later entries, uncompressed
    std::size_t later_ = 0;  // entries after the first
};

using EntryAt = std::function<ConstBytes(std::size_t)>;

struct PageLinks {
    std::uint32_t prev = 0, next = 0, tail = 0;
};

void WriteIndexPage(const PageLayout& layout, std::uint32_t owner, std::uint32_t page, bool leaf, const EntryAt& at,
                    std::size_t begin, std::size_t end, std::size_t prefix, PageLinks links, PageSink& sink) {
    std::vector<std::uint8_t> b(layout.pageSize, 0);
    PutU16(b, 0, leaf ? 0x0104 : 0x0103);  // page type, then 0x01
    PutU32(b, 4, owner);
    PutU32(b, layout.indexPrev, links.prev);
    PutU32(b, layout.indexNext, links.next);
    PutU32(b, layout.indexTail, links.tail);
    if (layout.jet3)
        b[layout.indexPrefix] = static_cast<std::uint8_t>(prefix);
    else
        PutU16(b, layout.indexPrefix, static_cast<std::uint32_t>(prefix));
    b[layout.indexNodeFlag] = leaf ? 0 : 1;
    std::size_t pos = 0;
    for (std::size_t i = begin; i < end; ++i) {
        ConstBytes e = at(i);
        if (i != begin) e = e.subspan(prefix);
        if (pos + e.size() > layout.indexDataLimit) throw std::logic_error("index page overfilled");
        std::copy(e.begin(), e.end(), b.begin() + static_cast<std::ptrdiff_t>(layout.indexEntries + pos));
        pos += e.size();
        b[layout.indexMask + pos / 8] = static_cast<std::uint8_t>(b[layout.indexMask + pos / 8] | (1U << (pos % 8)));
    }
    PutU16(b, 2, static_cast<std::uint32_t>(layout.pageSize - (layout.indexEntries + pos)));
    sink.WritePage(page, b);
}

struct Child {
    std::uint32_t page;
    std::vector<std::uint8_t> lastLeafEntry;
};

}  // namespace

IndexTree BuildIndexTree(const PageLayout& layout, std::uint32_t owner, const IndexEntryList& entries,
                         PageAllocator& allocator, PageSink& sink) {
    IndexTree tree;
    const std::size_t limit = layout.indexDataLimit;
    const std::size_t maxPrefix = layout.jet3 ? 0xFF : 0xFFFF;
    const EntryAt leafAt = [&entries](std::size_t i) { return entries.Entry(i); };

    if (entries.empty()) {
        tree.root = allocator.Take();
        tree.pages.push_back(tree.root);
        WriteIndexPage(layout, owner, tree.root, true, leafAt, 0, 0, 0, {}, sink);
        return tree;
    }

    // Leaves.
    struct Group {
        std::size_t begin, end, prefix;
    };
    std::vector<Group> groups;
    for (std::size_t i = 0; i < entries.size();) {
        PageFill fill(entries.Entry(i), 4, limit, maxPrefix);
        std::size_t j = i + 1;
        while (j < entries.size() && fill.TryAdd(entries.Entry(j))) ++j;
        groups.push_back({i, j, fill.prefix()});
        i = j;
    }
    std::vector<std::uint32_t> pages(groups.size());
    for (auto& p : pages) p = allocator.Take();
    std::vector<Child> level;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        PageLinks links{g ? pages[g - 1] : 0, g + 1 < pages.size() ? pages[g + 1] : 0, 0};
        WriteIndexPage(layout, owner, pages[g], true, leafAt, groups[g].begin, groups[g].end, groups[g].prefix, links,
                       sink);
        const auto last = entries.Entry(groups[g].end - 1);
        level.push_back({pages[g], {last.begin(), last.end()}});
    }
    tree.pages = pages;

    // Node levels: one entry per child but the last, which is the tail.
    while (level.size() > 1) {
        std::vector<std::vector<std::uint8_t>> nodeEntries;
        nodeEntries.reserve(level.size());
        for (const Child& c : level) {
            auto e = c.lastLeafEntry;
            e.resize(e.size() + 4);
            PutBe32(e, e.size() - 4, c.page);
            nodeEntries.push_back(std::move(e));
        }
        const EntryAt nodeAt = [&nodeEntries](std::size_t i) { return ConstBytes(nodeEntries[i]); };
        std::vector<Group> nodes;  // children [begin, end); body entries [begin, end - 1)
        for (std::size_t i = 0; i < level.size();) {
            if (i + 1 == level.size()) {
                // A lone last child joins the group before it.
                if (nodes.empty() || nodes.back().end - nodes.back().begin < 3)
                    throw std::logic_error("index node cannot take its last child");
                const std::size_t moved = --nodes.back().end;
                nodes.push_back({moved, level.size(), 0});
                break;
            }
            PageFill fill(nodeEntries[i], 8, limit, maxPrefix);
            std::size_t last = i + 1;  // the tail child
            while (last + 1 < level.size() && fill.TryAdd(nodeEntries[last])) ++last;
            nodes.push_back({i, last + 1, fill.prefix()});
            i = last + 1;
        }
        // Prefixes of regrouped nodes are recomputed for their actual bodies.
        for (Group& g : nodes) {
            PageFill fill(nodeEntries[g.begin], 8, limit, maxPrefix);
            for (std::size_t k = g.begin + 1; k + 1 < g.end; ++k)
                if (!fill.TryAdd(nodeEntries[k])) throw std::logic_error("index node overfilled");
            g.prefix = fill.prefix();
        }
        std::vector<std::uint32_t> nodePages(nodes.size());
        for (auto& p : nodePages) p = allocator.Take();
        std::vector<Child> parents;
        for (std::size_t g = 0; g < nodes.size(); ++g) {
            PageLinks links{g ? nodePages[g - 1] : 0, g + 1 < nodePages.size() ? nodePages[g + 1] : 0,
                            level[nodes[g].end - 1].page};
            WriteIndexPage(layout, owner, nodePages[g], false, nodeAt, nodes[g].begin, nodes[g].end - 1,
                           nodes[g].prefix, links, sink);
            parents.push_back({nodePages[g], level[nodes[g].end - 1].lastLeafEntry});
        }
        tree.pages.insert(tree.pages.end(), nodePages.begin(), nodePages.end());
        level = std::move(parents);
        ++tree.depth;
    }
    tree.root = level.front().page;
    return tree;
}

}  // namespace dorvane::jet::compact
