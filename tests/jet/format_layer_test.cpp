// The format layer on real files and on hand-made pages: the facts the
// compactor relies on (definition offsets, slot kinds, free space, usage
// maps, index walks) and the errors for files that are not databases.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "core/error.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/checker.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/database.h"
#include "engines/jet/format/rc4.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/usage_map.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using testing::AllTestDatabases;
using testing::ErrorNumberOf;
using testing::TempFolder;
using testing::TestDataFolder;

std::filesystem::path Jet4(const char* name) { return TestDataFolder() / "mdb/jet4" / name; }
std::filesystem::path Jet3(const char* name) { return TestDataFolder() / "mdb/jet3" / name; }

TEST(PageFileTest, RecognisesBothVersionsAndTheirHeaders) {
    const PageFile jet3 = PageFile::Open(Jet3("testV1997.mdb"));
    EXPECT_EQ(jet3.version(), Version::kJet3);
    EXPECT_EQ(jet3.page_size(), 2048u);
    EXPECT_EQ(jet3.code_page(), 1252);
    EXPECT_EQ(jet3.encryption_key(), 0u);
    const PageFile jet4 = PageFile::Open(Jet4("testV2000.mdb"));
    EXPECT_EQ(jet4.version(), Version::kJet4);
    EXPECT_EQ(jet4.page_size(), 4096u);
    EXPECT_EQ(jet4.page_count(), 743u);
    EXPECT_EQ(jet4.code_page(), 1252);
    // Unmasking must not touch bytes outside the masked area.
    EXPECT_EQ(jet4.header()[0x14], jet4.raw_header()[0x14]);
    EXPECT_NE(jet4.header()[0x3C], jet4.raw_header()[0x3C]);
}

TEST(PageFileTest, RefusesWhatIsNotAJetDatabaseWithClearErrors) {
    TempFolder folder;
    const auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(folder.path() / name, std::ios::binary) << bytes;
        return folder.path() / name;
    };
    std::string description;
    EXPECT_EQ(ErrorNumberOf([&] { PageFile::Open(write("empty.mdb", "")); }, &description), errc::kNotADatabase);
    EXPECT_NE(description.find("not an Access database"), std::string::npos) << description;
    EXPECT_EQ(ErrorNumberOf([&] { PageFile::Open(write("text.mdb", std::string(5000, 'x'))); }), errc::kNotADatabase);

    std::string ace(4096, '\0');
    ace.replace(4, 16, std::string("Standard ACE DB\0", 16));
    ace[0x14] = 2;
    EXPECT_EQ(ErrorNumberOf([&] { PageFile::Open(write("new.accdb", ace)); }, &description), errc::kNotADatabase);
    EXPECT_NE(description.find(".accdb"), std::string::npos) << description;

    std::ifstream in(Jet4("testV2000.mdb"), std::ios::binary);
    std::string head(1000, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    EXPECT_EQ(ErrorNumberOf([&] { PageFile::Open(write("short.mdb", head)); }, &description), errc::kCorrupt);
    EXPECT_NE(description.find("truncated"), std::string::npos) << description;

    EXPECT_EQ(ErrorNumberOf([&] { PageFile::Open(folder.path() / "missing.mdb"); }), errc::kFileNotFound);
}

TEST(PageFileTest, PagePastTheEndIsAnErrorNamingThePage) {
    const PageFile file = PageFile::Open(Jet4("adox_jet4.mdb"));
    std::string description;
    EXPECT_EQ(ErrorNumberOf([&] { file.ReadPage(file.page_count()); }, &description), errc::kCorrupt);
    EXPECT_NE(description.find("page " + std::to_string(file.page_count()) + " is outside the file"), std::string::npos)
        << description;
}

