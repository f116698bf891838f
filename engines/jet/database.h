#pragma once
// An Access database opened for reading: the shared hold that keeps
// compaction out, the page file and the catalog's tables. Whole tables
// convert to text rows here; queries (query.h) build on the same pieces.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engines/jet/complex_values.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/lock.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

struct TextRows {
    std::vector<std::string> columns;
    std::vector<std::vector<std::optional<std::string>>> rows;  // nullopt = Null
};

class JetDatabase {
public:
    // Throws kFileNotFound, kInUse, kNotADatabase, kCorrupt.
    static JetDatabase Open(const std::filesystem::path& path);
    // The same for one pass by one thread (check, export): a file nobody else
    // had open is read in blocks, the `kept_blocks` most recent kept
    // (PageFile::OpenCached); one a product has open is read page by page,
    // each as it is now.
    static JetDatabase OpenForOnePass(const std::filesystem::path& path,
                                      std::size_t kept_blocks = PageFile::kKeptBlocks);

    const PageFile& file() const { return file_; }
    const std::vector<CatalogEntry>& tables() const { return tables_; }
    // Throws kItemNotFound when there is no such table (case-insensitive).
    TableDef LoadTable(std::string_view name) const;

private:
    JetDatabase(ReadHold hold, PageFile file, std::vector<CatalogEntry> tables);
    ReadHold hold_;
    PageFile file_;
    std::vector<CatalogEntry> tables_;
};

// A value as text; a complex column's as its items (complex_values.h).
std::optional<std::string> FieldText(const PageFile& file, const ComplexValues& complex, const Column& column,
                                     ByteSpan row, const FieldSpan& field);

// Every row of the table, every column, in stored order.
TextRows ReadTableText(const PageFile& file, const TableDef& def);
// The same one row at a time, for tables too large to hold as text.
void ForEachRowText(const PageFile& file, const TableDef& def,
                    const std::function<void(std::vector<std::optional<std::string>>&)>& visit);

}  // namespace dorvane::jet
