#pragma once
// Index entries collected from a source tree, and the builder that writes a
// fresh tree from them: leaves filled in order, then node levels until one
// page, the root, remains. Entries that come in order are written as they
// come, without being collected.

#include <cstdint>
#include <memory>
#include <vector>

#include "engines/jet/write/page_allocator.h"
#include "engines/jet/write/page_sink.h"
#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/format.h"

namespace dorvane::jet::write {

// Leaf entries held in one buffer, each as the file stores it: key bytes,
// then the row reference.
class IndexEntryList {
public:
    void Add(ByteSpan key, RowPointer row);
    std::size_t size() const { return starts_.size() - 1; }
    bool empty() const { return size() == 0; }
    ByteSpan Entry(std::size_t i) const;
    ByteSpan Key(std::size_t i) const;
    RowPointer Row(std::size_t i) const;
    // Sorts by the full entry bytes, the order the file keeps.
    void Sort();
    // Number of distinct key byte strings (of a sorted list).
    std::size_t DistinctKeys() const;
    // Whether two entries are equal (a damaged source) in a sorted list.
    bool HasDuplicates() const;
    std::size_t byte_size() const { return bytes_.size() + starts_.size() * sizeof(std::uint32_t); }
    // The memory the list would take once an entry with a key of `key_size`
    // bytes were added: what it holds room for, or the room it would grow to.
    std::size_t RoomAfterAdding(std::size_t key_size) const;
    // Empty again, keeping the room it grew to.
    void Clear();

private:
    Bytes bytes_;
    std::vector<std::uint32_t> starts_{0};
};

class IndexPageFill;

struct IndexTree {
    std::uint32_t root = 0;
    std::vector<std::uint32_t> pages;
};

// A fresh tree from entries handed over in order, each as the file stores it
// (key bytes, then the row reference). A leaf is written as soon as the next
// one begins, which is when its link to that next leaf is known; what stays
// held is one leaf's entries and, for the node levels written at the end,
// each leaf's page and last entry. The pages come from `allocator` in the
// order BuildIndexTree takes them: every leaf, then each node level.
class IndexTreeWriter {
public:
    IndexTreeWriter(const Format& format, std::uint32_t owner, PageAllocator& allocator, PageSink& sink);
    // The entry must not sort before the one added before it.
    void Add(ByteSpan entry);
    IndexTree Finish();
    // Bytes held for the node levels: what this tree costs in memory.
    std::size_t held_bytes() const { return held_bytes_; }

    // A page of the level below, for its parent: its number and the last leaf
    // entry under it, which the parent's entry for it repeats.
    struct Child {
        std::uint32_t page;
        Bytes last_leaf_entry;
    };

    ~IndexTreeWriter();

private:
    void WriteLeaf(std::uint32_t next);

    const Format& format_;
    std::uint32_t owner_;
    PageAllocator& allocator_;
    PageSink& sink_;
    Bytes first_;  // the open leaf's first entry, which its fill measures against
    Bytes later_;  // its other entries, back to back
    std::vector<std::size_t> later_ends_;
    std::unique_ptr<IndexPageFill> fill_;  // none before the first entry
    std::uint32_t page_ = 0;               // the open leaf's page
    std::uint32_t previous_page_ = 0;      // the leaf before it
    std::vector<Child> leaves_;
    std::vector<std::uint32_t> pages_;
    std::size_t held_bytes_ = 0;
};

// entries must be sorted. owner is the table's definition page.
IndexTree BuildIndexTree(const Format& format, std::uint32_t owner, const IndexEntryList& entries,
                         PageAllocator& allocator, PageSink& sink);

}  // namespace dorvane::jet::write