TEST(TableDefTest, DecodesTheDocumentedTable) {
    const PageFile file = PageFile::Open(Jet4("testV2000.mdb"));
    const auto table = FindTable(ReadTables(file), "table1");
    ASSERT_TRUE(table.has_value());
    const TableDef def = ReadTableDef(file, table->table_page());
    EXPECT_EQ(def.page, 24u);
    EXPECT_EQ(def.definition_length, 536u);
    EXPECT_EQ(def.end_offset, def.definition_length);
    EXPECT_EQ(def.table_type, 0x4E);
    ASSERT_EQ(def.columns.size(), 9u);
    const std::vector<std::uint8_t> types{0x0A, 0x0A, 0x02, 0x03, 0x04, 0x07, 0x08, 0x05, 0x01};
    for (std::size_t i = 0; i < types.size(); ++i) {
        EXPECT_EQ(def.columns[i].type, types[i]);
        EXPECT_EQ(def.columns[i].name, std::string(1, static_cast<char>('A' + i)));
    }
    EXPECT_EQ(def.owned_map, 0x1900u);
    ASSERT_EQ(def.physical_indexes.size(), 2u);
    EXPECT_EQ(def.physical_indexes[0].root_page, 28u);
    EXPECT_EQ(def.physical_indexes[0].flags, 0x89);
    EXPECT_EQ(def.physical_indexes[1].root_page, 26u);
    ASSERT_EQ(def.logical_indexes.size(), 2u);
    std::map<std::string, std::uint8_t> indexTypes;
    for (const LogicalIndex& index : def.logical_indexes) indexTypes[index.name] = index.type;
    EXPECT_EQ(indexTypes, (std::map<std::string, std::uint8_t>{{"B", 0}, {"PrimaryKey", 1}}));
}

// The offsets a writer patches must point at the values the parser read,
// both in the stream and on the page LocateInStream names.
void ExpectPatchableOffsets(const PageFile& file, const TableDef& def) {
    const auto onDisk = [&](std::size_t offset) {
        const StreamLocation at = LocateInStream(def, file.format(), offset);
        const Bytes page = file.ReadPage(at.page);
        Bytes value(4);
        for (std::size_t i = 0; i < 4; ++i) {
            const StreamLocation byte = LocateInStream(def, file.format(), offset + i);
            value[i] = byte.page == at.page ? page[byte.offset] : file.ReadPage(byte.page)[byte.offset];
        }
        return Le32(value, 0);
    };
    EXPECT_EQ(onDisk(def.num_rows_offset), def.num_rows);
    EXPECT_EQ(onDisk(def.owned_map_offset), def.owned_map);
    EXPECT_EQ(onDisk(def.free_map_offset), def.free_map);
    for (const PhysicalIndex& index : def.physical_indexes) {
        EXPECT_EQ(onDisk(index.root_page_offset), index.root_page);
        EXPECT_EQ(onDisk(index.map_pointer_offset), index.map_pointer);
        EXPECT_EQ(onDisk(index.stats_offset), index.stats_entries);
    }
    for (const LongValueMap& map : def.long_value_maps) {
        EXPECT_EQ(onDisk(map.owned_map_offset()), map.owned_map);
        EXPECT_EQ(onDisk(map.free_map_offset()), map.free_map);
        EXPECT_NE(def.ColumnByNumber(map.column_number), nullptr);
    }
}

TEST(TableDefTest, MultiPageDefinitionsAndPatchableOffsets) {
    const PageFile jet4 = PageFile::Open(Jet4("test2V2000.mdb"));
    const TableDef projects = ReadTableDef(jet4, FindTable(ReadTables(jet4), "MSP_PROJECTS")->table_page());
    EXPECT_EQ(projects.pages, (std::vector<std::uint32_t>{15, 19}));
    EXPECT_EQ(projects.end_offset, projects.definition_length);
    ExpectPatchableOffsets(jet4, projects);

    const PageFile jet3 = PageFile::Open(Jet3("testV1997.mdb"));
    const TableDef table2 = ReadTableDef(jet3, FindTable(ReadTables(jet3), "Table2")->table_page());
    EXPECT_EQ(table2.pages, (std::vector<std::uint32_t>{34, 44}));
    ExpectPatchableOffsets(jet3, table2);
}

