// Every test database compacted: the engine's own verification passes, the
// source is untouched, the copy is no larger (smaller where there was space
// to reclaim), compacting the copy again changes nothing, and two independent
// readers (mdbtools, mdb-reader) see the same content in source and copy.

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "core/error.h"
#include "engines/jet/compact/compaction.h"
#include "tests/jet_compact/test_files.h"

namespace dorvane::testing {
namespace {

std::string TestName(const ::testing::TestParamInfo<std::filesystem::path>& info) {
    std::string name = info.param.parent_path().filename().string() + "_" + info.param.stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

std::string SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (auto& l : lines) out += l + "\n";
    return out;
}

// mdb-export of every table, rows sorted: mdbtools meets an overflowed row
// where its body lies, so its row order differs across a compaction by design.
std::string MdbToolsView(const std::filesystem::path& file) {
    const CommandResult tables = RunCommand("mdb-tables -1 -S " + Quote(file));
    EXPECT_EQ(tables.status, 0) << file;
    std::string out;
    std::istringstream in(SortedLines(tables.output));
    for (std::string table; std::getline(in, table);) {
        if (table.empty()) continue;
        const CommandResult rows = RunCommand("mdb-export -b hex " + Quote(file) + " " + Quote(table) + " 2>/dev/null");
        out += "== " + table + " (" + std::to_string(rows.status) + ")\n" + SortedLines(rows.output);
    }
    return out;
}

class CompactFiles : public ::testing::TestWithParam<std::filesystem::path> {};

TEST_P(CompactFiles, CopyHoldsTheSameContentAndIsAFixedPoint) {
    TempDir dir;
    const auto source = CopyInto(dir, GetParam());
    const std::string before = ReadFile(source);
    const auto copy = dir / "copy.mdb";
    jet::CompactSummary summary;
    ASSERT_NO_THROW(jet::CompactFile(source, copy, summary));

    EXPECT_EQ(ReadFile(source), before) << "the source must not change";
    const auto sourceSize = std::filesystem::file_size(source);
    const auto copySize = std::filesystem::file_size(copy);
    const auto pageSize = sourceSize / summary.source_pages;
    EXPECT_EQ(copySize, std::uint64_t{summary.copy_pages} * pageSize);
    EXPECT_LE(copySize, sourceSize);
    if (GetParam().parent_path().filename() == "products") {
        EXPECT_LT(copySize, sourceSize) << "deleted rows reclaimed";
    }
    std::cout << "size " << GetParam().filename().string() << " " << sourceSize << " -> " << copySize << " bytes ("
              << summary.source_pages << " -> " << summary.copy_pages << " pages, " << summary.holes << " holes)\n";

#ifdef DORVANE_JET_TOOL
    const CommandResult check = RunCommand(std::string(DORVANE_JET_TOOL) + " check " + Quote(copy) + " 2>&1");
    EXPECT_EQ(check.status, 0) << check.output;
#endif

    // Compacting the copy gives the copy back, byte for byte.
    const auto again = dir / "again.mdb";
    ASSERT_NO_THROW(jet::CompactFile(copy, again));
    EXPECT_TRUE(ReadFile(again) == ReadFile(copy)) << "a second compaction changed the file";

    if (HaveCommand("mdb-export")) {
        EXPECT_EQ(MdbToolsView(source), MdbToolsView(copy)) << "mdbtools reads different content";
    } else {
        std::cout << "mdbtools not installed: its comparison is skipped\n";
    }

    const std::filesystem::path node = DORVANE_NODE_DIR;
    if (HaveCommand("node") && std::filesystem::exists(node / "node_modules" / "mdb-reader")) {
        const auto dump = [&node](const std::filesystem::path& f) {
            return RunCommand("node " + Quote(node / "dump-rows.mjs") + " " + Quote(f));
        };
        const CommandResult a = dump(source);
        const CommandResult b = dump(copy);
        EXPECT_EQ(a.status, 0);
        EXPECT_EQ(b.status, 0);
        EXPECT_FALSE(a.output.empty());
        EXPECT_TRUE(a.output == b.output) << "mdb-reader reads different rows";
    } else {
        std::cout << "node or mdb-reader (npm install in tests/node) missing: its comparison is skipped\n";
    }
}

INSTANTIATE_TEST_SUITE_P(TestData, CompactFiles, ::testing::ValuesIn(CompactionInputs()), TestName);

TEST(CompactFilesSet, TestDataIsThere) {
    EXPECT_GE(CompactionInputs().size(), 40U) << "test data missing under " << TestData();
}

}  // namespace
}  // namespace dorvane::testing
