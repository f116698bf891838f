#pragma once
// A whole table as CSV (csv.h), header row first, written to a stdio stream
// in large pieces. Values are converted straight into the buffer kept for
// the whole table and quoted there, so nothing is allocated per value.

#include <cstddef>
#include <cstdio>

#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet_tool {

// The blocks of the file an export keeps read (JetDatabase::OpenForOnePass):
// it reads the rows in page order and each value's memo or OLE pages.
inline constexpr std::size_t kExportKeptBlocks = 8;

// Throws the reader's errors (the rows before are written first) and
// kIoError when the output cannot be written.
void ExportCsv(const jet::PageFile& file, const jet::TableDef& def, std::FILE* out);

}  // namespace dorvane::jet_tool
