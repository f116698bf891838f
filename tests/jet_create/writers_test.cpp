// The definition and row writers against every test database: what the reader
// parsed, written again, reads back the same, and is byte for byte what Access
// stored except in the bytes the reader does not keep.

#include <random>

#include "engines/jet/format/row.h"
#include "engines/jet/write/entry_sorter.h"
#include "engines/jet/format/row_writer.h"
#include "engines/jet/format/table_def_writer.h"
#include "engines/jet/format/text.h"
#include "engines/jet/format/text_encode.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using namespace testing;

// Jet 4 definition bytes the reader drops, as (offset, length) from the start of
// each part: the header's unknown bytes; a column's ordinal and sort-version
// bytes; an index's unknown word and the order bytes of its unused column slots; a logical entry's foreign-key and cascade bytes.
void CopyDroppedBytes(const TableDef& def, const Bytes& from, Bytes& to) {
    const auto copy = [&](std::size_t at, std::size_t length) { std::copy_n(&from.at(at), length, &to.at(at)); };
    copy(25, 15);
    for (const Column& column : def.columns) copy(column.block_offset + 9, 2), copy(column.block_offset + 13, 2);
    for (const PhysicalIndex& index : def.physical_indexes) {
        copy(index.definition_offset + 42, 4);
        for (std::size_t slot = index.columns.size(); slot < 10; ++slot)
            copy(index.definition_offset + 6 + 3 * slot, 1);
    }
    for (const LogicalIndex& index : def.logical_indexes) copy(index.entry_offset + 12, 11);
}

TEST(WritersTest, EveryDefinitionWrittenAgainReadsBackTheSame) {
    std::size_t definitions = 0, byteEqual = 0;
    for (const fs::path& path : AllTestDatabases()) {
        const PageFile file = PageFile::Open(path);
        Bytes image = ReadBytes(path);
        for (const CatalogEntry& table : ReadTables(file)) {
            const TableDef def = ReadTableDef(file, table.table_page());
            const Bytes ours = EncodeTableDef(file.format(), file.code_page(), def);
            SCOPED_TRACE(path.filename().string() + " " + table.name);
            ASSERT_EQ(ours.size(), def.end_offset);
            const std::vector<Bytes> pages = TableDefPages(file.format(), ours, def.pages);
            for (std::size_t i = 0; i < pages.size(); ++i) {
                std::copy(pages[i].begin(), pages[i].end(),
                          image.begin() + static_cast<std::ptrdiff_t>(At(file, def.pages[i])));
            }
            const PageFile written = PageFile::FromMemory(image);
            EXPECT_EQ(EncodeTableDef(file.format(), file.code_page(), ReadTableDef(written, def.page)), ours);
            ++definitions;
            if (file.version() == Version::kJet3) continue;
            Bytes stored(def.stream.begin(), def.stream.begin() + static_cast<std::ptrdiff_t>(def.end_offset));
            CopyDroppedBytes(def, ours, stored);
            std::copy_n(ours.begin(), 8, stored.begin());
            EXPECT_EQ(std::mismatch(stored.begin(), stored.end(), ours.begin(), ours.end()).first - stored.begin(),
                      std::ssize(stored));
            byteEqual += stored == ours;
            // The page header words as Access wrote them.
            const Bytes first = file.ReadPage(def.page);
            EXPECT_EQ(Le16(first, 2), Le16(pages.front(), 2));
        }
    }
    EXPECT_GT(definitions, 390u);
    EXPECT_GT(byteEqual, 250u);
}

