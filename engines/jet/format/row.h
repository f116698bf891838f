#pragma once
// Where each column's bytes are inside a row, from the null mask, the fixed
// area and the variable-offset table (Jet 3 jump tables included). Rows are
// opaque bytes to everything else; this is the one place that knows their
// layout.

#include <cstdint>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/format.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

struct FieldSpan {
    bool present = false;      // false: Null (or the column is newer than the row)
    bool bool_value = false;   // Boolean columns: the null-mask bit is the value
    std::uint32_t offset = 0;  // in the row; meaningful when present and not Boolean
    std::uint32_t length = 0;
};

struct RowFields {
    std::uint16_t column_count = 0;          // columns the row was written with
    std::uint16_t var_count = 0;             // variable slots in the row
    std::vector<FieldSpan> spans;            // parallel to TableDef::columns
    std::vector<std::uint32_t> var_offsets;  // of the variable columns' data, and where it ends
};

// Throws kCorrupt when the row's own tables point outside it.
RowFields LocateFields(const Format& format, const TableDef& def, ByteSpan row);
// The same into `out`, whose buffers a loop over rows reuses.
void LocateFields(const Format& format, const TableDef& def, ByteSpan row, RowFields& out);

inline ByteSpan FieldBytes(ByteSpan row, const FieldSpan& field) { return row.subspan(field.offset, field.length); }

// The largest positive AutoNumber value in the row, or 0: the table's
// counter (the last value issued) must never be below it.
std::uint32_t LargestAutoNumber(const TableDef& def, ByteSpan row, const RowFields& fields);
// The largest key the row's complex columns hold (0: none).
std::uint32_t LargestComplexKey(const TableDef& def, ByteSpan row, const RowFields& fields);

}  // namespace dorvane::jet
