#pragma once
// A whole table as CSV (csv.h), header row first, written to a stdio stream
// in large pieces. Values are converted straight into the buffer kept for
// the whole table and quoted there, so nothing is allocated per value.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string_view>

#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet_tool {

// The blocks of the file an export keeps read (JetDatabase::OpenForOnePass):
// it reads the rows in page order and each value's memo or OLE pages.
inline constexpr std::size_t kExportKeptBlocks = 4;

// Takes the CSV in pieces of about 64 KiB, in order; throws when it cannot
// write them.
using CsvSink = std::function<void(std::string_view)>;

// Throws the reader's errors (the rows before are written first) and the
// sink's.
void ExportCsv(const jet::PageFile& file, const jet::TableDef& def, const CsvSink& out);
// The same into a stdio stream; kIoError when it cannot be written.
void ExportCsv(const jet::PageFile& file, const jet::TableDef& def, std::FILE* out);

}  // namespace dorvane::jet_tool
