// Repair over a damage generator: each kind of damage made to a sound test
// file, the repaired copy held against the sound original. Derived damage
// loses nothing; primary damage loses at most the damaged pages' rows and
// reports every row it lost; what cannot be repaired is refused by name.

#include "engines/jet/checker.h"
#include "tests/jet/repair_oracle.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using namespace testing;

void Zero(Bytes& b, const PageFile& f, std::uint32_t page, std::size_t n = 0) {
    std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(At(f, page)), n ? n : f.page_size(), 0);
}
// The first page of `type` the index's tree holds.
std::uint32_t IndexPageOf(const PageFile& f, const Target& t, std::uint8_t type) {
    for (const PhysicalIndex& index : t.def.physical_indexes)
        for (std::uint32_t p : WalkIndex(f, index.root_page).pages)
            if (f.ReadPage(p)[0] == type) return p;
    throw std::runtime_error("no such index page");
}
// Flags `n` live rows of the page deleted, leaving the count and every index
// entry naming them: what a writer stopped mid-delete leaves.
void DeleteRows(Bytes& b, const PageFile& f, std::uint32_t page, std::size_t n) {
    for (std::size_t slot = 0; n > 0; ++slot) {
        const std::size_t at = At(f, page, f.format().data_row_offsets + 2 * slot);
        if ((Le16(b, at) & kRowDeleted) != 0) continue;
        PutLe16(b, at, Le16(b, at) | kRowDeleted);
        --n;
    }
}
std::uint64_t LiveRows(const PageFile& f, std::uint32_t page) {
    const DataPage parsed = DataPage::Parse(f.format(), page, f.ReadPage(page));
    return static_cast<std::uint64_t>(std::ranges::count_if(
        parsed.slots(), [](const Slot& s) { return s.kind == SlotKind::kLive || s.kind == SlotKind::kOverflowPointer; }));
}

enum class Kind { kDerived, kPrimary, kRefused };
struct Damage {
    const char* name;
    const char* file;
    const char* table;  // the table damaged (and named by a refusal)
    Kind kind;
    // Changes the bytes; returns the rows of `table` the damage may cost
    // (those on the pages it hit), or the text a refusal must hold.
    std::function<std::uint64_t(Bytes&, const PageFile&, const Target&)> spoil;
    const char* refusal = "";
};

const char* const kPost = "products/post_db.mdb";
const char* const kOverflow = "mdb/jet4/overflowTestV2000.mdb";  // Table1: no index, 7 rows on page 27
const char* const kJet3 = "mdb/jet3/testV1997.mdb";

