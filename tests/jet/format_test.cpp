// The format where the real files (../jet_compact/every_file_test.cpp) do not reach:
// not a database, damaged structures, unused reference-map slots, value edges, the
// batching of index entries, which map a page belongs to.

#include <algorithm>
#include <future>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "engines/jet/check/ascending_numbers.h"
#include "engines/jet/check/checker.h"
#include "engines/jet/format/entry_batch.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/row_set.h"
#include "engines/jet/format/page_census.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/page_numbers.h"
#include "engines/jet/format/source_maps.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/text.h"
#include "engines/jet/format/usage_map.h"
#include "engines/jet/format/value.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using namespace testing;

TEST(FormatTest, WhatIsNotAJetDatabaseIsRefusedClearly) {
    TempFolder folder;
    const Bytes jet4 = ReadBytes(TestData() / "mdb/jet4/testV2000.mdb");
    Bytes ace(4096, 0);
    std::copy_n("Standard ACE DB", 15, ace.begin() + 4);
    ace[kVersionOffset] = kVersionAce2019 + 1;
    const std::tuple<Bytes, long, const char*> cases[] = {
        {{}, errc::kNotADatabase, "is not an Access database (it is too short)"},
        {ace, errc::kNotADatabase, "later Access format (version 7)"},
        {Bytes(jet4.begin(), jet4.begin() + 1000), errc::kCorrupt, "truncated inside its header page"},
    };
    for (const auto& [bytes, error, text] : cases) {
        WriteBytes(folder / "x.mdb", bytes);
        std::string description;
        EXPECT_EQ(ErrorOf([&] { PageFile::Open(folder / "x.mdb"); }, &description), error) << text;
        EXPECT_NE(description.find(text), std::string::npos) << description;
    }
}

// Structures a damaged file could hold: damage, never a read outside a page or a guess.
TEST(FormatTest, MalformedStructuresAreDamage) {
    const Format& f = FormatFor(Version::kJet4);
    const Bytes whole = ReadBytes(TestData() / "mdb/jet4/overflowTestV2000.mdb");
    const PageFile file = PageFile::FromMemory(whole);
    const auto page = [&](std::uint8_t type, std::vector<std::pair<std::size_t, std::uint16_t>> words) {
        Bytes bytes(f.page_size, 0);
        bytes.at(0) = type;
        for (const auto& [at, word] : words) PutLe16(bytes, at, word);
        return bytes;
    };
    // What it is, what the error must say, and the reading that meets it.
    const std::tuple<const char*, const char*, std::function<void()>> cases[] = {
        {"a row inside the slot table", "data page 9 row 0 has an invalid offset",
         [&] {
             DataPage::Parse(f, 9, page(kPageData, {{12, 1}, {14, 5}}));
         }},
        {"more rows than a page holds", "data page 9 claims 300 rows",
         [&] {
             DataPage::Parse(f, 9, page(kPageData, {{12, 300}, {14, 4000}}));
         }},
        {"a row reaching into the one before", "data page 9 row 1 has an invalid offset",
         [&] {
             DataPage::Parse(f, 9, page(kPageData, {{12, 2}, {14, 4000}, {16, 4050}}));
         }},
        {"an index entry too short for its row", "index page 5 has an entry too short",
         [&] {
             ParseIndexPage(f, 5, page(kPageIndexLeaf, {{f.idx_mask, 0x04}}));
         }},
        {"an index entry ending past the page (the mask's last bit)", "index page 5 has an entry past the page end",
         [&] {
             ParseIndexPage(f, 5, page(kPageIndexLeaf, {{f.idx_entries - 2, 0x8000}}));
         }},
        {"a prefix longer than the first entry", "index page 5 has a prefix longer",
         [&] {
             ParseIndexPage(f, 5, page(kPageIndexLeaf, {{f.idx_mask, 0x10}, {f.idx_prefix, 9}}));
         }},
        {"a usage map of unknown type", "unknown type 7",
         [&] {
             DecodeUsageMap(file, Bytes{7, 0, 0, 0, 0});
         }},
        {"a memo field of 8 bytes", "shorter than 12 bytes", [&] { ReadLongValue(file, Bytes(8, 0)); }},
        // Memo fields: u32 length with the kind in its top bits, u32 row pointer, u32.
        {"an inline memo longer than its field", "length does not match its field",
         [&] {
             ReadLongValue(file, Bytes{5, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0});
         }},
        {"a memo row past the end of the file", "page 5000 is outside the file",
         [&] {
             ReadLongValue(file, Bytes{100, 0, 0, 0x40, 1, 0x88, 0x13, 0, 0, 0, 0, 0});
         }},
        {"a memo of unknown kind", "unknown storage kind",
         [&] {
             ReadLongValue(file, Bytes{0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0, 0});
         }},
        {"a file cut short", "is outside the file (8 pages)",
         [&] {
             const CheckReport report =
                 CheckDatabase(PageFile::FromMemory(Bytes(whole.begin(), whole.begin() + 8 * 4096)));
             if (!report.ok()) ThrowCorrupt(report.problems.front());
         }},
    };
    for (const auto& [what, said, read] : cases) {
        std::string why;
        EXPECT_EQ(ErrorOf(read, &why), errc::kCorrupt) << what;
        EXPECT_NE(why.find(said), std::string::npos) << what << ": " << why;
    }
}

