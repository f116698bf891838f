// What a repair may do with a sound row: never drop it. Access-made files
// given a text value ending in a space (which Access leaves out of the key),
// keys rebuilt from the rows against the keys Access wrote, and an index
// entry that disagrees with its row on a sound page.

#include "engines/jet/check/checker.h"
#include "engines/jet/format/row.h"
#include "tests/jet/repair_oracle.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using namespace testing;

// The trailing space a text value is given: one byte in Jet 3 and in Jet 4's
// one-byte form, a UTF-16 unit otherwise; none where the value switches forms.
Bytes SpaceFor(const PageFile& f, ByteSpan value) {
    if (f.version() == Version::kJet3) return {0x20};
    const bool oneByte = value.size() >= 2 && value[0] == 0xFF && value[1] == 0xFE;
    if (!oneByte) return {0x20, 0x00};
    return std::find(value.begin() + 2, value.end(), 0) == value.end() ? Bytes{0x20} : Bytes{};
}

// Gives `column` of a row of `table` a trailing space, as Access stores a
// longer value where the page has room: the rows placed at or below it moved
// down (and their slots with them), the row's variable offsets after the
// value moved, the page's free space less; every index left as it was.
void AppendSpace(Bytes& b, const PageFile& f, const std::string& table, const std::string& column) {
    const Target t = TableOf(f, table);
    const Column& col = t.def.columns[*t.def.ColumnIndex(column)];
    const Format& format = f.format();
    for (std::uint32_t number : t.data) {
        const DataPage page = DataPage::Parse(format, number, f.ReadPage(number));
        std::uint32_t lowest = static_cast<std::uint32_t>(f.page_size());
        for (const Slot& slot : page.slots()) lowest = std::min(lowest, slot.start);
        for (std::size_t slot = 0; slot < page.slots().size(); ++slot) {
            if (page.slots()[slot].kind != SlotKind::kLive) continue;
            const ByteSpan row = page.SlotBytes(slot);
            const RowFields fields = LocateFields(format, t.def, row);
            const FieldSpan& span = fields.spans[*t.def.ColumnIndex(column)];
            const Bytes space = span.present ? SpaceFor(f, FieldBytes(row, span)) : Bytes{};
            const std::size_t d = space.size();
            if (d == 0 || page.stored_free_space() < d || (format.version == Version::kJet3 && row.size() + d >= 256))
                continue;
            Bytes grown(row.begin(), row.begin() + span.offset + span.length);
            grown.insert(grown.end(), space.begin(), space.end());
            grown.insert(grown.end(), row.begin() + span.offset + span.length, row.end());
            const std::size_t mask = (fields.column_count + 7u) / 8u;
            for (std::size_t i = col.var_index + 1u; i <= fields.var_count; ++i) {
                if (format.version == Version::kJet3) {
                    std::uint8_t& offset = grown[grown.size() - mask - 2 - i];
                    offset = static_cast<std::uint8_t>(offset + d);
                } else {
                    const std::size_t at = grown.size() - mask - 4 - 2 * i;
                    PutLe16(grown, at, static_cast<std::uint16_t>(Le16(grown, at) + d));
                }
            }
            const std::uint32_t start = page.slots()[slot].start;
            const auto pageAt = [&](std::size_t offset) {
                return b.begin() + static_cast<std::ptrdiff_t>(At(f, number, offset));
            };
            std::copy(pageAt(lowest), pageAt(start), pageAt(lowest - d));  // the rows below, down
            std::copy(grown.begin(), grown.end(), pageAt(start - d));
            for (std::size_t other = 0; other < page.slots().size(); ++other) {
                if (page.slots()[other].start > start) continue;
                const std::size_t slotAt = At(f, number, format.data_row_offsets + 2 * other);
                PutLe16(b, slotAt, static_cast<std::uint16_t>(Le16(b, slotAt) - d));
            }
            PutLe16(b, At(f, number, format.page_free_space), static_cast<std::uint16_t>(page.stored_free_space() - d));
            return;
        }
    }
    throw std::runtime_error("no row of " + table + " can grow in place");
}