TEST(DataPageTest, SlotKindsSpansAndFreeSpace) {
    const Format& f = FormatFor(Version::kJet4);
    Bytes page(f.page_size, 0);
    page[0] = kPageData;
    page[1] = 1;
    PutLe32(page, 4, 77);
    PutLe16(page, f.data_row_count, 4);
    PutLe16(page, f.data_row_offsets + 0, 4000);                                  // live, 96 bytes
    PutLe16(page, f.data_row_offsets + 2, static_cast<std::uint16_t>(4000 | 0xC000));  // deleted, empty
    PutLe16(page, f.data_row_offsets + 4, static_cast<std::uint16_t>(3990 | 0x4000));  // overflow pointer
    PutLe16(page, f.data_row_offsets + 6, static_cast<std::uint16_t>(3900 | 0x8000));  // overflow body
    const DataPage parsed = DataPage::Parse(f, 9, page);
    ASSERT_EQ(parsed.slots().size(), 4u);
    EXPECT_EQ(parsed.owner(), 77u);
    EXPECT_EQ(parsed.slots()[0].kind, SlotKind::kLive);
    EXPECT_EQ(parsed.slots()[0].length(), 96u);
    EXPECT_EQ(parsed.slots()[1].kind, SlotKind::kDeleted);
    EXPECT_EQ(parsed.slots()[1].length(), 0u);
    EXPECT_EQ(parsed.slots()[2].kind, SlotKind::kOverflowPointer);
    EXPECT_EQ(parsed.slots()[2].length(), 10u);
    EXPECT_EQ(parsed.slots()[3].kind, SlotKind::kOverflowTarget);
    EXPECT_EQ(parsed.slots()[3].length(), 90u);
    EXPECT_EQ(parsed.ComputedFreeSpace(), 4096u - 14 - 8 - 196);

    PutLe16(page, f.data_row_offsets + 0, 5);  // a live row inside the slot table
    EXPECT_EQ(ErrorNumberOf([&] { DataPage::Parse(f, 9, page); }), errc::kCorrupt);
    PutLe16(page, f.data_row_count, 300);
    EXPECT_EQ(ErrorNumberOf([&] { DataPage::Parse(f, 9, page); }), errc::kCorrupt);
}

TEST(UsageMapTest, InlineMapsCountFromTheirStartPage) {
    const PageFile file = PageFile::Open(Jet4("adox_jet4.mdb"));
    Bytes record(69, 0);
    record[0] = kUsageMapInline;
    PutLe32(record, 1, 736);
    record[5] = 0x81;  // pages 736 and 743
    record[6] = 0x02;  // page 745
    const UsageMap map = DecodeUsageMap(file, record);
    EXPECT_EQ(map.start_page, 736u);
    EXPECT_EQ(map.pages, (std::vector<std::uint32_t>{736, 743, 745}));
    record[0] = 7;
    EXPECT_EQ(ErrorNumberOf([&] { DecodeUsageMap(file, record); }), errc::kCorrupt);
}