// The check sorts a table's listed pages out as it reaches their rows; a page
// of another owner is still told before a row that cannot be read, as when
// the pages were sorted out first.
TEST(CheckTest, APageOfAnotherOwnerIsToldBeforeARowThatCannotBeRead) {
    const Bytes sound = ReadBytes(TestData() / "products/post_db.mdb");
    const PageFile f = PageFile::FromMemory(sound);
    const Target customers = TableOf(f, "Customers");
    const Target invoices = TableOf(f, "Invoices");
    const auto told = [](const Bytes& bytes) {
        const CheckReport report = CheckDatabase(PageFile::FromMemory(bytes));
        std::vector<std::pair<DamageClass, std::string>> out;
        for (std::size_t i = 0; i < report.problems.size(); ++i)
            if (report.problems[i].starts_with("table 'Customers'"))
                out.emplace_back(report.classes[i], report.problems[i]);
        return out;
    };
    Bytes foreign = sound;
    PutLe32(foreign, At(f, customers.data.at(2), f.format().page_owner), invoices.def.page);
    PutLe16(foreign, RowAt(f, customers.data.at(1), 0), 0xFFFF);  // a null mask longer than the row
    const auto both = told(foreign);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].first, DamageClass::kSuspect);
    EXPECT_EQ(both[0].second, "table 'Customers': its usage map lists 1 pages that are not its data pages");
    EXPECT_EQ(both[1].first, DamageClass::kPrimary);
    EXPECT_NE(both[1].second.find("shorter than its null mask"), std::string::npos) << both[1].second;
}

// Pages naming a table as their owner are counted by a census that may be
// taken on another core after the tables: what it shows is told where the
// table's check would have told it, and a census that failed fails the check.
TEST(CheckTest, ACensusTakenBesideTellsTheSameInTheSamePlaces) {
    const Bytes sound = ReadBytes(TestData() / "products/post_db.mdb");
    const PageFile f = PageFile::FromMemory(sound);
    const Target customers = TableOf(f, "Customers");
    const Target invoices = TableOf(f, "Invoices");
    // A page of Invoices given to Customers: Customers' map does not list it,
    // and Invoices' lists a page that is not its own.
    Bytes damaged = sound;
    PutLe32(damaged, At(f, invoices.data.at(1), f.format().page_owner), customers.def.page);
    const CheckReport alone = CheckDatabase(PageFile::FromMemory(damaged));
    const auto at = [&](const CheckReport& report, std::string_view start) {
        const auto it =
            std::ranges::find_if(report.problems, [&](const std::string& p) { return p.starts_with(start); });
        return it - report.problems.begin();
    };
    const auto unlisted = at(alone, "table 'Customers': 1 pages hold ");
    const auto foreign = at(alone, "table 'Invoices': its usage map lists 1 pages");
    ASSERT_LT(unlisted, static_cast<std::ptrdiff_t>(alone.problems.size()));
    ASSERT_LT(foreign, static_cast<std::ptrdiff_t>(alone.problems.size()));
    EXPECT_EQ(alone.classes[static_cast<std::size_t>(unlisted)], DamageClass::kSuspect);
    // Each table's findings together, in the order the catalog lists the tables.
    const auto tables = ReadTables(f);
    const auto place = [&](const char* name) {
        return std::ranges::find_if(tables, [&](const CatalogEntry& e) { return e.name == name; }) - tables.begin();
    };
    const bool customersFirst = place("Customers") < place("Invoices");
    EXPECT_EQ(unlisted < foreign, customersFirst);
    EXPECT_TRUE(alone.damaged_tables.contains("Customers"));

    TempFolder folder;
    WriteBytes(folder / "damaged.mdb", damaged);
    const CheckReport beside = CheckDatabaseOnTwoCores(PageFile::Open(folder / "damaged.mdb"));
    EXPECT_EQ(beside.problems, alone.problems);
    EXPECT_EQ(beside.classes, alone.classes);
    EXPECT_EQ(beside.damaged_tables, alone.damaged_tables);

    std::promise<PageCensus> failed;
    failed.set_exception(std::make_exception_ptr(Error(errc::kIoError, "the census could not read page 9")));
    std::string why;
    EXPECT_EQ(ErrorOf([&] { CheckDatabase(PageFile::FromMemory(damaged), nullptr, failed.get_future()); }, &why),
              errc::kIoError);
    EXPECT_EQ(why, "the census could not read page 9");
    // A check stopped before its end (its answer no longer wanted) never takes its census.
    CheckSignals stopped;
    stopped.stop = true;
    bool taken = false;
    (void)CheckDatabase(PageFile::FromMemory(damaged), &stopped, std::async(std::launch::deferred, [&] {
                            taken = true;
                            return PageCensus(PageFile::FromMemory(damaged));
                        }));
    EXPECT_FALSE(taken);
}

