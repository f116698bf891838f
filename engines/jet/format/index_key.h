#pragma once
// Index keys computed from row values, byte for byte as Access stores them in
// an index's leaf entries (the row pointer not included), so that an index
// can be rebuilt from its table's rows alone.
//
// A key is, per index column, a flag byte (0x7F ascending, 0x80 descending;
// Null: 0x00 ascending, 0xFF descending) and the value's bytes, which sort as
// the values do; a descending column's value bytes are inverted (binary
// values keep the 9 that links one 8-byte segment to the next).
//
// Supported, and checked against every stored entry of the test files:
// - Boolean, Byte, Integer, Long, Currency, Single, Double, Date/Time, GUID,
//   Binary, ascending and descending, Null, several columns;
// - ACE: complex keys, extended date/time;
// - Text in the General sort orders (legacy and Access 2010's), every
//   character but a few the 2010 tables cannot weigh (see sort_order.h).
// Not supported, each a kNotAvailable error naming the column: Decimal,
// Large Number, fixed binary, memo and OLE columns, and text in another sort
// order or code page.

#include <optional>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/format.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

// Each column's part of a key opens with one of these.
inline constexpr std::uint8_t kKeyAscending = 0x7F;
inline constexpr std::uint8_t kKeyDescending = 0x80;
inline constexpr std::uint8_t kKeyNullAscending = 0x00;
inline constexpr std::uint8_t kKeyNullDescending = 0xFF;

// The key of `row` (a row body as the reader returns it) in `index`, one of
// `def`'s physical indexes; std::nullopt when the index keeps no entry for
// the row (it ignores Nulls and every indexed column is Null). Throws
// kNotAvailable for what is not supported (see above), kCorrupt for a row or
// definition that cannot be read.
std::optional<Bytes> EncodeIndexKey(const Format& format, const TableDef& def, const PhysicalIndex& index,
                                    ByteSpan row);

// The same into `key` (replacing what it held), with the row's fields already
// located, for loops over many rows: no allocation once `key` has grown.
// Returns false where the index keeps no entry for the row.
bool EncodeIndexKey(const Format& format, const TableDef& def, const PhysicalIndex& index, ByteSpan row,
                    const RowFields& fields, Bytes& key);

}  // namespace dorvane::jet
