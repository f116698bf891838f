// Any bytes as a database to compact. The engine must refuse with a
// dorvane::Error and leave no destination behind, or write a copy that reads
// back with every table's rows equal, value for value, to the source's.
// Anything else (a crash, a hang, a copy that differs) is a finding.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "engines/jet/catalog.h"
#include "engines/jet/checker.h"
#include "engines/jet/compact.h"
#include "engines/jet/page_file.h"
#include "engines/jet/row.h"
#include "engines/jet/table_def.h"
#include "engines/jet/table_scan.h"
#include "engines/jet/value.h"

namespace {

namespace fs = std::filesystem;
using namespace dorvane::jet;

const fs::path& WorkFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "dorvane-fuzz-compact-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return fs::path(pattern);
    }();
    return folder;
}

// Every table's name, then every row's values as text, in stored order.
std::vector<std::string> Content(const PageFile& file) {
    std::vector<std::string> out;
    for (const CatalogEntry& entry : ReadTables(file)) {
        const TableDef def = ReadTableDef(file, entry.table_page());
        out.push_back("table " + entry.name);
        ScanRows(file, def, [&](RowPointer, ByteSpan row) {
            const CrackedRow cracked = CrackRow(file.format(), def, row);
            std::string line;
            for (std::size_t i = 0; i < def.columns.size(); ++i) {
                const auto value = FieldToText(file, def.columns[i], row, cracked.fields[i]);
                line += value ? "=" + *value : "<null>";
                line += '\x1f';
            }
            out.push_back(std::move(line));
            return true;
        });
    }
    return out;
}

void Fail(const char* what) {
    std::fprintf(stderr, "compaction fuzz finding: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path source = WorkFolder() / "source.mdb";
    const fs::path copy = WorkFolder() / "copy.mdb";
    {
        std::ofstream out(source, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::error_code ec;
    fs::remove(copy, ec);
    try {
        CompactFile(source, copy);
    } catch (const dorvane::Error&) {
        if (fs::exists(copy)) Fail("a refused compaction left its destination behind");
        return 0;
    }
    // The engine accepted the file: its copy must hold the same content, and be
    // sound wherever the source was (damage it carried over is still damage).
    std::optional<std::vector<std::string>> before;
    std::optional<dorvane::jet::CheckReport> sourceCheck;
    try {
        const PageFile original = PageFile::Open(source);
        sourceCheck = CheckDatabase(original);
        before = Content(original);
    } catch (const dorvane::Error&) {
        // what the reader cannot read whole it cannot compare either
    }
    try {
        const PageFile compacted = PageFile::Open(copy);
        if (sourceCheck && sourceCheck->ok() && !CheckDatabase(compacted).ok())
            Fail("the copy of a sound database fails the consistency check");
        if (before && Content(compacted) != *before) Fail("the compacted copy differs in content");
    } catch (const dorvane::Error&) {
        if (before) Fail("the compacted copy cannot be read back although its source could");
    }
    return 0;
}