// Each table's long-value rows are gathered apart and joined in catalog order:
// two values on one row are told for the table that holds them, whichever
// thread checked it, however many tables with values come before.
TEST(CheckTest, TwoValuesOnOneLongValueRowAreToldForTheirTable) {
    struct Field {
        std::size_t at;  // in the file
        std::uint32_t table_page;
    };
    // The first user table after others with values, holding two values
    // stored apart in one column, each in a row where its pointer names it.
    for (const char* name : {"products/post_db.mdb", "mdb/jet4/test2V2000.mdb", "mdb/jet4/overflowTestV2000.mdb"}) {
        const Bytes sound = ReadBytes(TestData() / name);
        const PageFile f = PageFile::FromMemory(sound);
        std::optional<std::pair<Field, Field>> pair;
        std::string table;
        for (const CatalogEntry& entry : ReadTables(f)) {
            if (entry.IsSystem() || pair) continue;
            const TableDef def = ReadTableDef(f, entry.table_page());
            std::map<std::size_t, Field> first;  // by column
            RowCursor rows(f, def);
            for (TableRow row; !pair && rows.Next(row);) {
                const std::size_t start = RowAt(f, row.header.page, row.header.row);
                if (!std::equal(row.body.begin(), row.body.end(), sound.begin() + static_cast<std::ptrdiff_t>(start)))
                    continue;  // a relocated body
                const RowFields fields = LocateFields(f.format(), def, row.body);
                for (std::size_t c = 0; c < def.columns.size() && !pair; ++c) {
                    const FieldSpan& span = fields.spans[c];
                    if (!def.columns[c].IsLongValue() || !span.present || span.length < kLongValueFieldHeader ||
                        ParseLongValueField(FieldBytes(row.body, span)).kind == LongValueKind::kInline)
                        continue;
                    const Field here{start + span.offset, def.page};
                    if (const auto it = first.find(c); it != first.end())
                        pair.emplace(it->second, here);
                    else
                        first.emplace(c, here);
                }
            }
            if (pair) table = entry.name;
        }
        if (!pair) continue;
        Bytes damaged = sound;
        std::copy_n(sound.begin() + static_cast<std::ptrdiff_t>(pair->first.at), kLongValueFieldHeader,
                    damaged.begin() + static_cast<std::ptrdiff_t>(pair->second.at));
        const CheckReport alone = CheckDatabase(PageFile::FromMemory(damaged));
        const std::string shared = "table '" + table + "': a memo or OLE value shares its row";
        const auto told =
            std::ranges::find_if(alone.problems, [&](const std::string& p) { return p.starts_with(shared); });
        ASSERT_NE(told, alone.problems.end()) << name << ": " << ::testing::PrintToString(alone.problems);
        EXPECT_EQ(alone.classes[static_cast<std::size_t>(told - alone.problems.begin())], DamageClass::kPrimary);
        EXPECT_TRUE(alone.damaged_tables.contains(table));
        TempFolder folder;
        WriteBytes(folder / "damaged.mdb", damaged);
        const CheckReport beside = CheckDatabaseOnTwoCores(PageFile::Open(folder / "damaged.mdb"));
        EXPECT_EQ(beside.problems, alone.problems);
        EXPECT_EQ(beside.classes, alone.classes);
        return;
    }
    FAIL() << "no test file holds a user table with two values stored apart";
}

