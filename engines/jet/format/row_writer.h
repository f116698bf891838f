#pragma once
// Rows written: each column's bytes placed in the fixed area or the variable
// area, the variable-offset table and the null mask after them, the inverse
// of LocateFields (row.h). Jet 4 layout only: new rows go into Jet 4 files.

#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/format.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

struct StoredValue {
    bool present = false;     // false: Null
    bool bool_value = false;  // Boolean columns: the value, stored as the null-mask bit
    Bytes bytes;              // fixed columns: exactly the column's length
};

// `values` is parallel to def.columns. Throws dorvane::Error(errc::kValueRefused)
// for a fixed value of the wrong length, a variable one longer than its
// column, or a row too large for a page.
Bytes EncodeRow(const Format& format, const TableDef& def, const std::vector<StoredValue>& values);

}  // namespace dorvane::jet
