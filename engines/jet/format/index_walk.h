#pragma once
// Index B-trees: leaf (0x04) and node (0x03) pages, entries packed after a
// bitmask that marks where each entry ends, with a page-wide prefix shared by
// all but the first entry. Entries are key bytes followed by a big-endian row
// reference (and on nodes a big-endian child page).

#include <cstdint>
#include <functional>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/format.h"

namespace dorvane::jet {

class PageFile;

// The row reference that ends every entry: the data row's page as three
// big-endian bytes, then its row. Entries sort by key, then by it.
inline constexpr std::size_t kIndexRowRefSize = 4;
// Node entries end with the child page, four big-endian bytes, after it.
inline constexpr std::size_t kIndexChildSize = 4;
void AppendIndexRowRef(Bytes& entry, RowPointer row);
RowPointer ReadIndexRowRef(ByteSpan entry, std::size_t offset);

struct IndexPageEntry {
    Bytes key;                // key bytes only
    RowPointer row;           // the data row (3-byte BE page + row byte)
    std::uint32_t child = 0;  // node entries: the child page
};

struct IndexPage {
    std::uint32_t number = 0;
    bool leaf = true;
    std::uint16_t stored_free_space = 0;
    std::uint32_t owner = 0;  // tdef page
    std::uint32_t prev = 0;
    std::uint32_t next = 0;
    std::uint32_t tail = 0;  // nodes: the last child
    std::uint32_t prefix_length = 0;
    std::size_t used_bytes = 0;  // entry bytes as stored (prefix-compressed)
    std::vector<IndexPageEntry> entries;
};

// Throws kCorrupt for a page that is not an index page or whose entries do
// not fit.
IndexPage ParseIndexPage(const Format& format, std::uint32_t number, ByteSpan bytes);

// One entry of a page as the cursor rebuilt it: the key points into the
// cursor's buffer and holds until its next step.
struct IndexEntryView {
    ByteSpan key;
    RowPointer row;
    std::uint32_t child = 0;  // node entries: the child page
};

// A page's entries one after another without a copy each: every entry is
// rebuilt (shared prefix, then its stored bytes) in one buffer the caller
// lends. The whole page is checked when the cursor is made, so a damaged
// entry is refused before any entry is handed out. Throws like
// ParseIndexPage; `page` then holds the page's header fields, entries empty.
class IndexEntryCursor {
public:
    IndexEntryCursor(const Format& format, std::uint32_t number, ByteSpan bytes, Bytes& buffer);
    const IndexPage& page() const { return page_; }
    bool Next(IndexEntryView& entry);

private:
    ByteSpan bytes_;
    ByteSpan mask_;
    Bytes& buffer_;
    IndexPage page_;
    std::size_t entries_at_ = 0;
    std::size_t suffix_ = 0;
    std::size_t last_ = 0;
    // The mask is read eight bytes at a time: the word at `word_at_`, its
    // entry ends not yet handed out in `pending_`.
    std::size_t word_at_ = 0;
    std::uint64_t pending_ = 0;
    bool first_ = true;
};

// One leaf entry in full: key bytes and the row it names.
struct IndexEntry {
    Bytes key;
    RowPointer row;
    // Key + 3-byte BE page + row byte: the bytes entries are ordered by.
    Bytes SortBytes() const;
};

struct IndexWalk {
    std::vector<IndexEntry> entries;   // in tree order
    std::vector<std::uint32_t> pages;  // every page visited, in visiting order
    std::uint32_t depth = 0;           // 0 = the root is a leaf
};

// Depth-first walk from the root: each node entry's child in order, then the
// tail. Bounded: a page visited twice, a depth over 32 or more pages than the
// file has is an error.
IndexWalk WalkIndex(const PageFile& file, std::uint32_t root_page);

// The same walk handing each leaf entry to `visit` instead of keeping it:
// the key is valid only during the call. Returns the pages and depth (entries
// empty). Nothing is visited from a page before the whole page is checked.
using IndexEntryVisitor = std::function<void(ByteSpan key, RowPointer row)>;
IndexWalk VisitIndex(const PageFile& file, std::uint32_t root_page, const IndexEntryVisitor& visit);

}  // namespace dorvane::jet