// Gaps of every width a row pointer can leave, equal neighbours and the
// largest number come back as they went in.
TEST(CheckTest, AscendingNumbersComeBackAsGiven) {
    std::vector<std::uint32_t> given;
    std::uint32_t at = 0;
    for (const std::uint32_t gap : {0u, 0u, 1u, 127u, 128u, 16383u, 16384u, 2097151u, 2097152u, 268435455u, 268435456u})
        given.push_back(at += gap);
    given.insert(given.end(), {0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFF});
    const AscendingNumbers numbers(given);
    EXPECT_EQ(numbers.size(), given.size());
    std::vector<std::uint32_t> back;
    AscendingNumbers::Cursor cursor(numbers);
    for (std::uint32_t n = 0; cursor.Next(n);) back.push_back(n);
    EXPECT_EQ(back, given);
    std::uint32_t none = 7;
    EXPECT_FALSE(AscendingNumbers::Cursor(AscendingNumbers()).Next(none));
    EXPECT_EQ(none, 7u);
}

// A value of one table made to name another table's long-value row: both
// tables are told, whichever thread checked them.
TEST(CheckTest, AValueOnAnotherTablesLongValueRowIsToldForBothTables) {
    const Bytes sound = ReadBytes(TestData() / "products/post_db.mdb");
    const PageFile f = PageFile::FromMemory(sound);
    std::vector<std::pair<std::string, std::size_t>> fields;  // a table and one of its values stored apart
    for (const CatalogEntry& entry : ReadTables(f)) {
        if (entry.IsSystem()) continue;
        const TableDef def = ReadTableDef(f, entry.table_page());
        RowCursor rows(f, def);
        for (TableRow row; rows.Next(row) && (fields.empty() || fields.back().first != entry.name);) {
            const std::size_t start = RowAt(f, row.header.page, row.header.row);
            if (!std::equal(row.body.begin(), row.body.end(), sound.begin() + static_cast<std::ptrdiff_t>(start)))
                continue;  // a relocated body
            const RowFields located = LocateFields(f.format(), def, row.body);
            for (std::size_t c = 0; c < def.columns.size(); ++c) {
                const FieldSpan& span = located.spans[c];
                if (def.columns[c].IsLongValue() && span.present && span.length >= kLongValueFieldHeader &&
                    ParseLongValueField(FieldBytes(row.body, span)).kind != LongValueKind::kInline) {
                    fields.emplace_back(entry.name, start + span.offset);
                    break;
                }
            }
        }
    }
    ASSERT_GE(fields.size(), 2u);
    Bytes damaged = sound;
    std::copy_n(sound.begin() + static_cast<std::ptrdiff_t>(fields[0].second), kLongValueFieldHeader,
                damaged.begin() + static_cast<std::ptrdiff_t>(fields.back().second));
    TempFolder folder;
    WriteBytes(folder / "damaged.mdb", damaged);
    for (const CheckReport& report : {CheckDatabase(PageFile::FromMemory(damaged)),
                                      CheckDatabaseOnTwoCores(PageFile::Open(folder / "damaged.mdb"))}) {
        for (const std::string& table : {fields[0].first, fields.back().first}) {
            const std::string shared = "table '" + table + "': a memo or OLE value shares its row";
            EXPECT_TRUE(
                std::ranges::any_of(report.problems, [&](const std::string& p) { return p.starts_with(shared); }))
                << table << ": " << ::testing::PrintToString(report.problems);
            EXPECT_TRUE(report.damaged_tables.contains(table));
        }
    }
}

