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
//   Binary (one byte or more), ascending and descending, Null, several columns;
// - Text in the General sort order of Jet 3 (0x0409, code page 1252): every
//   byte but 0x00 and 0x1A, accented letters included; before an accented
//   letter only A, '-', the no-break space, 0x83 and other accented letters
//   may stand, because where any other character stands among the accent
//   marks is not known;
// - Text in the General sort order of Jet 4 (0x0409, version 0): space,
//   digits, the letters a-y in either case, '_', '-' and U+0003.
// Jet 4 descending text, and unprintable characters ('-') after the first
// character, follow the layout the published format libraries describe and
// check against Access-made files; no test file here holds one.
// Not supported, each a kNotAvailable error naming the column: Decimal,
// fixed binary, memo and OLE columns, empty binary values, other sort orders
// or code pages, and any character without a known weight (see sort_order.h).

#include <optional>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/format.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {


// The key of `row` (a row body as the reader returns it) in `index`, one of
// `def`'s physical indexes; std::nullopt when the index keeps no entry for
// the row (it ignores Nulls and every indexed column is Null). Throws
// kNotAvailable for what is not supported (see above), kCorrupt for a row or
// definition that cannot be read.
std::optional<Bytes> EncodeIndexKey(const Format& format, const TableDef& def, const PhysicalIndex& index,
                                    ByteSpan row);

}  // namespace dorvane::jet