// Rows carry what the reader drops: bytes under Null fixed columns, the data of
// deleted columns, slack after an update, and counts from before columns were
// added. Any other difference is the writer's.
TEST(WritersTest, EveryJet4RowWrittenAgainIsTheRowAccessStored) {
    std::size_t rows = 0, byteEqual = 0;
    for (const fs::path& path : AllTestDatabases()) {
        const PageFile file = PageFile::Open(path);
        if (file.version() != Version::kJet4) continue;
        for (const CatalogEntry& table : ReadTables(file)) {
            const TableDef def = ReadTableDef(file, table.table_page());
            RowCursor cursor(file, def);
            for (TableRow row; cursor.Next(row);) {
                const RowFields fields = LocateFields(file.format(), def, row.body);
                Bytes stored(row.body.begin(), row.body.end());
                std::vector<StoredValue> values;
                std::size_t fixedEnd = 2;  // fixed bytes no present column holds: zero
                for (const Column& column : def.columns) {
                    if (column.IsFixed() && !column.IsBoolean())
                        fixedEnd = std::max(fixedEnd, std::size_t{2} + column.fixed_offset + column.length);
                }
                std::fill(stored.begin() + 2,
                          stored.begin() + static_cast<std::ptrdiff_t>(std::min(fixedEnd, stored.size())), 0);
                for (std::size_t c = 0; c < def.columns.size(); ++c) {
                    const FieldSpan& span = fields.spans[c];
                    if (span.present && def.columns[c].IsFixed())
                        std::copy_n(&row.body[span.offset], span.length, &stored[span.offset]);
                    const ByteSpan bytes =
                        span.present && !def.columns[c].IsBoolean() ? FieldBytes(row.body, span) : ByteSpan{};
                    values.push_back({span.present, span.bool_value, Bytes(bytes.begin(), bytes.end())});
                }
                const Bytes ours = EncodeRow(file.format(), def, values);
                const RowFields again = LocateFields(file.format(), def, ours);
                for (std::size_t c = 0; c < def.columns.size(); ++c) {
                    ASSERT_EQ(again.spans[c].present, fields.spans[c].present) << table.name;
                    ASSERT_EQ(again.spans[c].bool_value, fields.spans[c].bool_value) << table.name;
                    if (!fields.spans[c].present || def.columns[c].IsBoolean()) continue;
                    ASSERT_TRUE(
                        std::ranges::equal(FieldBytes(ours, again.spans[c]), FieldBytes(row.body, fields.spans[c])));
                }
                const bool complete = fields.column_count == def.max_cols && fields.var_count == def.num_var_cols;
                if (complete && stored.size() == ours.size()) {
                    EXPECT_EQ(stored, ours) << path << " " << table.name;
                }
                ++rows;
                byteEqual += stored == ours;
            }
        }
    }
    EXPECT_GT(rows, 10000u);
    EXPECT_GT(byteEqual, rows * 9 / 10);
}

TEST(WritersTest, TextIsStoredAsJet4StoresIt) {
    const std::tuple<std::string, bool, Bytes> cases[] = {
        {"ab", true, {0xFF, 0xFE, 'a', 'b'}},
        {"\xC3\xA9t\xC3\xA9", true, {0xFF, 0xFE, 0xE9, 't', 0xE9}},
        {"ab", false, {'a', 0, 'b', 0}},
        {"\xE2\x82\xAC", true, {0xAC, 0x20}},                  // beyond U+00FF: UCS-2
        {"\xF0\x9F\x98\x80", true, {0x3D, 0xD8, 0x00, 0xDE}},  // a surrogate pair
        {"", true, {}},
    };
    for (const auto& [text, compress, stored] : cases) {
        EXPECT_EQ(Utf8ToJet4Text(text, compress), stored) << text;
        EXPECT_EQ(Jet4TextToUtf8(stored), text);
    }
    for (const char* bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "a\xFF"}) {
        EXPECT_EQ(ErrorOf([&] { Utf8ToUcs2(bad); }), errc::kValueRefused) << bad;
    }
}

}  // namespace
}  // namespace dorvane::jet

namespace dorvane::jet {
namespace {

// Entries spilled in runs of a few each come back merged into the order a
// tree keeps (by key, then row), every one once, and the spill file goes
// with the sorter; without a spill file the same order comes from memory.
TEST(WritersTest, EntrySorterMergesSpilledRunsIntoTreeOrder) {
    TempFolder dir;
    std::mt19937 random(7);
    std::vector<Bytes> expected;
    for (const bool spill : {true, false}) {
        write::EntrySorter sorter(spill ? dir / "runs" : fs::path(), 64);
        expected.clear();
        for (int i = 0; i < 500; ++i) {
            const Bytes key(1 + random() % 6, static_cast<std::uint8_t>('a' + random() % 3));  // many repeats
            const RowPointer row{static_cast<std::uint32_t>(random() % 50), static_cast<std::uint8_t>(random() % 4)};
            sorter.Add(key, row);
            expected.push_back(key);
            AppendIndexRowRef(expected.back(), row);
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(fs::exists(dir / "runs"), spill);
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<Bytes> got;
            sorter.Visit([&got](ByteSpan key, RowPointer row) {
                got.emplace_back(key.begin(), key.end());
                AppendIndexRowRef(got.back(), row);
            });
            EXPECT_EQ(got, expected) << "spill " << spill << " pass " << pass;
        }
    }
    EXPECT_FALSE(fs::exists(dir / "runs"));
}

}  // namespace
}  // namespace dorvane::jet