const Damage kDamages[] = {
    {"zeroed index leaf", kPost, "Customers", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, IndexPageOf(f, t, kPageIndexLeaf)); return 0u; }},
    {"garbled index key", kPost, "Customers", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) {
         std::vector<std::uint32_t> leaves;
         for (std::uint32_t p : WalkIndex(f, t.def.physical_indexes[0].root_page).pages)
             if (f.ReadPage(p)[0] == kPageIndexLeaf) leaves.push_back(p);
         b[At(f, leaves.at(leaves.size() / 2), f.format().idx_entries + 1)] = 0xFF;  // now above its successors
         return 0u;
     }},
    {"zeroed index node", kPost, "Invoices", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, IndexPageOf(f, t, kPageIndexNode)); return 0u; }},
    {"zeroed usage bitmap", kPost, "Customers", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target&) {
         for (std::uint32_t p = 1;; ++p)
             if (f.ReadPage(p)[0] == kPageUsageBitmap) { Zero(b, f, p); return 0u; }
     }},
    {"stale entries, count two high, memo pages unlisted", kPost, "Customers", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) {
         DeleteRows(b, f, t.data[1], 2);
         const RowPointer memo = RowPointer::FromU32(t.def.long_value_maps.at(0).owned_map);
         const std::vector<std::uint32_t> pages = ReadUsageMap(f, memo).pages;
         Unlist(b, f, memo, {pages.at(0), pages.at(1)});
         return 0u;
     }},
    {"AutoNumber counter below its rows", kPost, "Invoices", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) { PutLe32(b, At(f, t.def.page, f.format().tdef_autonumber), 5); return 0u; }},
    {"zeroed free data page", "mdb/jet4/overflowTestV2003.mdb", "Table1", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target&) {
         for (std::uint32_t p : ReadGlobalFreeMap(f).pages)
             if (p < f.page_count() && f.ReadPage(p)[0] == kPageData) { Zero(b, f, p); return 0u; }
         throw std::runtime_error("no free data page");
     }},
    {"cached count too low", kPost, "Scans", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) { PutLe32(b, At(f, t.def.page, f.format().tdef_num_rows), 1); return 0u; }},
    {"zeroed data page", kPost, "Customers", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, t.data[2]); return LiveRows(f, t.data[2]); }},
    {"garbled row area", kPost, "Customers", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) {
         const DataPage page = DataPage::Parse(f.format(), t.data[1], f.ReadPage(t.data[1]));
         std::mt19937 noise(7);
         for (std::size_t i = At(f, t.data[1], page.slots().back().start); i < At(f, t.data[1] + 1); ++i)
             b[i] = static_cast<std::uint8_t>(noise());
         return LiveRows(f, t.data[1]);
     }},
    {"zeroed long-value page", kPost, "Customers", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) {
         Zero(b, f, ReadUsageMap(f, RowPointer::FromU32(t.def.long_value_maps.at(0).owned_map)).pages.at(3));
         return 0u;
     }},
    {"truncated file", kPost, "Customers", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) {
         const std::uint32_t cut = f.page_count() - 10;
         b.resize(At(f, cut));
         std::uint64_t n = 0;
         for (std::uint32_t p : t.data) n += p >= cut ? LiveRows(f, p) : 0;
         return n;
     }},
    {"slot offset past the page", kJet3, "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) {
         PutLe16(b, At(f, t.data[0], f.format().data_row_offsets), 0x1FFF);
         return 2u;  // the row and the neighbour whose end it gives
     }},
    {"slot offset moved to its end", "mdb/jet4/indexTestV2000.mdb", "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) {
         // The row reads as empty and its neighbour as its own bytes and the row's.
         PutLe16(b, At(f, t.data[0], f.format().data_row_offsets), static_cast<std::uint16_t>(f.page_size()));
         return 2u;
     }},
    {"hidden loss: zeroed page, no index", kOverflow, "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, t.data[0]); return 7u; }},
    {"torn sector", kOverflow, "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, t.data[0], 512); return 7u; }},
    {"overflow pointer's slot offset shifted", kOverflow, "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target&) { PutLe16(b, At(f, 27, 22), 0x4F6B); return 7u; }},
    {"broken overflow pointer", kOverflow, "Table1", Kind::kPrimary,
     // a pointer out of the table cannot be told from a slot offset gone wrong: the page's rows are in doubt
     [](Bytes& b, const PageFile& f, const Target&) { PutLe32(b, At(f, 27, 0xF9D), 0x0E00); return 7u; }},
    {"a row shorter than its null mask", kOverflow, "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target&) { std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(At(f, 27, 0xFDF)), 33, 0xFF); return 7u; }},
    {"slot offset with flag bits", kOverflow, "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target&) { PutLe16(b, At(f, 27, 16), 0xDFFF); return 7u; }},
    {"overflow target a live row", kOverflow, "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target&) { PutLe16(b, At(f, 28, 14), 0x0FC6); return 7u; }},
    {"data page marked free", kOverflow, "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) { MarkFree(b, f, t.data[0]); return 0u; }},
    {"index entry naming no system row", kOverflow, "MSysACEs", Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) { b[FirstEntryRow(f, t.def.physical_indexes[0].root_page)] = 0xF0; return 0u; },
     "\"MSysACEs\""},
    {"cached count too high", kOverflow, "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) { b[At(f, t.def.page, f.format().tdef_num_rows)] = 9; return 0u; }},
    {"a page's owner changed to a table whose map is lost", "mdb/jet4/indexTestV2000.mdb", "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) {
         const Target other = TableOf(f, "Table2");
         const RowPointer map = RowPointer::FromU32(other.def.owned_map);
         PutLe16(b, At(f, map.page, f.format().data_row_offsets + 2 * map.row), 0x0FFF);  // the map unreadable
         PutLe32(b, At(f, t.data[0], f.format().page_owner), other.def.page);
         return LiveRows(f, t.data[0]);
     }},
    {"a system table's map emptied", "mdb/jet4/indexTestV2000.mdb", "MSysNameMap", Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) {
         const RowPointer map = RowPointer::FromU32(t.def.owned_map);
         Unlist(b, f, map, ReadUsageMap(f, map).pages);
         return 0u;
     }, "\"MSysNameMap\""},
    {"zeroed definition", kPost, "Invoices", Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, t.def.page); return 0u; }, "\"Invoices\""},
    {"zeroed catalog page", kPost, "MSysObjects", Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, t.data[0]); return 0u; }, "MSysObjects"},
    {"garbled system rows", kPost, "MSysACEs", Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, t.data[0], 600); return 0u; }, "\"MSysACEs\""},
};

