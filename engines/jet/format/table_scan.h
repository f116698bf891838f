#pragma once
// Rows of a table in stored order: the pages of its owned-pages map in
// ascending page order, the slots of each page in slot order. Overflow bodies
// are read through their pointer slot and skipped where they lie, so a row
// keeps the identity (header slot) its indexes point at. Pull-style, so that
// the compactor's verification can walk a source and its copy side by side.

#include <cstdint>
#include <optional>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

class PageFile;

// Whether the page's bytes are a data page of the table whose definition is
// at page `owner`.
bool IsDataPageOf(const PageFile& file, std::uint32_t owner, ByteSpan page);

// The table's data pages: the owned map's pages that are data pages owned by
// this table. Pages the map lists but that are past the end of the file are
// an error; pages of another owner are left out (and reported by the checker).
std::vector<std::uint32_t> TableDataPages(const PageFile& file, const TableDef& def);

struct TableRow {
    RowPointer header;  // the identity indexes point at
    ByteSpan body;      // valid until the cursor moves on
};

class RowCursor {
public:
    RowCursor(const PageFile& file, const TableDef& def);
    RowCursor(const RowCursor&) = delete;
    RowCursor& operator=(const RowCursor&) = delete;

    // The next live row, or false after the last.
    bool Next(TableRow& row);
    // The listed pages found to be the table's data pages so far: all of
    // them once Next returned false.
    const std::vector<std::uint32_t>& data_pages() const { return data_pages_; }

private:
    const PageFile& file_;
    std::uint32_t owner_;
    std::vector<std::uint32_t> pages_;  // as the owned map lists them; other owners' are passed over
    std::vector<std::uint32_t> data_pages_;
    std::size_t next_page_ = 0;
    std::optional<DataPage> page_;
    std::size_t next_slot_ = 0;
    Bytes relocated_;  // the body of an overflowed row
    Bytes buffer_;     // the next page read, reused from page to page
};

}  // namespace dorvane::jet
