// Index keys computed from row values against the keys Access stored: every
// entry of every physical index of every test file (system tables included)
// must be rebuilt byte for byte from the row it points at, and every row
// must have exactly the entries its key calls for. Set DORVANE_INDEX_KEY_FILES
// (paths separated by ':') to check further files, e.g. the unpacked
// benchmark databases.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "core/error.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/index_key.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/sort_order.h"
#include "engines/jet/format/table_scan.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

struct FileTally {
    int indexes = 0, matched = 0, unsupported = 0;
    long entries = 0;
    std::map<std::string, int> reasons;
};

std::vector<std::filesystem::path> FilesToCheck() {
    std::vector<std::filesystem::path> files = testing::AllTestDatabases();
    if (const char* extra = std::getenv("DORVANE_INDEX_KEY_FILES"); extra != nullptr) {
        std::stringstream list(extra);
        for (std::string path; std::getline(list, path, ':');) {
            if (!path.empty()) files.emplace_back(path);
        }
    }
    return files;
}

// Compares one index with the keys of its table's rows; false when a key
// cannot be built (the reason is tallied).
bool CheckIndex(const PageFile& file, const TableDef& def, const std::string& where,
                const std::map<RowPointer, Bytes>& rows, const PhysicalIndex& index, FileTally& tally) {
    std::map<RowPointer, Bytes> keys;
    try {
        for (const auto& [pointer, body] : rows) {
            if (auto key = EncodeIndexKey(file.format(), def, index, body)) keys.emplace(pointer, *key);
        }
    } catch (const Error& error) {
        if (error.number() != errc::kNotAvailable) throw;
        ++tally.reasons[error.description()];
        return false;
    }
    const IndexWalk walk = WalkIndex(file, index.root_page);
    EXPECT_EQ(walk.entries.size(), keys.size()) << where << ": entries against rows with a key";
    for (const IndexEntry& entry : walk.entries) {
        const auto key = keys.find(entry.row);
        if (key == keys.end()) {
            ADD_FAILURE() << where << ": an entry for " << entry.row.ToString() << ", which has no key";
        } else {
            EXPECT_EQ(key->second, entry.key) << where << ", " << entry.row.ToString();
        }
    }
    tally.entries += static_cast<long>(walk.entries.size());
    return true;
}

TEST(IndexKeyTest, EveryStoredEntryIsRebuiltFromItsRow) {
    long totalEntries = 0;
    for (const auto& path : FilesToCheck()) {
        SCOPED_TRACE(path.filename().string());
        const PageFile file = PageFile::Open(path);
        FileTally tally;
        for (const CatalogEntry& table : ReadTables(file)) {
            const TableDef def = ReadTableDef(file, table.table_page());
            std::map<RowPointer, Bytes> rows;
            ScanRows(file, def, [&](RowPointer pointer, ByteSpan body) {
                rows.emplace(pointer, Bytes(body.begin(), body.end()));
                return true;
            });
            for (std::size_t i = 0; i < def.physical_indexes.size(); ++i) {
                ++tally.indexes;
                const std::string where = table.name + " index " + std::to_string(i);
                (CheckIndex(file, def, where, rows, def.physical_indexes[i], tally) ? tally.matched
                                                                                     : tally.unsupported)++;
            }
        }
        std::printf("%-32s %3d indexes: %3d match (%6ld entries), %d unsupported\n", path.filename().string().c_str(),
                    tally.indexes, tally.matched, tally.entries, tally.unsupported);
        for (const auto& [reason, count] : tally.reasons) std::printf("    %dx %s\n", count, reason.c_str());
        totalEntries += tally.entries;
    }
    EXPECT_GT(totalEntries, 0);
}

}  // namespace
}  // namespace dorvane::jet