// Every index's entries, in order, of every table of a file, each with the
// rank of its row among the rows the index names: copies that hold a table's
// rows in the same order but on other pages have the same entries.
std::map<std::string, std::vector<std::string>> IndexEntries(const fs::path& path) {
    const PageFile f = PageFile::Open(path);
    std::map<std::string, std::vector<std::string>> out;
    for (const CatalogEntry& e : ReadTables(f)) {
        const TableDef def = ReadTableDef(f, e.table_page());
        for (std::size_t i = 0; i < def.physical_indexes.size(); ++i) {
            const std::vector<IndexEntry> entries = WalkIndex(f, def.physical_indexes[i].root_page).entries;
            std::vector<RowPointer> rows;
            for (const IndexEntry& entry : entries) rows.push_back(entry.row);
            std::sort(rows.begin(), rows.end());
            for (const IndexEntry& entry : entries) {
                const auto rank = std::lower_bound(rows.begin(), rows.end(), entry.row) - rows.begin();
                out[e.name + " " + std::to_string(i)].push_back(HexUpper(entry.key) + "@" + std::to_string(rank));
            }
        }
    }
    return out;
}

// Puts the first entry of a catalog index's root leaf above its successors:
// damage the check finds and a repair rebuilds, far from any user table.
void SpoilCatalogIndex(Bytes& b, const PageFile& f) {
    const TableDef catalog = ReadTableDef(f, kCatalogPage);
    for (const PhysicalIndex& index : catalog.physical_indexes) {
        if (f.ReadPage(index.root_page)[0] != kPageIndexLeaf) continue;
        b[At(f, index.root_page, f.format().idx_entries + 1)] = 0xFF;
        return;
    }
    throw std::runtime_error("no catalog index is a single leaf");
}

struct Spaced {
    const char* file;
    const char* table;
    const char* column;  // indexed text: alone, in a composite index, descending
};
const Spaced kSpaced[] = {
    {"mdb/jet3/testV1997.mdb", "Table1", "B"},
    {"mdb/jet4/testV2000.mdb", "Table1", "B"},
    {"mdb/jet4/testIndexPropertiesV2000.mdb", "TableIgnoreNulls2", "data1"},
    {"mdb/jet3/testIndexCodesV1997.mdb", "Table1_desc", "data"},
};

// A sound file whose indexed text ends in a space is compacted as it is; with
// damage elsewhere it is salvaged, and the row still agrees with its entries.
TEST(RepairEvidence, ATrailingSpaceCostsNoRow) {
    for (const Spaced& s : kSpaced) {
        SCOPED_TRACE(std::string(s.file) + " " + s.table + "." + s.column);
        TempFolder dir;
        Bytes bytes = ReadBytes(TestData() / s.file);
        AppendSpace(bytes, PageFile::FromMemory(bytes), s.table, s.column);
        WriteBytes(dir / "spaced.mdb", bytes);
        const CheckReport check = CheckDatabase(PageFile::Open(dir / "spaced.mdb"));
        ASSERT_TRUE(check.ok()) << check.problems.front();
        const auto content = Content(PageFile::Open(dir / "spaced.mdb"));

        CompactFile(dir / "spaced.mdb", dir / "compacted.mdb");
        RepairReport report;
        RepairFile(dir / "spaced.mdb", dir / "repaired.mdb", report);
        EXPECT_TRUE(report.source_sound);
        EXPECT_EQ(report.LossSummary(), "");
        EXPECT_TRUE(ReadBytes(dir / "repaired.mdb") == ReadBytes(dir / "compacted.mdb"));

        // Damage elsewhere makes it a salvage.
        SpoilCatalogIndex(bytes, PageFile::FromMemory(bytes));
        WriteBytes(dir / "damaged.mdb", bytes);
        RepairFile(dir / "damaged.mdb", dir / "salvaged.mdb", report);
        EXPECT_FALSE(report.source_sound);
        EXPECT_EQ(report.LossSummary(), "");
        EXPECT_EQ(report.RowsInDoubt(), 0u);
        for (const TableRepair& t : report.tables)
            EXPECT_TRUE(t.rebuilt_indexes.empty() || t.name == "MSysObjects") << t.name;
        EXPECT_TRUE(Content(PageFile::Open(dir / "salvaged.mdb")) == content);
    }
}

