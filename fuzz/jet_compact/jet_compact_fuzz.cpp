// Any bytes as a database to compact. The engine must refuse with a
// dorvane::Error and leave no destination behind, or accept only a source
// the full check finds sound and write a sound copy that reads back with every
// table's rows equal, value for value, to the source's.
// Anything else (a crash, a hang, a copy that differs) is a finding.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "engines/jet/checker.h"
#include "engines/jet/compact/compaction.h"
#include "engines/jet/database.h"

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

void Fail(const char* what) {
    std::fprintf(stderr, "compaction fuzz finding: %s\n", what);
    std::abort();
}

// The full check must find the file sound; then every table's name and rows.
std::vector<TextRows> SoundContent(const fs::path& path, const char* unsound) {
    std::vector<TextRows> content;
    try {
        const PageFile file = PageFile::Open(path);
        if (!CheckDatabase(file).ok()) Fail(unsound);
        for (const CatalogEntry& entry : ReadTables(file)) {
            content.push_back(ReadTableText(file, ReadTableDef(file, entry.table_page())));
            content.back().columns.push_back(entry.name);
        }
    } catch (const dorvane::Error&) {
        Fail("a compacted database or its copy cannot be read whole");
    }
    return content;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path source = WorkFolder() / "source.mdb";
    const fs::path copy = WorkFolder() / "copy.mdb";
    std::ofstream(source, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    std::error_code ec;
    fs::remove(copy, ec);
    try {
        CompactFile(source, copy);
    } catch (const dorvane::Error&) {
        if (fs::exists(copy)) Fail("a refused compaction left its destination behind");
        return 0;
    }
    // Damage in the source would mean rows the copy may have dropped.
    const auto before = SoundContent(source, "a database the check finds damaged was compacted");
    const auto after = SoundContent(copy, "the compacted copy fails the consistency check");
    if (before.size() != after.size()) Fail("the compacted copy has other tables");
    for (std::size_t i = 0; i < before.size(); ++i)
        if (before[i].columns != after[i].columns || before[i].rows != after[i].rows) Fail("the compacted copy differs in content");
    return 0;
}
