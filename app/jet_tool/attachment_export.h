#pragma once
// The files a table's attachment columns hold, written out decoded:
// DIR/<column>/<row>/<file name>, the row counted from 1 in the order export
// lists the rows. Nothing is overwritten: a file already there is an error.

#include <cstddef>
#include <filesystem>

#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet_tool {

// The number of files written. Throws the reader's errors and
// kFileAlreadyExists, kPathNotFound, kIoError...
std::size_t ExportAttachments(const jet::PageFile& file, const jet::TableDef& def, const std::filesystem::path& dir);

}  // namespace dorvane::jet_tool
