#pragma once
// Index entries collected from a source tree, and the builder that writes a
// fresh tree from them: leaves filled in order, then node levels until one
// page, the root, remains.

#include <cstdint>
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

private:
    Bytes bytes_;
    std::vector<std::uint32_t> starts_{0};
};

struct IndexTree {
    std::uint32_t root = 0;
    std::vector<std::uint32_t> pages;
};

// entries must be sorted. owner is the table's definition page.
IndexTree BuildIndexTree(const Format& format, std::uint32_t owner, const IndexEntryList& entries,
                         PageAllocator& allocator, PageSink& sink);

}  // namespace dorvane::jet::write