// Every index of a table holding keys of nearly every code page 1252
// character (ascending and descending, alone and in pairs) rebuilt from the
// rows: the entries Access wrote, byte for byte. The same for text in the
// 2010 order (emoji among it), composite keys of Access 2010 files and extended
// dates and binary values, the empty one among them, in both directions.
TEST(RepairEvidence, RebuiltIndexesHoldTheKeysAccessWrote) {
    for (const char* name : {"mdb/jet3/testIndexCodesV1997.mdb", "mdb/jet4/testIndexPropertiesV2000.mdb",
                             "products/post_db.mdb", "accdb/V2010/testEmoticonsV2010.accdb",
                             "accdb/V2010/compIndexTestV2010.accdb", "accdb/V2010/testIndexPropertiesV2010.accdb",
                             "accdb/V2019/extDateTestV2019.accdb", "accdb/V2010/binIdxTestV2010.accdb"}) {
        SCOPED_TRACE(name);
        TempFolder dir;
        Bytes bytes = ReadBytes(TestData() / name);
        const PageFile sound = PageFile::FromMemory(bytes);
        std::size_t zeroed = 0;
        for (const CatalogEntry& e : ReadTables(sound)) {
            if (e.IsSystem()) continue;
            const TableDef def = ReadTableDef(sound, e.table_page());
            for (const PhysicalIndex& index : def.physical_indexes)
                for (std::uint32_t p : WalkIndex(sound, index.root_page).pages)
                    if (sound.ReadPage(p)[0] == kPageIndexLeaf && ++zeroed)
                        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(At(sound, p)), sound.page_size(), 0);
        }
        ASSERT_GT(zeroed, 0u);
        WriteBytes(dir / "damaged.mdb", bytes);
        CompactFile(Copy(dir, TestData() / name), dir / "compacted.mdb");  // it holds its source alone
        RepairReport report;
        RepairFile(dir / "damaged.mdb", dir / "repaired.mdb", report);
        EXPECT_EQ(report.LossSummary(), "");
        std::size_t rebuilt = 0;
        for (const TableRepair& t : report.tables) rebuilt += t.rebuilt_indexes.size();
        EXPECT_GT(rebuilt, 0u);
        EXPECT_TRUE(IndexEntries(dir / "repaired.mdb") == IndexEntries(dir / "compacted.mdb"));
    }
}

// An entry whose key no longer matches its row, on a sound page: the index is
// what is damaged. The row is kept, the index rebuilt, and the doubt said.
TEST(RepairEvidence, AnIndexThatDisagreesWithASoundRowIsRebuiltAndTheRowKept) {
    TempFolder dir;
    Bytes bytes = ReadBytes(TestData() / "products/post_db.mdb");
    const PageFile sound = PageFile::FromMemory(bytes);
    const Target customers = TableOf(sound, "Customers");
    const IndexWalk walk = WalkIndex(sound, customers.def.physical_indexes.at(0).root_page);
    // The last byte of a key in the middle of a leaf: still in order, now another value.
    std::uint32_t leaf = 0;
    for (std::uint32_t p : walk.pages)
        if (sound.ReadPage(p)[0] == kPageIndexLeaf) leaf = p;
    const IndexPage page = ParseIndexPage(sound.format(), leaf, sound.ReadPage(leaf));
    ASSERT_GT(page.entries.size(), 2u);
    const IndexPageEntry& first = page.entries.front();
    const std::size_t keyAt = At(sound, leaf, sound.format().idx_entries) + first.key.size() - 1;
    ASSERT_EQ(bytes[keyAt], first.key.back());
    bytes[keyAt] = static_cast<std::uint8_t>(bytes[keyAt] ^ 0x01);
    SpoilCatalogIndex(bytes, sound);  // what the check finds; the key alone it does not
    WriteBytes(dir / "damaged.mdb", bytes);
    const fs::path original = Copy(dir, TestData() / "products/post_db.mdb");  // held alone below

    RepairReport report;
    RepairFile(dir / "damaged.mdb", dir / "repaired.mdb", report);
    EXPECT_EQ(report.RowsLost(), 0u);
    EXPECT_EQ(report.RowsInDoubt(), 1u);
    EXPECT_NE(report.LossSummary().find("kept 1 rows of table \"Customers\" that an index disagreed with"),
              std::string::npos)
        << report.LossSummary();
    EXPECT_TRUE(Content(PageFile::Open(dir / "repaired.mdb")) == Content(sound));
    CompactFile(original, dir / "compacted.mdb");
    EXPECT_TRUE(IndexEntries(dir / "repaired.mdb") == IndexEntries(dir / "compacted.mdb"));

    const CommandResult tool = RunCommand(std::string(DORVANE_JET_TOOL) + " repair " + Quote(dir / "damaged.mdb") +
                                          " " + Quote(dir / "again.mdb"));
    EXPECT_EQ(tool.status, 3) << tool.output;
    EXPECT_NE(tool.output.find("kept 1 rows that an index disagreed with"), std::string::npos) << tool.output;
    const CommandResult sound_run =
        RunCommand(std::string(DORVANE_JET_TOOL) + " repair " + Quote(original) + " " + Quote(dir / "s.mdb"));
    EXPECT_EQ(sound_run.status, 0) << sound_run.output;
    EXPECT_NE(sound_run.output.find("sound"), std::string::npos) << sound_run.output;
}