// One byte a page until a number needs two, two until it needs four: what
// was set before stays.
// The cached reader fetches whole blocks where reading goes on past what it
// holds and small parts where it jumps: whatever the order, and from however
// few kept blocks, every page comes back as the file holds it.
TEST(PageFileTest, ACachedReadGivesTheFileWhateverTheOrderOfReads) {
    const fs::path path = TestData() / "products/post_db.mdb";
    const Bytes whole = ReadBytes(path);
    const std::uint32_t pages = static_cast<std::uint32_t>(whole.size() / 4096);
    ASSERT_GT(pages, 100u);
    ASSERT_NE(whole.size() % (64 * 1024), 0u);                           // a short last block
    std::vector<std::pair<std::uint32_t, std::uint32_t>> reads;          // first page, count
    for (std::uint32_t p = 1; p < pages; ++p) reads.emplace_back(p, 1);  // onward
    for (std::uint32_t p = 1; p + 40 < pages; p += 3) {                  // two streams side by side
        reads.emplace_back(p, 1);
        reads.emplace_back(p + 40, 2);
    }
    std::mt19937 random(11);
    for (int i = 0; i < 2000; ++i) {  // jumps, runs across block edges, the last page
        const auto count = static_cast<std::uint32_t>(1 + random() % 15);
        reads.emplace_back(static_cast<std::uint32_t>(1 + random() % (pages - count)), count);
    }
    reads.emplace_back(pages - 1, 1);
    for (const std::size_t kept : {std::size_t{1}, std::size_t{2}, PageFile::kKeptBlocks}) {
        SCOPED_TRACE(kept);
        const PageFile file = PageFile::OpenCached(path, kept);
        Bytes out;
        for (const auto& [first, count] : reads) {
            out.resize(std::size_t{count} * 4096);
            file.ReadPages(first, count, out);
            ASSERT_TRUE(std::equal(out.begin(), out.end(), whole.begin() + std::ptrdiff_t{first} * 4096))
                << "pages " << first << " to " << first + count - 1;
        }
    }
}

TEST(PageNumbersTest, WidensWithoutLosingWhatItHeld) {
    PageNumbers numbers(6);
    numbers.Set(1, 0xFF);
    numbers.Set(2, 7);
    numbers.Set(9, 3);  // past the end: left alone
    EXPECT_EQ(numbers.Get(1), 0xFFu);
    numbers.Set(3, 0x100);
    EXPECT_EQ(numbers.Get(1), 0xFFu);
    numbers.Set(4, 0xFFFF);
    numbers.Set(5, 0x10000);
    numbers.Set(0, 0xFFFFFFFF);
    EXPECT_EQ(numbers.size(), 6u);
    const std::vector<std::uint32_t> held = {numbers.Get(0), numbers.Get(1), numbers.Get(2), numbers.Get(3),
                                             numbers.Get(4), numbers.Get(5), numbers.Get(6), numbers.Get(9)};
    EXPECT_EQ(held, (std::vector<std::uint32_t>{0xFFFFFFFF, 0xFF, 7, 0x100, 0xFFFF, 0x10000, 0, 0}));
}

// The census names each data page's owner as the page itself does, and a
// table the caller does not know comes out as another owner.
TEST(PageCensusTest, OwnersAreThoseThePagesName) {
    const Bytes bytes = ReadBytes(TestData() / "products/post_db.mdb");
    const PageFile f = PageFile::FromMemory(bytes);
    const PageCensus census(f);
    std::vector<std::uint32_t> known;
    for (const CatalogEntry& entry : ReadTables(f)) known.push_back(entry.table_page());
    std::sort(known.begin(), known.end());
    std::uint32_t userTable = 0;
    for (const std::uint32_t table : known) {
        std::vector<std::uint32_t> named;
        for (std::uint32_t page = 1; page < f.page_count(); ++page) {
            const auto at = static_cast<std::ptrdiff_t>(page) * static_cast<std::ptrdiff_t>(f.page_size());
            const ByteSpan raw(bytes.data() + at, f.page_size());
            if (raw[0] == kPageData && Le32(raw, f.format().page_owner) == table) named.push_back(page);
        }
        EXPECT_EQ(census.PagesOwnedBy(table), named) << "table at page " << table;
        if (named.size() > 1 && table != kCatalogPage) userTable = table;
    }
    ASSERT_NE(userTable, 0u);
    EXPECT_TRUE(census.OtherOwners(known).empty());
    std::vector<std::uint32_t> allBut = known;
    std::erase(allBut, userTable);
    const std::vector<PageCensus::Owner> others = census.OtherOwners(allBut);
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(others[0].table, userTable);
    EXPECT_GT(others[0].rows, 0u);
}

