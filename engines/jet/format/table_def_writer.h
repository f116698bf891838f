#pragma once
// Table definitions written: a TableDef becomes the logical definition stream
// and then the pages that hold it, the inverse of ReadTableDef. Columns keep
// their stored order (block_offset), long-value maps theirs. What the reader
// does not keep is written as Access writes it for a new table: the header
// and column constants, "no related table" on logical indexes that are not
// foreign keys, zero in the unknown header and index bytes.

#include <cstdint>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/format.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

// The stream with its definition length filled in; bytes 0..7 (the first
// page's header) are left for TableDefPages.
Bytes EncodeTableDef(const Format& format, std::uint16_t code_page, const TableDef& def);

// Encodes `def` into its own stream and sets every offset the reader would
// set (column blocks, index parts, map records, header fields), so that the
// definition can be used as if read from a file.
void PlaceTableDef(const Format& format, std::uint16_t code_page, TableDef& def);

// How many pages a stream of this length needs.
std::size_t TableDefPageCount(const Format& format, std::size_t stream_length);

// The stream cut into pages chained through `pages` (TableDefPageCount of them).
std::vector<Bytes> TableDefPages(const Format& format, ByteSpan stream, const std::vector<std::uint32_t>& pages);

}  // namespace dorvane::jet
