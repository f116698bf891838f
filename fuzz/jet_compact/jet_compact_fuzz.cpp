// Any bytes as a database to compact. The engine must refuse with a
// dorvane::Error and leave no destination behind, or accept only a source
// the full check finds sound and write a sound copy that reads back with every
// table's rows equal, value for value, to the source's.
// Anything else (a crash, a hang, a copy that differs) is a finding.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/checker.h"
#include "engines/jet/compact/compaction.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/value.h"

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
        RowCursor rows(file, def);
        for (TableRow row; rows.Next(row);) {
            const RowFields fields = LocateFields(file.format(), def, row.body);
            std::string line;
            for (std::size_t i = 0; i < def.columns.size(); ++i) {
                const auto value = FieldToText(file, def.columns[i], row.body, fields.spans[i]);
                line += value ? "=" + *value : "<null>";
                line += '\x1f';
            }
            out.push_back(std::move(line));
        }
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
    // The engine accepted the file: the full check must find it sound (damage
    // would mean rows the copy may have dropped), and its copy must be sound
    // and hold the same content.
    std::vector<std::string> before;
    try {
        const PageFile original = PageFile::Open(source);
        if (!CheckDatabase(original).ok()) Fail("a database the check finds damaged was compacted");
        before = Content(original);
    } catch (const dorvane::Error&) {
        Fail("a database the reader cannot read whole was compacted");
    }
    try {
        const PageFile compacted = PageFile::Open(copy);
        if (!CheckDatabase(compacted).ok()) Fail("the compacted copy fails the consistency check");
        if (Content(compacted) != before) Fail("the compacted copy differs in content");
    } catch (const dorvane::Error&) {
        Fail("the compacted copy cannot be read back");
    }
    return 0;
}