// Every page a table's or a memo/OLE column's map lists names it; a page two
// maps list names the first of them, in the order the definitions are given.
TEST(SourceMapsTest, APageNamesTheFirstMapThatListsIt) {
    const Bytes sound = ReadBytes(TestData() / "products/post_db.mdb");
    const PageFile f = PageFile::FromMemory(sound);
    std::vector<TableDef> defs;
    for (const CatalogEntry& entry : ReadTables(f))
        if (!entry.IsSystem()) defs.push_back(ReadTableDef(f, entry.table_page()));
    const auto pagesOf = [&f](std::uint32_t record) { return ReadUsageMap(f, RowPointer::FromU32(record)).pages; };
    // Two tables with data pages, and two memo/OLE columns with pages of their own.
    std::vector<std::pair<const TableDef*, std::uint32_t>> tables;  // and a page of each
    std::vector<std::pair<SourceMaps::ColumnOf, std::uint32_t>> columns;
    std::vector<std::uint32_t> columnMaps;
    for (const TableDef& def : defs) {
        if (const auto pages = pagesOf(def.owned_map); !pages.empty()) tables.emplace_back(&def, pages.back());
        for (const LongValueMap& lv : def.long_value_maps)
            if (const auto pages = pagesOf(lv.owned_map); !pages.empty()) {
                columns.emplace_back(SourceMaps::ColumnOf{def.page, lv.column_number}, pages.back());
                columnMaps.push_back(lv.owned_map);
            }
    }
    ASSERT_GE(tables.size(), 2u);
    ASSERT_GE(columns.size(), 2u);
    const SourceMaps maps(f, defs);
    for (const auto& [def, page] : tables) EXPECT_EQ(maps.DataPageTable(page), def->page);
    for (const auto& [column, page] : columns) EXPECT_EQ(maps.LongValueColumn(page), column);
    EXPECT_EQ(maps.DataPageTable(0), std::nullopt);
    EXPECT_EQ(maps.LongValueColumn(tables[0].second), std::nullopt);
    const SourceMaps columnsOnly(f, defs, SourceMaps::Kinds::kLongValues);
    for (const auto& [column, page] : columns) EXPECT_EQ(columnsOnly.LongValueColumn(page), column);
    EXPECT_EQ(columnsOnly.DataPageTable(tables[0].second), std::nullopt);

    // The second table's page and the second column's listed by the first's maps too.
    Bytes both = sound;
    List(both, f, RowPointer::FromU32(tables[0].first->owned_map), tables[1].second);
    List(both, f, RowPointer::FromU32(columnMaps[0]), columns[1].second);
    const PageFile twice = PageFile::FromMemory(both);
    EXPECT_EQ(SourceMaps(twice, defs).DataPageTable(tables[1].second), tables[0].first->page);
    EXPECT_TRUE(SourceMaps(twice, defs).DataPageListedTwice(tables[1].second));
    EXPECT_FALSE(maps.DataPageListedTwice(tables[1].second));
    std::vector<TableDef> givenTwice = defs;
    givenTwice.push_back(*tables[0].first);  // one map, read twice
    EXPECT_FALSE(SourceMaps(f, givenTwice).DataPageListedTwice(tables[0].second));
    EXPECT_EQ(SourceMaps(twice, defs).LongValueColumn(columns[1].second), columns[0].first);
    std::vector<TableDef> reversed(defs.rbegin(), defs.rend());
    EXPECT_EQ(SourceMaps(twice, reversed).DataPageTable(tables[1].second), tables[1].first->page);
    EXPECT_EQ(SourceMaps(twice, reversed).LongValueColumn(columns[1].second), columns[1].first);

    // More tables than two bytes a page can number: the last one still names its pages.
    TableDef none = *tables[0].first;
    none.owned_map = 0;  // no map to read
    none.long_value_maps.clear();
    std::vector<TableDef> many(0xFFFF, none);
    many.push_back(*tables[1].first);
    const SourceMaps wide(f, many);
    EXPECT_EQ(wide.DataPageTable(tables[1].second), tables[1].first->page);
    EXPECT_EQ(wide.DataPageTable(tables[0].second), std::nullopt);
}

