#pragma once
// Compares a compacted copy with its source, through the reader: the same
// tables, each with the same definition (apart from the fields compaction
// rewrites), the same rows in the same order with the same bytes, the same
// long values, and every index with the same entries in order, its row
// pointers naming the same rows; and the copy passes the full consistency
// check. Definitions that moved are looked for where the relocation put them,
// and every stored table id must name the same table as before (see
// verify_ids.h). Throws Error(kVerifyFailed) on a difference.

#include <functional>
#include <memory>
#include <vector>

#include "engines/jet/check/checker.h"
#include "engines/jet/compact/digest.h"
#include "engines/jet/compact/relocation.h"
#include "engines/jet/compact/table_source.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {
class PageFile;
}

namespace dorvane::jet::compact {

// A table's rows and entries read again from the source as they were read
// for the copy (by its index in the list).
using TableSourceOf = std::function<std::unique_ptr<TableSource>(std::size_t table)>;

// The copy's full check fingerprints each table as it reads it, and the
// fingerprint is compared with `written`, the compaction's of what it read and
// wrote (parallel to source_tables); only where they differ is the source read
// again, to name the difference. In a repair (`salvaged` given) that reading is the salvage's:
// the copy is compared with the rows and index entries salvaged, not with the
// damaged structures.
// `tables` are the catalog's tables the copy must list, parallel to
// source_tables; `restored` those among them a repair made tables again.
void VerifyCopy(const PageFile& source, const std::vector<CatalogEntry>& tables,
                const std::vector<TableDef>& source_tables, const PageFile& copy, const Relocation& relocation,
                const std::vector<TableDigest>& written, const TableSourceOf& source_of,
                const std::vector<CatalogEntry>& restored = {});

}  // namespace dorvane::jet::compact