class Repair : public ::testing::TestWithParam<Damage> {};

TEST_P(Repair, KeepsEveryReadableRowAndReportsEveryLoss) {
    const Damage& damage = GetParam();
    const Bytes sound = ReadBytes(TestData() / damage.file);
    const PageFile original = PageFile::FromMemory(sound);
    Bytes bytes = sound;
    const std::uint64_t atRisk = damage.spoil(bytes, original, TableOf(original, damage.table));
    ASSERT_TRUE(bytes != sound);
    TempFolder dir;
    WriteBytes(dir / "damaged.mdb", bytes);
    RepairReport report;
    std::string error;
    const long number = ErrorOf([&] { RepairFile(dir / "damaged.mdb", dir / "out.mdb", report); }, &error);
    EXPECT_TRUE(ReadBytes(dir / "damaged.mdb") == bytes);
    // Compaction refuses the damage repair exists for: a copy would keep it or lose rows.
    if (damage.kind != Kind::kDerived) {
        EXPECT_NE(ErrorOf([&] { CompactFile(dir / "damaged.mdb", dir / "compacted.mdb"); }), 0);
        EXPECT_FALSE(fs::exists(dir / "compacted.mdb"));
    }
    if (damage.kind == Kind::kRefused) {
        EXPECT_EQ(number, errc::kCorrupt) << error;
        EXPECT_NE(error.find(damage.refusal), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(dir / "out.mdb"));
        EXPECT_FALSE(CheckDatabase(PageFile::FromMemory(bytes)).ok());  // never an empty, sound file
        return;
    }
    ASSERT_EQ(number, 0) << error;
    const PageFile copy = PageFile::Open(dir / "out.mdb");
    const CheckReport check = CheckDatabase(copy);
    EXPECT_TRUE(check.ok()) << check.problems.front();
    if (damage.kind == Kind::kDerived) {
        // The rows the damaged file holds (the original's where the damage
        // hid them from the plain reader): deleted rows stay deleted.
        std::map<std::string, Rows> expected;
        if (ErrorOf([&] { expected = Content(PageFile::FromMemory(bytes), true); }) != 0)
            expected = Content(original, true);
        EXPECT_TRUE(Content(copy, true) == expected) << "the content differs";
        EXPECT_EQ(report.LossSummary(), "");
        return;
    }
    // Primary damage: no row the original lacks, every other table whole, at
    // most the hit pages' rows lost, and every loss reported by table.
    const auto before = Content(original, false);
    const auto after = Content(copy, false);
    EXPECT_EQ(UnreportedChange(before, after, report), "");
    for (const auto& [table, rows] : before) {
        const std::uint64_t lost = rows.size() - after.at(table).size();
        EXPECT_LE(lost, table == damage.table ? atRisk : 0u) << table;
        EXPECT_TRUE(lost == 0 || report.LossSummary().find("\"" + table + "\"") != std::string::npos) << table;
    }
    EXPECT_EQ(report.RowsLost() != 0 || report.ValuesCut() != 0, !report.LossSummary().empty());
}

INSTANTIATE_TEST_SUITE_P(Damages, Repair, ::testing::ValuesIn(kDamages), [](const auto& p) { return TestName(p.param.name); });

}  // namespace
}  // namespace dorvane::jet