// Rows in page order with pages far apart, then below the first page and
// again: each row is in the set once, and nothing else is.
TEST(RowSetTest, HoldsEachRowAddedAndNothingElse) {
    std::vector<RowPointer> added;
    for (std::uint32_t page = 300; page < 900; page += 7)
        for (unsigned slot = page % 5; slot < 256; slot += 3 + page % 50)
            added.push_back({page, static_cast<std::uint8_t>(slot)});
    added.push_back({12, 255});
    added.push_back({299, 0});
    added.push_back({300, 0});  // again, if page 300's first slot is 0
    added.push_back({1200, 64});
    RowSet rows;
    std::set<std::uint32_t> expected;
    for (const RowPointer& row : added) {
        rows.Add(row);
        expected.insert(row.ToU32());
    }
    EXPECT_EQ(rows.size(), expected.size());
    for (std::uint32_t page = 0; page < 1300; ++page)
        for (unsigned slot = 0; slot < 256; ++slot) {
            const RowPointer row{page, static_cast<std::uint8_t>(slot)};
            ASSERT_EQ(rows.Contains(row), expected.contains(row.ToU32())) << row.ToString();
        }
}

// Entries after a page's first are stored without the prefix they share with
// it; the cursor rebuilds each, and refuses a page with a bad entry anywhere
// before it hands out the first.
TEST(FormatTest, IndexEntriesAreRebuiltFromTheSharedPrefix) {
    const Format& f = FormatFor(Version::kJet4);
    Bytes leaf(f.page_size, 0);
    leaf[0] = kPageIndexLeaf;
    leaf[f.idx_prefix] = 2;
    const Bytes stored = {'A', 'B', '1', 0, 0, 9, 1, '2', 0, 0, 9, 2};
    std::copy(stored.begin(), stored.end(), leaf.begin() + static_cast<std::ptrdiff_t>(f.idx_entries));
    leaf[f.idx_mask] = 0x80;      // the first entry ends at byte 7
    leaf[f.idx_mask + 1] = 0x10;  // the second at byte 12
    Bytes buffer;
    IndexEntryCursor cursor(f, 5, leaf, buffer);
    std::vector<std::pair<std::string, RowPointer>> seen;
    for (IndexEntryView e; cursor.Next(e);) seen.emplace_back(std::string(e.key.begin(), e.key.end()), e.row);
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, RowPointer>>{{"AB1", {9, 1}}, {"AB2", {9, 2}}}));
    leaf[f.idx_mask + 1] = 0x18;  // a third entry of one byte: no room for its row
    EXPECT_EQ(ErrorOf([&] { IndexEntryCursor(f, 5, leaf, buffer); }), errc::kCorrupt);
}

// Access leaves values in the unused trailing slots of a reference map that
// are no page at all. testV2000's free-page map rewritten as such a map: its
// bitmap on an appended page 743, slot 1 and on as given.
// Entries held back for their lookups reach the handler as the walk gave
// them, across batch boundaries, each looked up ahead in both rounds.
TEST(FormatTest, BatchedIndexEntriesArriveInWalkOrder) {
    std::vector<std::pair<Bytes, RowPointer>> given, handled;
    std::map<std::uint32_t, int> rounds;  // by row: a bit per round it was looked up ahead in
    EntryBatch batch([&](RowPointer row, int round) { rounds[row.ToU32()] |= 1 << round; },
                     [&](ByteSpan key, RowPointer row) { handled.emplace_back(Bytes(key.begin(), key.end()), row); });
    for (std::uint32_t i = 0; i < 150; ++i) {
        given.emplace_back(Bytes(i % 7, static_cast<std::uint8_t>(i)),
                           RowPointer{i + 1, static_cast<std::uint8_t>(i % 5)});
        batch.Add(given.back().first, given.back().second);
    }
    batch.Flush();
    EXPECT_EQ(handled, given);
    ASSERT_EQ(rounds.size(), given.size());
    for (const auto& [row, seen] : rounds) EXPECT_EQ(seen, 3) << row;
}

