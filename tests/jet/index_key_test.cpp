// Index keys computed from row values against the keys Access stored: every
// entry of every physical index of every test file (system tables included)
// must be rebuilt byte for byte from the row it points at, and every row
// must have exactly the entries its key calls for. What no stored entry
// shows is refused.

#include <algorithm>
#include <fstream>
#include <map>

#include "engines/jet/format/index_key.h"
#include "engines/jet/format/sort_order.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using testing::ErrorOf;

// Compares one index with the keys of its table's rows; returns its entries.
// With `unknown_keys`, an index whose keys the engine refuses to compute (the 2010
// order's unweighable characters, unknown types) is left out: a repair refuses it too.
std::size_t CheckIndex(const PageFile& file, const TableDef& def, const std::string& where,
                       const std::map<RowPointer, Bytes>& rows, const PhysicalIndex& index, bool unknown_keys) {
    std::map<RowPointer, Bytes> keys;
    std::string refusal;
    const long error = ErrorOf(
        [&] {
            for (const auto& [pointer, body] : rows)
                if (auto key = EncodeIndexKey(file.format(), def, index, body)) keys.emplace(pointer, *key);
        },
        &refusal);
    if (error == errc::kNotAvailable && unknown_keys) return 0;
    if (error != 0) {
        ADD_FAILURE() << where << ": " << refusal;
        return 0;
    }
    const IndexWalk walk = WalkIndex(file, index.root_page);
    std::map<RowPointer, Bytes> stored;
    for (const IndexEntry& entry : walk.entries)
        EXPECT_TRUE(stored.emplace(entry.row, entry.key).second)
            << where << ": two entries for " << entry.row.ToString();
    const auto [theirs, ours] = std::ranges::mismatch(stored, keys);
    EXPECT_TRUE(theirs == stored.end() && ours == keys.end())
        << where << ": stored entries and rows' keys differ first at "
        << (theirs != stored.end() ? theirs : ours)->first.ToString();
    return walk.entries.size();
}

std::size_t CheckFile(const std::filesystem::path& path, bool unknown_keys = false) {
    const PageFile file = PageFile::Open(path);
    std::size_t entries = 0;
    for (const CatalogEntry& table : ReadTables(file)) {
        const TableDef def = ReadTableDef(file, table.table_page());
        std::map<RowPointer, Bytes> rows;
        RowCursor cursor(file, def);
        for (TableRow row; cursor.Next(row);) rows.emplace(row.header, Bytes(row.body.begin(), row.body.end()));
        for (std::size_t i = 0; i < def.physical_indexes.size(); ++i)
            entries +=
                CheckIndex(file, def, path.filename().string() + " " + table.name + " index " + std::to_string(i), rows,
                           def.physical_indexes[i], unknown_keys);
    }
    return entries;
}

TEST(IndexKeyTest, EveryStoredEntryIsRebuiltFromItsRow) {
    std::size_t entries = 0;
    for (const auto& path : testing::AllTestDatabases()) entries += CheckFile(path);
    EXPECT_GT(entries, 30000u);
}

// The 2010 order gives a few characters weights longer than its tables hold: a key
// holding one is refused, never written short.
TEST(IndexKeyTest, The2010OrderRefusesTheCharactersItCannotWeigh) {
    Bytes key;
    AppendGeneral2010TextKey(u"abc\U0001F600", true, key);
    EXPECT_FALSE(key.empty());
    for (const char16_t unit : {u'\u06D6', u'\u3378', u'\u33A3'}) {
        key.clear();
        EXPECT_THROW(AppendGeneral2010TextKey(std::u16string(u"a") + unit, true, key), UnknownWeight) << int(unit);
    }
}

// Access 2007 and later: every index whose keys are known, complex keys and the 2010
// order included.
TEST(IndexKeyTest, AceEntriesOfKnownOrdersAreRebuiltFromTheirRows) {
    std::size_t entries = 0;
    for (const auto& path : testing::AllAceDatabases()) entries += CheckFile(path, true);
    EXPECT_GT(entries, 15000u);
}

Bytes Jet4Key(std::u16string_view text, bool ascending = true) {
    Bytes key;
    AppendGeneralLegacyTextKey(text, ascending, key);
    return key;
}

Bytes Jet3Key(std::string_view text, bool ascending = true) {
    Bytes key;
    AppendGeneral97TextKey(ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), ascending, key);
    return key;
}

// Keys Access wrote for texts of every kind of character the Jet 4 order
// knows: control characters listed by position, punctuation, accents and
// their modifiers, Greek, Cyrillic, kana and CJK with their flags.
TEST(IndexKeyTest, Jet4TextKeysAreTheOnesAccessStored) {
    std::ifstream in(std::filesystem::path(DORVANE_TEST_SOURCE) / "data" / "general_legacy_keys.txt");
    std::size_t vectors = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t space = line.find(' ');
        const Bytes unitBytes = testing::FromHex(std::string_view(line).substr(0, space));
        std::u16string text;
        for (std::size_t i = 0; i < unitBytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(unitBytes[i] << 8 | unitBytes[i + 1]));
        Bytes expected = testing::FromHex(std::string_view(line).substr(space + 1));
        expected.erase(expected.begin());  // the column's flag byte
        EXPECT_EQ(HexUpper(Jet4Key(text)), HexUpper(expected)) << line.substr(0, 40);
        ++vectors;
    }
    EXPECT_EQ(vectors, 8u);
}

