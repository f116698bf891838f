// Any bytes as a database to compact. The engine must refuse with a dorvane::Error and
// leave no destination behind, or accept only a source the full check finds sound and
// write a sound copy with every table's rows equal, value for value, to the source's.
// Anything else (a crash, a hang, a copy that differs) is a finding.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "core/error.h"
#include "engines/jet/checker.h"
#include "engines/jet/compact/compaction.h"
#include "engines/jet/database.h"

namespace {

namespace fs = std::filesystem;
using namespace dorvane::jet;

void Fail(const char* what) {
    std::fprintf(stderr, "compaction fuzz finding: %s\n", what);
    std::abort();
}

// Every table's rows as text, of a file the full check must find sound.
std::vector<std::vector<std::vector<std::optional<std::string>>>> SoundContent(const fs::path& path) {
    std::vector<std::vector<std::vector<std::optional<std::string>>>> content;
    try {
        const PageFile file = PageFile::Open(path);
        if (!CheckDatabase(file).ok()) Fail("a compacted database or its copy fails the full check");
        for (const CatalogEntry& entry : ReadTables(file))
            content.push_back(ReadTableText(file, ReadTableDef(file, entry.table_page())).rows);
    } catch (const dorvane::Error&) {
        Fail("a compacted database or its copy cannot be read whole");
    }
    return content;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "dorvane-fuzz-compact-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return fs::path(pattern);
    }();
    const fs::path source = folder / "source.mdb", copy = folder / "copy.mdb";
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
    if (SoundContent(source) != SoundContent(copy)) Fail("the compacted copy differs in content");
    return 0;
}