TEST(FormatTest, ReferenceMapSlotsThatCoverNoPageOfTheFileAreEmpty) {
    const Bytes original = ReadBytes(TestData() / "mdb/jet4/testV2000.mdb");
    const std::size_t row0 = 4096 + (Le16(original, 4096 + 14) & kRowOffsetMask), bitmap = 743 * 4096;
    ASSERT_EQ(original.at(row0), kUsageMapInline);
    std::vector<std::uint32_t> free = ReadGlobalFreeMap(PageFile::FromMemory(original)).pages;
    free.erase(std::lower_bound(free.begin(), free.end(), 743u), free.end());
    const std::tuple<std::uint32_t, std::uint32_t, const char*> cases[] = {
        {743, 0xFFFFFF80, ""},
        {743, 2, "page 2 should be a usage bitmap"},
        {0xFFFFFF80, 0xFFFFFF80, "page 4294967168 is outside the file"},
    };
    for (const auto& [slot0, slot1, error] : cases) {
        Bytes bytes = original;
        bytes.resize(bytes.size() + 4096, 0);
        bytes[bitmap] = kPageUsageBitmap;
        std::copy(original.begin() + static_cast<std::ptrdiff_t>(row0 + kUsageMapInlineHeader), original.begin() + 8192,
                  bytes.begin() + bitmap + kUsageBitmapPageHeader);
        bytes[bitmap + kUsageBitmapPageHeader + 743 / 8] &= static_cast<std::uint8_t>(~(1u << (743 % 8)));
        bytes[row0] = kUsageMapReference;
        for (std::size_t at = row0 + 1; at + 4 <= 8192; at += 4)
            PutLe32(bytes, at, at == row0 + 1 ? slot0 : at == row0 + 5 ? slot1 : 0xFFFFFF80);
        const PageFile file = PageFile::FromMemory(bytes);
        std::string description;
        EXPECT_EQ(ErrorOf(
                      [&] {
                          EXPECT_EQ(ReadGlobalFreeMap(file).pages, free);
                          EXPECT_TRUE(CheckDatabase(file).ok());
                      },
                      &description),
                  *error ? errc::kCorrupt : 0);
        EXPECT_NE(description.find(error), std::string::npos) << description;
    }
}

// Values the test files do not hold (those are compared with mdbtools).
TEST(ValueTextTest, TheEdgesOfEachType) {
    // Decimal: a sign byte, then four dwords, most significant first.
    const Bytes decimal{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x39, 0x30, 0, 0};
    const Bytes large{0x80, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x39, 0x30, 0, 0},
        negativeZero{0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::pair<std::string, std::string> cases[] = {
        {DateTimeToText(61.0), "1900-03-01 00:00:00"},           // no 1900-02-29
        {DateTimeToText(-1.25), "1899-12-29 06:00:00"},          // the time of day stays positive
        {DateTimeToText(36526.9999999), "2000-01-02 00:00:00"},  // rounding carries into the next day
        {DateTimeToText(1e300), "1e+300"},                       // outside the calendar: the number, not a made-up date
        {CurrencyToText(-1), "-0.0001"},
        {CurrencyToText(INT64_MIN), "-922337203685477.5808"},
        {DecimalToText(decimal, 6), "0.012345"},
        {DecimalToText(large, 0), "-79228162514264337593543962681"},
        {DecimalToText(negativeZero, 3), "0"},
        {Jet4TextToUtf8(Bytes{0xFF, 0xFE, 'a', 'b', 0x00, 0xAC, 0x20, 0x00, 'c'}),
         "ab\xE2\x82\xAC"
         "c"},
        {Ucs2ToUtf8(Bytes{0x3D, 0xD8, 0x00, 0xDE, 0x3D, 0xD8}), "\xF0\x9F\x98\x80\xEF\xBF\xBD"},
        // Runs of ASCII are copied whole: a letter beyond it inside a run,
        // half a character at the end, a surrogate pair with two switches
        // (and no character) between its halves, a high surrogate followed by
        // a one-byte character.
        {Jet4TextToUtf8(Bytes{0xFF, 0xFE, 'c', 'a', 'f', 0xE9, '!'}), "caf\xC3\xA9!"},
        {Jet4TextToUtf8(Bytes{'K', 0, 0xE4, 0, 's', 0, 'e', 0, 'x'}), "K\xC3\xA4se"},
        {Jet4TextToUtf8(Bytes{0xFF, 0xFE, 'a', 0x00, 0x3D, 0xD8, 0x00, 0x00, 0x01, 0xDE}), "a\xF0\x9F\x98\x81"},
        {Jet4TextToUtf8(Bytes{0xFF, 0xFE, 0x00, 0x3D, 0xD8, 0x00, 'b', 'c'}),
         "\xEF\xBF\xBD"
         "bc"},
        {CodePageToUtf8(Bytes{'K', 0xE4, 's', 'e', 0x80, 0x81}, 1252), "K\xC3\xA4se\xE2\x82\xAC\xC2\x81"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace dorvane::jet
