#pragma once
// A whole table as CSV (csv.h), header row first, written to a stdio stream
// in large pieces. Values are converted straight into the buffer kept for
// the whole table and quoted there, so nothing is allocated per value.

#include <cstdio>

#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet_tool {

// Throws the reader's errors (the rows before are written first) and
// kIoError when the output cannot be written.
void ExportCsv(const jet::PageFile& file, const jet::TableDef& def, std::FILE* out);

}  // namespace dorvane::jet_tool