// Two entries of a leaf that traded rows: each key still in its place, each
// naming the other's row. Weighing the keys of a range of rows together must
// not take the trade for agreement.
TEST(RepairEvidence, EntriesThatTradedRowsAreBothDisputed) {
    TempFolder dir;
    Bytes bytes = ReadBytes(TestData() / "products/post_db.mdb");
    WriteBytes(dir / "sound.mdb", bytes);  // compacted below: the shared file is not held
    const PageFile sound = PageFile::FromMemory(bytes);
    const Target customers = TableOf(sound, "Customers");
    std::uint32_t leaf = 0;
    for (std::uint32_t p : WalkIndex(sound, customers.def.physical_indexes.at(0).root_page).pages)
        if (sound.ReadPage(p)[0] == kPageIndexLeaf) leaf = p;
    const IndexPage page = ParseIndexPage(sound.format(), leaf, sound.ReadPage(leaf));
    ASSERT_GT(page.entries.size(), 2u);
    const IndexPageEntry& first = page.entries[0];
    const IndexPageEntry& second = page.entries[1];
    ASSERT_NE(first.key, second.key);
    ASSERT_NE(first.row, second.row);
    // The first entry is stored whole, the second after the page's shared prefix.
    const std::size_t firstRow = At(sound, leaf, sound.format().idx_entries) + first.key.size();
    const std::size_t secondRow = firstRow + kIndexRowRefSize + second.key.size() - page.prefix_length;
    const auto rowAt = [&](std::size_t at) {
        return ReadIndexRowRef(ByteSpan(bytes).subspan(at, kIndexRowRefSize), 0);
    };
    ASSERT_EQ(rowAt(firstRow), first.row);
    ASSERT_EQ(rowAt(secondRow), second.row);
    std::swap_ranges(bytes.begin() + static_cast<std::ptrdiff_t>(firstRow),
                     bytes.begin() + static_cast<std::ptrdiff_t>(firstRow + kIndexRowRefSize),
                     bytes.begin() + static_cast<std::ptrdiff_t>(secondRow));
    SpoilCatalogIndex(bytes, sound);
    WriteBytes(dir / "damaged.mdb", bytes);

    RepairReport report;
    RepairFile(dir / "damaged.mdb", dir / "repaired.mdb", report);
    EXPECT_EQ(report.RowsLost(), 0u);
    EXPECT_NE(report.LossSummary().find("kept 2 rows of table \"Customers\" that an index disagreed with"),
              std::string::npos)
        << report.LossSummary();
    EXPECT_TRUE(Content(PageFile::Open(dir / "repaired.mdb")) == Content(sound));
    CompactFile(dir / "sound.mdb", dir / "compacted.mdb");
    EXPECT_TRUE(IndexEntries(dir / "repaired.mdb") == IndexEntries(dir / "compacted.mdb"));
}

}  // namespace
}  // namespace dorvane::jet