TEST(IndexKeyTest, TrailingSpacesAndCharactersPastTheKeyedLengthDoNotCount) {
    EXPECT_EQ(Jet4Key(u"Frankfurt a.M.  "), Jet4Key(u"Frankfurt a.M."));
    EXPECT_EQ(Jet4Key(u"   ", false), Jet4Key(u"", false));
    EXPECT_EQ(Jet3Key("hijklmnop "), Jet3Key("hijklmnop"));
    EXPECT_EQ(Jet3Key("Caf\xE9 ", false), Jet3Key("Caf\xE9", false));
    // Only U+0020 is left out, and only at the end.
    EXPECT_NE(Jet4Key(u"abc\u00A0"), Jet4Key(u"abc"));
    EXPECT_NE(Jet4Key(u"abc\t"), Jet4Key(u"abc"));
    EXPECT_NE(Jet4Key(u" abc"), Jet4Key(u"abc"));
    EXPECT_NE(Jet3Key("a b"), Jet3Key("ab"));
    const std::u16string longText = std::u16string(255, u'q');
    EXPECT_EQ(Jet4Key(longText + u"zz"), Jet4Key(longText));
    EXPECT_EQ(Jet3Key(std::string(255, 'q') + "zz"), Jet3Key(std::string(255, 'q')));
}

TEST(IndexKeyTest, EveryCharacterHasAKeyThatKeepsCaseOutOfTheOrder) {
    std::size_t withPrimary = 0;
    for (std::uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
        const std::u16string text{u'a', static_cast<char16_t>(unit)};
        const Bytes key = Jet4Key(text);
        ASSERT_GE(key.size(), 3u) << unit;
        if (key != Jet4Key(u"a") || unit == u' ') ++withPrimary;
        Bytes descending = Jet4Key(text, false);
        ASSERT_EQ(descending.back(), 0x00) << unit;
        descending.pop_back();
        for (std::uint8_t& byte : descending) byte = static_cast<std::uint8_t>(~byte);
        ASSERT_EQ(HexUpper(descending), HexUpper(key)) << unit;
    }
    EXPECT_GT(withPrimary, 40000u);
    EXPECT_EQ(Jet4Key(u"M\u00FCller & S\u00F6hne GmbH"), Jet4Key(u"m\u00FCLLER & s\u00D6HNE gMBh"));
    EXPECT_EQ(Jet3Key("Z\xDCRICH"), Jet3Key("z\xFCrich"));
    // Accents come after every letter's weight: they order only texts that are
    // otherwise equal.
    EXPECT_LT(Jet4Key(u"cote"), Jet4Key(u"c\u00F4te"));
    EXPECT_LT(Jet4Key(u"c\u00F4te"), Jet4Key(u"cotf"));
    EXPECT_LT(Jet3Key("cote"), Jet3Key("c\xF4te"));
    EXPECT_LT(Jet3Key("c\xF4te"), Jet3Key("cotf"));
    for (std::uint32_t byte = 0; byte <= 0xFF; ++byte)
        EXPECT_FALSE(Jet3Key(std::string{'a', static_cast<char>(byte)}).empty());
}

TEST(IndexKeyTest, ColumnsWithoutKnownKeysAreRefusedByName) {
    struct Case {
        const char *file, *table, *column;
    };
    const Case cases[] = {
        {"mdb/jet4/fixedNumericTestV2000.mdb", "test", "col2"},   // Decimal
        {"mdb/jet4/testV2000.mdb", "MSysAccessObjects", "Data"},  // fixed binary
        {"products/post_db.mdb", "doclib", "Description"},        // memo
        {"products/post_db.mdb", "Scans", "Image"},               // OLE
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

// Another locale's order (its weights are not known here) is named, for
// Jet 4 by its sort order and version, for Jet 3 by its order and code page.
TEST(IndexKeyTest, TextInAnotherSortOrderIsRefusedNamingTheOrder) {
    struct Case {
        const char *file, *table, *column;
        std::size_t at;
        std::uint8_t value;
        const char* named;
    };
    const Case cases[] = {
        {"mdb/jet4/testV2000.mdb", "Table1", "B", 11, 0x07, "sort order 0x0407 version 0"},
        {"mdb/jet4/testV2000.mdb", "Table1", "B", 14, 0x02, "sort order 0x0409 version 2"},
        {"mdb/jet3/testV1997.mdb", "Table1", "B", 11, 0xE2, "over code page 1250"},
    };
    for (const Case& c : cases) {
        const PageFile file = PageFile::Open(testing::TestData() / c.file);
        TableDef def = ReadTableDef(file, FindTable(ReadTables(file), c.table)->table_page());
        const Column& column = def.columns[*def.ColumnIndex(c.column)];
        def.stream[column.block_offset + c.at] = c.value;
        PhysicalIndex index;
        index.columns.push_back({column.number, true});
        RowCursor cursor(file, def);
        TableRow row;
        ASSERT_TRUE(cursor.Next(row));
        std::string description;
        EXPECT_EQ(ErrorOf([&] { EncodeIndexKey(file.format(), def, index, row.body); }, &description),
                  errc::kNotAvailable);
        EXPECT_NE(description.find("column 'B'"), std::string::npos) << description;
        EXPECT_NE(description.find(c.named), std::string::npos) << description;
    }
}

}  // namespace
}  // namespace dorvane::jet
