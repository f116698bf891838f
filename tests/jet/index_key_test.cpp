// Index keys computed from row values against the keys Access stored: every
// entry of every physical index of every test file (system tables included)
// must be rebuilt byte for byte from the row it points at, and every row
// must have exactly the entries its key calls for. What no stored entry
// shows is refused.

#include <algorithm>
#include <map>

#include "engines/jet/format/index_key.h"
#include "engines/jet/format/sort_order.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using testing::ErrorOf;

// Compares one index with the keys of its table's rows; returns its entries.
std::size_t CheckIndex(const PageFile& file, const TableDef& def, const std::string& where,
                       const std::map<RowPointer, Bytes>& rows, const PhysicalIndex& index) {
    std::map<RowPointer, Bytes> keys;
    std::string refusal;  // every index of the test files has known keys
    if (ErrorOf([&] {
            for (const auto& [pointer, body] : rows)
                if (auto key = EncodeIndexKey(file.format(), def, index, body)) keys.emplace(pointer, *key);
        }, &refusal) != 0) {
        ADD_FAILURE() << where << ": " << refusal;
        return 0;
    }
    const IndexWalk walk = WalkIndex(file, index.root_page);
    std::map<RowPointer, Bytes> stored;
    for (const IndexEntry& entry : walk.entries)
        EXPECT_TRUE(stored.emplace(entry.row, entry.key).second) << where << ": two entries for " << entry.row.ToString();
    const auto [theirs, ours] = std::ranges::mismatch(stored, keys);
    EXPECT_TRUE(theirs == stored.end() && ours == keys.end())
        << where << ": stored entries and rows' keys differ first at " << (theirs != stored.end() ? theirs : ours)->first.ToString();
    return walk.entries.size();
}

std::size_t CheckFile(const std::filesystem::path& path) {
    const PageFile file = PageFile::Open(path);
    std::size_t entries = 0;
    for (const CatalogEntry& table : ReadTables(file)) {
        const TableDef def = ReadTableDef(file, table.table_page());
        std::map<RowPointer, Bytes> rows;
        RowCursor cursor(file, def);
        for (TableRow row; cursor.Next(row);) rows.emplace(row.header, Bytes(row.body.begin(), row.body.end()));
        for (std::size_t i = 0; i < def.physical_indexes.size(); ++i)
            entries += CheckIndex(file, def, path.filename().string() + " " + table.name + " index " + std::to_string(i), rows,
                                  def.physical_indexes[i]);
    }
    return entries;
}

TEST(IndexKeyTest, EveryStoredEntryIsRebuiltFromItsRow) {
    std::size_t entries = 0;
    for (const auto& path : testing::AllTestDatabases()) entries += CheckFile(path);
    EXPECT_GT(entries, 30000u);
}

TEST(IndexKeyTest, TextWithoutKnownWeightsIsRefusedNotGuessed) {
    const auto jet4 = [](std::u16string_view text) { Bytes key; AppendGeneralLegacyTextKey(text, true, key); return key; };
    const auto jet3 = [](std::string_view text) {
        Bytes key; AppendGeneral97TextKey(ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), true, key); return key;
    };
    // Characters no stored entry shows, text longer than a column holds, and
    // (Jet 3) a letter whose place among the accent marks is not known.
    for (const std::u16string& text : {std::u16string(u"z"), std::u16string(u"Zoo"), std::u16string(u"caf\u00E9"),
                                      std::u16string(u"a\0b", 3), std::u16string(u"\U0001F600"),
                                      std::u16string(256, u'a')}) {
        EXPECT_EQ(ErrorOf([&] { jet4(text); }), errc::kNotAvailable) << text.size();
    }
    for (const std::string& text : {std::string(1, '\0'), std::string("a\x1A"), std::string("b\xE9"),
                                   std::string("Caf\xE9")}) {
        EXPECT_EQ(ErrorOf([&] { jet3(text); }), errc::kNotAvailable) << text;
    }
    // What the entries do show: case never counts; A, '-' and a no-break
    // space may stand before an accented letter.
    EXPECT_EQ(jet4(u"KEW_9-X"), jet4(u"kew_9-x"));
    EXPECT_EQ(jet3("A-\xA0\xC9"), jet3("a-\xA0\xE9"));
}

TEST(IndexKeyTest, ColumnsWithoutKnownKeysAreRefusedByName) {
    struct Case { const char *file, *table, *column; };
    const Case cases[] = {
        {"mdb/jet4/fixedNumericTestV2000.mdb", "test", "col2"},   // Decimal
        {"mdb/jet4/testV2000.mdb", "MSysAccessObjects", "Data"},  // fixed binary
        {"products/post_db.mdb", "doclib", "Description"},        // memo
        {"products/post_db.mdb", "Scans", "Image"},               // OLE
        {"mdb/jet4/queryTestV2000.mdb", "MSysQueries", "Name2"},  // text: '.' and '[' have no known weight
    };
    for (const Case& c : cases) {
        const PageFile file = PageFile::Open(testing::TestData() / c.file);
        const TableDef def = ReadTableDef(file, FindTable(ReadTables(file), c.table)->table_page());
        PhysicalIndex index;
        index.columns.push_back({def.columns[*def.ColumnIndex(c.column)].number, true});
        int refused = 0;
        RowCursor cursor(file, def);
        for (TableRow row; cursor.Next(row);) {
            std::string description;
            if (ErrorOf([&] { EncodeIndexKey(file.format(), def, index, row.body); }, &description) ==
                errc::kNotAvailable) {
                ++refused;
                EXPECT_NE(description.find(c.column), std::string::npos) << description;
            }
        }
        EXPECT_GT(refused, 0) << c.column;
        // A row that cannot be read is damage, not a missing weight.
        EXPECT_EQ(ErrorOf([&] { EncodeIndexKey(file.format(), def, index, ByteSpan()); }), errc::kCorrupt);
    }
}

}  // namespace
}  // namespace dorvane::jet