TEST(UsageMapTest, ReferenceMapsReadTheirBitmapPages) {
    // A real file with one bitmap page appended at the end.
    std::ifstream in(Jet4("adox_jet4.mdb"), std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto bitmapPage = static_cast<std::uint32_t>(bytes.size() / 4096);
    Bytes bitmap(4096, 0);
    bitmap[0] = kPageUsageBitmap;
    bitmap[1] = 1;
    bitmap[4] = 0x06;  // pages 1 and 2 of slot 1's range
    bitmap[4 + 2] = 0x01;  // page 16
    bytes.insert(bytes.end(), bitmap.begin(), bitmap.end());
    const PageFile file = PageFile::FromMemory(bytes);

    Bytes record(69, 0);
    record[0] = kUsageMapReference;
    PutLe32(record, 1, bitmapPage);  // slot 0: pages 0 .. 32735
    UsageMap map = DecodeUsageMap(file, record);
    EXPECT_EQ(map.type, kUsageMapReference);
    EXPECT_EQ(map.pages, (std::vector<std::uint32_t>{1, 2, 16}));

    PutLe32(record, 1, 2);  // page 2 is a table definition, not a bitmap
    EXPECT_EQ(ErrorNumberOf([&] { DecodeUsageMap(file, record); }), errc::kCorrupt);
}

// Access leaves values in the unused trailing slots of a reference map that
// are no page at all. testV2000's free-page map as such a map: its bitmap on
// an appended page 743, the other slots 0xFFFFFF80.
TEST(UsageMapTest, ReferenceSlotsThatCoverNoPageOfTheFileAreEmpty) {
    std::ifstream in(Jet4("testV2000.mdb"), std::ios::binary);
    const Bytes original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t row0 = 4096 + (Le16(original, 4096 + 14) & 0x1FFF);
    ASSERT_EQ(original[row0], kUsageMapInline);
    const std::set<std::uint32_t> free = [&] {
        const UsageMap map = ReadGlobalFreeMap(PageFile::FromMemory(original));
        return std::set<std::uint32_t>(map.pages.begin(), std::lower_bound(map.pages.begin(), map.pages.end(), 743u));
    }();
    struct Case {
        std::uint32_t slot0, slot1;
        const char* error;  // null: reads
    } const cases[] = {
        {743, 0xFFFFFF80, nullptr},
        {743, 2, "should be a usage bitmap"},
        {0xFFFFFF80, 0xFFFFFF80, "outside the file"},
    };
    for (const Case& c : cases) {
        Bytes bytes = original;
        bytes.resize(bytes.size() + 4096, 0);
        bytes[743 * 4096] = kPageUsageBitmap;
        std::copy(original.begin() + static_cast<std::ptrdiff_t>(row0 + 5), original.begin() + 4096 + 4096,
                  bytes.begin() + 743 * 4096 + 4);
        bytes[743 * 4096 + 4 + 743 / 8] &= static_cast<std::uint8_t>(~(1u << (743 % 8)));
        bytes[row0] = kUsageMapReference;
        for (std::size_t slot = 0; 1 + 4 * slot + 4 <= 4096 - (row0 - 4096); ++slot)
            PutLe32(bytes, row0 + 1 + 4 * slot, slot == 0 ? c.slot0 : slot == 1 ? c.slot1 : 0xFFFFFF80);
        const PageFile file = PageFile::FromMemory(bytes);
        std::string description;
        const long error = ErrorNumberOf([&] {
            const UsageMap map = ReadGlobalFreeMap(file);
            EXPECT_EQ(std::set<std::uint32_t>(map.pages.begin(), map.pages.end()), free);
            EXPECT_TRUE(CheckDatabase(file).ok());
        }, &description);
        EXPECT_EQ(error, c.error ? errc::kCorrupt : 0) << description;
        if (c.error) {
            EXPECT_NE(description.find(c.error), std::string::npos) << description;
        }
    }
}

TEST(IndexWalkTest, PageFormatErrorsAreCaught) {
    const Format& f = FormatFor(Version::kJet4);
    Bytes page(f.page_size, 0);
    page[0] = kPageIndexLeaf;
    page[f.idx_mask] = 0x04;  // one entry of 2 bytes: too short for a row reference
    EXPECT_EQ(ErrorNumberOf([&] { ParseIndexPage(f, 5, page); }), errc::kCorrupt);
    page[f.idx_mask] = 0x10;  // one entry of 4 bytes: empty key
    PutBe24(page, f.idx_entries, 0x000102);
    page[f.idx_entries + 3] = 7;
    const IndexPage parsed = ParseIndexPage(f, 5, page);
    ASSERT_EQ(parsed.entries.size(), 1u);
    EXPECT_TRUE(parsed.entries[0].key.empty());
    EXPECT_EQ(parsed.entries[0].row, (RowPointer{0x102, 7}));
    PutLe16(page, f.idx_prefix, 9);  // a prefix longer than the first entry
    EXPECT_EQ(ErrorNumberOf([&] { ParseIndexPage(f, 5, page); }), errc::kCorrupt);
}

TEST(LongValueTest, MalformedFieldsAreErrors) {
    const PageFile file = PageFile::Open(Jet4("adox_jet4.mdb"));
    Bytes field(12, 0);
    EXPECT_EQ(ErrorNumberOf([&] { ReadLongValue(file, ByteSpan(field).first(8)); }), errc::kCorrupt);
    PutLe32(field, 0, 0x80000000u | 5);  // inline, 5 bytes, but none follow
    EXPECT_EQ(ErrorNumberOf([&] { ReadLongValue(file, field); }), errc::kCorrupt);
    PutLe32(field, 0, 0x40000000u | 100);  // single row on a page past the end
    PutLe32(field, 4, (5000u << 8) | 1);
    EXPECT_EQ(ErrorNumberOf([&] { ReadLongValue(file, field); }), errc::kCorrupt);
    PutLe32(field, 0, 0xC0000000u);
    EXPECT_EQ(ErrorNumberOf([&] { ReadLongValue(file, field); }), errc::kCorrupt);
}

// One pass over every table of every test file: the definition offsets a
// writer patches, stored free space, the global free map, index walks, long
// values and the checker's verdict.
TEST(EveryTestFile, ReadsConsistently) {
    std::size_t pages = 0, walked = 0, deeper = 0, chained = 0, single = 0;
    for (const auto& path : AllTestDatabases()) {
        const PageFile file = PageFile::Open(path);
        const UsageMap global = ReadGlobalFreeMap(file);
        const std::set<std::uint32_t> free(global.pages.begin(), global.pages.end());
        for (const CatalogEntry& entry : ReadTables(file)) {
            SCOPED_TRACE(path.filename().string() + " " + entry.name);
            const TableDef def = ReadTableDef(file, entry.table_page());
            ExpectPatchableOffsets(file, def);
            for (std::uint32_t page : def.pages) EXPECT_EQ(free.count(page), 0u) << "definition page " << page;
            for (std::uint32_t number : TableDataPages(file, def)) {
                const DataPage page = DataPage::Parse(file.format(), number, file.ReadPage(number));
                EXPECT_EQ(page.stored_free_space(), page.ComputedFreeSpace()) << "page " << number;
                EXPECT_EQ(free.count(number), 0u) << "page " << number << " marked free";
                ++pages;
            }
            std::set<RowPointer> rows;
            RowCursor cursor(file, def);
            for (TableRow row; cursor.Next(row);) {
                rows.insert(row.header);
                const RowFields fields = LocateFields(file.format(), def, row.body);
                for (std::size_t c = 0; c < def.columns.size(); ++c) {
                    if (!def.columns[c].IsLongValue() || !fields.spans[c].present) continue;
                    const ByteSpan field = FieldBytes(row.body, fields.spans[c]);
                    const LongValueField lv = ParseLongValueField(field);
                    EXPECT_EQ(ReadLongValue(file, field).size(), lv.length);
                    chained += lv.kind == LongValueKind::kChain ? 1 : 0;
                    single += lv.kind == LongValueKind::kSingle ? 1 : 0;
                    EXPECT_EQ(LongValueRows(file, field).size() > 0, lv.kind != LongValueKind::kInline);
                }
            }
            for (const PhysicalIndex& index : def.physical_indexes) {
                const IndexWalk walk = WalkIndex(file, index.root_page);
                std::set<RowPointer> named;
                for (const IndexEntry& e : walk.entries) named.insert(e.row);
                EXPECT_EQ(named.size(), walk.entries.size()) << "a row named twice";
                if ((index.flags & 0x02) == 0) {
                    EXPECT_EQ(named, rows);
                }
                deeper += walk.depth > 0 ? 1 : 0;
                ++walked;
            }
        }
        const CheckReport report = CheckDatabase(file);
        EXPECT_TRUE(report.ok()) << path << ": " << (report.problems.empty() ? "" : report.problems.front());
        EXPECT_GT(report.tables, 0u);
        EXPECT_GT(report.index_entries, 0u);
    }
    EXPECT_GT(pages, 500u);
    EXPECT_GT(walked, 500u);
    EXPECT_GT(deeper, 0u) << "no index with intermediate pages was walked";
    EXPECT_GT(chained, 10u);
    EXPECT_GT(single, 10u);
}

TEST(PageFileTest, EncryptedPagesReadLikeThePlainFile) {
    std::ifstream in(TestDataFolder() / "products/doclib-two.mdb", std::ios::binary);
    const Bytes plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::uint32_t key = 0x5A17C0DE;
    Bytes encrypted = plain;
    // The key sits in the masked part of page 0: XOR it into the stored bytes.
    for (std::size_t i = 0; i < 4; ++i) encrypted[0x3E + i] ^= static_cast<std::uint8_t>(key >> (8 * i));
    for (std::size_t page = 1; page < plain.size() / 4096; ++page) {
        const std::uint32_t pageKey = key ^ static_cast<std::uint32_t>(page);
        const std::uint8_t keyBytes[4] = {static_cast<std::uint8_t>(pageKey), static_cast<std::uint8_t>(pageKey >> 8),
                                          static_cast<std::uint8_t>(pageKey >> 16),
                                          static_cast<std::uint8_t>(pageKey >> 24)};
        Rc4Apply(keyBytes, std::span<std::uint8_t>(encrypted.data() + page * 4096, 4096));
    }
    const PageFile a = PageFile::FromMemory(plain);
    const PageFile b = PageFile::FromMemory(encrypted);
    EXPECT_EQ(b.encryption_key(), key);
    const auto tables = ReadTables(a);
    ASSERT_EQ(ReadTables(b).size(), tables.size());
    for (const CatalogEntry& entry : tables) {
        const TextRows rowsA = ReadTableText(a, ReadTableDef(a, entry.table_page()));
        const TextRows rowsB = ReadTableText(b, ReadTableDef(b, entry.table_page()));
        EXPECT_EQ(rowsA.rows, rowsB.rows) << entry.name;
    }
    EXPECT_TRUE(CheckDatabase(b).ok());
}

}  // namespace
}  // namespace dorvane::jet
