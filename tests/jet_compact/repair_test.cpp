// Repair over a damage generator: each kind of damage made to a sound test
// file, the repaired copy held against the sound original. Derived damage
// loses nothing; primary damage loses at most the damaged pages' rows and
// reports every row it lost; what cannot be repaired is refused by name.

#include <cstring>
#include <iostream>

#include "engines/jet/check/checker.h"
#include "engines/jet/compact/source_tables.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/text.h"
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
    return static_cast<std::uint64_t>(std::ranges::count_if(parsed.slots(), [](const Slot& s) {
        return s.kind == SlotKind::kLive || s.kind == SlotKind::kOverflowPointer;
    }));
}

// Where a table's catalog row and its fields lie.
struct CatalogRowAt {
    RowPointer row;
    std::size_t start = 0;  // in the file
    RowFields fields;
    TableDef def;
};
CatalogRowAt CatalogRowOf(const PageFile& f, const std::string& table) {
    CatalogRowAt at;
    at.def = ReadTableDef(f, kCatalogPage);
    const std::size_t name = *at.def.ColumnIndex("Name");
    RowCursor cursor(f, at.def);
    for (TableRow row; cursor.Next(row);) {
        at.fields = LocateFields(f.format(), at.def, row.body);
        const FieldSpan& span = at.fields.spans[name];
        if (!span.present || Jet4TextToUtf8(FieldBytes(row.body, span)) != table) continue;
        at.row = row.header;
        at.start = RowAt(f, row.header.page, row.header.row);
        return at;
    }
    throw std::runtime_error("no catalog row for " + table);
}
std::size_t CatalogField(const CatalogRowAt& at, const char* column) {
    return at.start + at.fields.spans[*at.def.ColumnIndex(column)].offset;
}

// The table's catalog row made another object's (Type 1 becomes 3) and its
// definition page's type byte garbled: two faults that hide a table.
std::uint64_t Untable(Bytes& b, const PageFile& f, const Target& t, const std::string& table) {
    b[CatalogField(CatalogRowOf(f, table), "Type")] ^= 0x02;
    b[At(f, t.def.page)] = kPageIndexNode;
    return 0;
}

// Each memo/OLE value of a column stored off its row, and where its field lies.
struct LongValueAt {
    std::size_t field;  // in the file
    LongValueField lv;
    std::vector<RowPointer> rows;
};
std::vector<LongValueAt> LongValues(const PageFile& f, const std::string& table, const std::string& column,
                                    LongValueKind kind) {
    const Target t = TableOf(f, table);
    const std::size_t c = *t.def.ColumnIndex(column);
    std::vector<LongValueAt> out;
    RowCursor cursor(f, t.def);
    for (TableRow row; cursor.Next(row);) {
        const FieldSpan span = LocateFields(f.format(), t.def, row.body).spans[c];
        if (!span.present || span.length < kLongValueFieldHeader) continue;
        const LongValueField lv = ParseLongValueField(FieldBytes(row.body, span));
        if (lv.kind != kind || lv.length < 4) continue;
        out.push_back({RowAt(f, row.header.page, row.header.row) + span.offset, lv,
                       LongValueRows(f, FieldBytes(row.body, span))});
    }
    return out;
}

// Where column `name`'s block lies in the file (definitions of one page).
std::size_t ColumnBlock(const PageFile& f, const Target& t, const std::string& name) {
    return At(f, t.def.page, t.def.columns[*t.def.ColumnIndex(name)].block_offset);
}
// The leaves of a table's index, in key order.
std::vector<std::uint32_t> Leaves(const PageFile& f, const Target& t, std::size_t index) {
    std::vector<std::uint32_t> leaves;
    for (std::uint32_t p : WalkIndex(f, t.def.physical_indexes.at(index).root_page).pages)
        if (f.ReadPage(p)[0] == kPageIndexLeaf) leaves.push_back(p);
    return leaves;
}
// Where the last byte of each entry of an index page lies, as its mask says:
// on a leaf the row byte of the entry's row pointer, on a node the last byte
// of its child page.
std::vector<std::size_t> EntryEnds(const PageFile& f, std::uint32_t leaf) {
    const Bytes page = f.ReadPage(leaf);
    std::vector<std::size_t> ends;
    const std::size_t maskEnd = f.format().idx_entries;
    for (std::size_t at = f.format().idx_mask; at < maskEnd; ++at)
        for (std::size_t bit = 0; bit < 8; ++bit)
            if ((page[at] >> bit & 1) != 0)
                ends.push_back(At(f, leaf, maskEnd + (at - f.format().idx_mask) * 8 + bit - 1));
    return ends;
}
// Deleted slots of `page` whose bytes are still a row of the table.
std::vector<std::size_t> DeletedRows(const PageFile& f, const Target& t, std::uint32_t page) {
    const DataPage parsed = DataPage::Parse(f.format(), page, f.ReadPage(page));
    std::vector<std::size_t> slots;
    for (std::size_t s = 0; s < parsed.slots().size(); ++s) {
        if (parsed.slots()[s].kind != SlotKind::kDeleted || parsed.slots()[s].length() == 0) continue;
        if (ErrorOf([&] { (void)LocateFields(f.format(), t.def, parsed.SlotBytes(s)); }) == 0) slots.push_back(s);
    }
    return slots;
}
void Undelete(Bytes& b, const PageFile& f, std::uint32_t page, std::size_t slot) {
    const std::size_t at = At(f, page, f.format().data_row_offsets + 2 * slot);
    PutLe16(b, at, static_cast<std::uint16_t>(Le16(b, at) & ~kRowDeleted));
}
// The first page of the table with at least three deleted rows, written back
// as it was before they were deleted; returns the page.
std::uint32_t WriteBackBeforeDeletes(Bytes& b, const PageFile& f, const Target& t) {
    for (std::uint32_t page : t.data) {
        const std::vector<std::size_t> slots = DeletedRows(f, t, page);
        if (slots.size() < 3) continue;
        for (std::size_t slot : slots) Undelete(b, f, page, slot);
        return page;
    }
    throw std::runtime_error("no page with deleted rows");
}

enum class Kind { kDerived, kPrimary, kInDoubt, kRefused };
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
const char* const kIndexJet3 = "mdb/jet3/indexTestV1997.mdb";  // Table3: 4 rows on one page, two indexes
const char* const kAceIndexes = "accdb/V2007/indexTestV2007.accdb";
const char* const kAceComplex = "accdb/V2007/complexDataTestV2007.accdb";  // Table1: 4 rows with items

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

const char* const kCustomers = "Customers";
const char* const kInvoices = "Invoices";

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
    {"stale entries, count two high, memo pages unlisted", kPost, "Customers", Kind::kInDoubt,
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
    // The last slot cut off a page whose last row is live and indexed: the
    // page reads as sound, and only the indexes tell the row was there.
    {"slot count cut short", kPost, "Invoices", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) {
         for (std::uint32_t page : t.data) {
             const std::size_t count = At(f, page, f.format().data_row_count);
             const std::size_t slots = Le16(b, count);
             if (slots == 0 || (Le16(b, At(f, page, f.format().data_row_offsets + 2 * (slots - 1))) & kRowDeleted) != 0)
                 continue;
             PutLe16(b, count, static_cast<std::uint16_t>(slots - 1));
             return 1u;
         }
         throw std::runtime_error("no page whose last row is live");
     }},
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
    {"data page marked free", kOverflow, "Table1", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) { MarkFree(b, f, t.data[0]); return 0u; }},
    // Rows or tables that vanish without a word.
    {"live row flagged deleted", kPost, kInvoices, Kind::kInDoubt,
     [](Bytes& b, const PageFile& f, const Target& t) { DeleteRows(b, f, t.data[3], 1); return 1u; }},
    {"catalog row's type changed", kPost, kCustomers, Kind::kInDoubt,
     [](Bytes& b, const PageFile& f, const Target&) {
         b[CatalogField(CatalogRowOf(f, kCustomers), "Type")] ^= 0x02;  // 1 becomes 3
         return 0u;
     }},
    {"catalog row's type changed and its definition page's type garbled", kPost, kCustomers, Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) { return Untable(b, f, t, kCustomers); },
     "should be a table definition"},
    {"the same to a table without rows", kPost, "MSysRelationships", Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) { return Untable(b, f, t, "MSysRelationships"); },
     "should be a table definition"},
    {"catalog row flagged deleted", kPost, kCustomers, Kind::kInDoubt,
     [](Bytes& b, const PageFile& f, const Target&) {
         const RowPointer row = CatalogRowOf(f, kCustomers).row;
         const std::size_t at = At(f, row.page, f.format().data_row_offsets + 2 * row.row);
         PutLe16(b, at, Le16(b, at) | kRowDeleted);
         return 0u;
     }},
    // Values that change without a word.
    {"memo pointing at another table's value", kPost, kCustomers, Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target&) {
         const LongValueAt memo = LongValues(f, kCustomers, "Notes", LongValueKind::kSingle).at(0);
         for (const LongValueAt& other : LongValues(f, "MSysObjects", "LvProp", LongValueKind::kSingle))
             if (other.lv.length >= memo.lv.length) { PutLe32(b, memo.field + kLongValueFieldPointer, other.lv.first.ToU32()); return 0u; }
         throw std::runtime_error("no long enough value in another table");
     }},
    {"memo pointing at another row's value", kPost, kCustomers, Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target&) {
         const std::vector<LongValueAt> memos = LongValues(f, kCustomers, "Notes", LongValueKind::kSingle);
         // The length too: the value reads whole, as the other row's text.
         PutLe32(b, memos.at(0).field, Le32(b, memos.at(1).field));
         PutLe32(b, memos.at(0).field + kLongValueFieldPointer, memos.at(1).lv.first.ToU32());
         return 0u;
     }},
    {"long-value page's slots moved by 8", kPost, kCustomers, Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target&) {
         const std::uint32_t page = LongValues(f, kCustomers, "Notes", LongValueKind::kSingle).at(0).lv.first.page;
         const DataPage lval = DataPage::Parse(f.format(), page, f.ReadPage(page));
         for (std::size_t s = 0; s < lval.slots().size(); ++s) {
             if (lval.slots()[s].kind != SlotKind::kLive) continue;
             const std::size_t at = At(f, page, f.format().data_row_offsets + 2 * s);
             PutLe16(b, at, static_cast<std::uint16_t>(Le16(b, at) + 8));
         }
         return 0u;
     }},
    {"two image chains crossed", kPost, "Scans", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target&) {
         const std::vector<LongValueAt> chains = LongValues(f, "Scans", "Image", LongValueKind::kChain);
         const RowPointer first = chains.at(0).rows.at(0);
         PutLe32(b, RowAt(f, first.page, first.row), chains.at(1).rows.at(1).ToU32());
         return 0u;
     }},
    {"inline memo's length lowered", kPost, kCustomers, Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target&) {
         const LongValueAt memo = LongValues(f, kCustomers, "Notes", LongValueKind::kInline).at(0);
         PutLe32(b, memo.field, Le32(b, memo.field) - 2);
         return 0u;
     }},
    // A damaged definition, which every row would be read through.
    {"column number set to the column count", kPost, kCustomers, Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) {
         PutLe16(b, ColumnBlock(f, t, "Notes") + f.format().col_number, static_cast<std::uint16_t>(t.def.columns.size()));
         return 0u;
     }, "\"Customers\""},
    {"Double made Single", kPost, kInvoices, Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) { b[ColumnBlock(f, t, "Amount") + f.format().col_type] = coltype::kSingle; return 0u; },
     "\"Invoices\""},
    {"fixed offset moved onto its neighbour", kPost, kCustomers, Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) {
         PutLe16(b, ColumnBlock(f, t, "Balance") + f.format().col_fixed_offset,
                 t.def.columns[*t.def.ColumnIndex("Created")].fixed_offset);
         return 0u;
     }, "\"Customers\""},
    {"Long made Currency", kPost, kCustomers, Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) { b[ColumnBlock(f, t, "CustomerID") + f.format().col_type] = coltype::kCurrency; return 0u; },
     "\"Customers\""},
    // Deleted rows that come back.
    {"deleted row's flag cleared", kPost, kInvoices, Kind::kInDoubt,
     [](Bytes& b, const PageFile& f, const Target& t) {
         for (std::uint32_t page : t.data)
             for (std::size_t slot : DeletedRows(f, t, page)) { Undelete(b, f, page, slot); return 0u; }
         throw std::runtime_error("no deleted row");
     }},
    {"data page written back from before its deletes", kPost, kInvoices, Kind::kInDoubt,
     [](Bytes& b, const PageFile& f, const Target& t) {
         WriteBackBeforeDeletes(b, f, t);
         return 0u;
     }},
    {"deleted rows back beside a counted row flagged deleted", kPost, kInvoices, Kind::kInDoubt,
     [](Bytes& b, const PageFile& f, const Target& t) {
         // The rows back, kept deleted, must not stand in for the counted row.
         const std::uint32_t undeleted = WriteBackBeforeDeletes(b, f, t);
         DeleteRows(b, f, t.data.front() != undeleted ? t.data.front() : t.data.back(), 1);
         return 0u;
     }},
    {"deleted rows back beside a zeroed page", kPost, kInvoices, Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) {
         // The zeroed page's rows are counted; the count must still tell the rows come back.
         const std::uint32_t undeleted = WriteBackBeforeDeletes(b, f, t);
         const std::uint32_t zeroed = t.data.front() != undeleted ? t.data.front() : t.data.back();
         Zero(b, f, zeroed);
         return LiveRows(f, zeroed);
     }},
    {"data page given to another table and listed in its map", kPost, kInvoices, Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) {
         const Target other = TableOf(f, kCustomers);
         const std::uint32_t page = t.data[2];
         PutLe32(b, At(f, page, f.format().page_owner), other.def.page);
         List(b, f, RowPointer::FromU32(other.def.owned_map), page);
         return LiveRows(f, page);
     }},
    // The table given the page has no index that could tell the rows are not its own.
    {"data page given to a table without an index and listed in its map", kAceIndexes, "Table2", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) {
         const Target other = TableOf(f, "MSysCompactError");
         if (!other.def.physical_indexes.empty()) throw std::runtime_error("MSysCompactError has an index");
         const std::uint32_t page = t.data.front();
         PutLe32(b, At(f, page, f.format().page_owner), other.def.page);
         List(b, f, RowPointer::FromU32(other.def.owned_map), page);
         return LiveRows(f, page);
     }},
    {"dropped table's page listed in place of the table's own", kIndexJet3, "Table3", Kind::kInDoubt,
     [](Bytes& b, const PageFile& f, const Target& t) {
         std::set<std::uint32_t> tables;
         for (const CatalogEntry& entry : ReadTables(f)) tables.insert(entry.table_page());
         for (std::uint32_t page = 1; page < f.page_count(); ++page) {
             const std::uint32_t owner = Le32(b, At(f, page, f.format().page_owner));
             if (b[At(f, page)] != kPageData || owner == 0 || owner == page || owner >= f.page_count() || tables.contains(owner) ||
                 LiveRows(f, page) == 0)
                 continue;
             PutLe32(b, At(f, page, f.format().page_owner), t.def.page);
             Unlist(b, f, RowPointer::FromU32(t.def.owned_map), t.data);
             List(b, f, RowPointer::FromU32(t.def.owned_map), page);
             return 0u;
         }
         throw std::runtime_error("no page of a dropped table");
     }},
    // Damage to what is derived from the rows: no row may be lost to it.
    {"primary key entries naming other rows", kPost, kCustomers, Kind::kInDoubt,
     [](Bytes& b, const PageFile& f, const Target& t) {
         for (std::size_t at : EntryEnds(f, Leaves(f, t, 0).at(1))) b[at] = static_cast<std::uint8_t>(b[at] ^ 0x01);
         return 0u;
     }},
    {"index entries naming other pages", kPost, kCustomers, Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) {
         for (std::size_t at : EntryEnds(f, Leaves(f, t, 0).at(1))) PutLe16(b, at - 2, 0x0003);  // page 3 (BE, low bytes)
         return 0u;
     }},
    {"an index entry naming a slot its page lacks", kPost, kInvoices, Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) { b[EntryEnds(f, Leaves(f, t, 0).at(0)).at(0)] = 0xF0; return 0u; }},
    {"a key byte raised by one", kPost, kInvoices, Kind::kInDoubt,
     [](Bytes& b, const PageFile& f, const Target& t) {
         const std::uint32_t leaf = Leaves(f, t, 0).at(1);
         b[EntryEnds(f, leaf).at(0) - 4] += 1;  // the first entry's last key byte
         return 0u;
     }},
    {"index node's child naming another index's leaf", kPost, kInvoices, Kind::kInDoubt,
     [](Bytes& b, const PageFile& f, const Target& t) {
         const std::uint32_t node = IndexPageOf(f, t, kPageIndexNode);
         PutBe32(b, EntryEnds(f, node).at(0) - 3, Leaves(f, t, 1).at(0));
         return 0u;
     }},
    {"table's usage map emptied", kPost, kCustomers, Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) {
         const RowPointer map = RowPointer::FromU32(t.def.owned_map);
         Unlist(b, f, map, ReadUsageMap(f, map).pages);
         return 0u;
     }},
    {"a bit of a catalog index leaf", kPost, "MSysObjects", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) {
         const std::uint32_t leaf = Leaves(f, t, 0).at(0);
         b[EntryEnds(f, leaf).at(2)] ^= 0x10;
         return 0u;
     }},
    {"an indexed value changed", kPost, kCustomers, Kind::kInDoubt,
     [](Bytes& b, const PageFile& f, const Target& t) {
         RowCursor cursor(f, t.def);
         TableRow row;
         cursor.Next(row);
         const FieldSpan span = LocateFields(f.format(), t.def, row.body).spans[*t.def.ColumnIndex("Name")];
         b[RowAt(f, row.header.page, row.header.row) + span.offset + span.length - 1] ^= 0x01;
         return 0u;
     }},
    {"index entry naming no system row", kOverflow, "MSysACEs", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) { b[FirstEntryRow(f, t.def.physical_indexes[0].root_page)] = 0xF0; return 0u; }},
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
    // Access 2007 and later: Table1 of the first has four indexes in Jet 4's order, the
    // second a text index in the 2010 order, whose weights are not all known.
    {"ACE: zeroed index leaf", kAceIndexes, "Table1", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, IndexPageOf(f, t, kPageIndexLeaf)); return 0u; }},
    {"ACE: cached count too low", kAceIndexes, "Table1", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) { PutLe32(b, At(f, t.def.page, f.format().tdef_num_rows), 1); return 0u; }},
    {"ACE: zeroed data page", kAceIndexes, "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, t.data[0]); return LiveRows(f, t.data[0]); }},
    {"ACE: a multi-value column's items zeroed", kAceComplex,
     "f_FCC66D28D650455480D923D1BD446BA6_multi-value-data", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, t.data[0]); return LiveRows(f, t.data[0]); }},
    {"ACE: an index in the 2010 order zeroed", "accdb/V2010/testEmoticonsV2010.accdb", "data", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, IndexPageOf(f, t, kPageIndexLeaf)); return 0u; }},
    {"ACE: complex-column counter below its rows", kAceComplex, "Table1", Kind::kDerived,
     [](Bytes& b, const PageFile& f, const Target& t) { PutLe32(b, At(f, t.def.page, kTableDefComplexAutoNumber), 1); return 0u; }},
    {"ACE: MSysComplexColumns naming no table", kAceComplex, "MSysComplexColumns", Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) {
         const DataPage page = DataPage::Parse(f.format(), t.data[0], f.ReadPage(t.data[0]));
         const RowFields fields = LocateFields(f.format(), t.def, page.SlotBytes(0));
         const FieldSpan& flat = fields.spans[*t.def.ColumnIndex("FlatTableID")];
         PutLe32(b, At(f, t.data[0], page.slots()[0].start + flat.offset), 1);
         return 0u;
     }, "names page 1 as its flat table"},
    // Rows lost or kept deleted: their items are left out of the copy, and said.
    {"ACE: a data page of a table with complex columns zeroed", kAceComplex, "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, t.data[0]); return LiveRows(f, t.data[0]); }},
    {"ACE: a row with complex items flagged deleted", kAceComplex, "Table1", Kind::kPrimary,
     [](Bytes& b, const PageFile& f, const Target& t) { DeleteRows(b, f, t.data[0], 2); return 2u; }},
    {"zeroed definition", kPost, "Invoices", Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, t.def.page); return 0u; }, "\"Invoices\""},
    {"zeroed catalog page", kPost, "MSysObjects", Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, t.data[0]); return 0u; }, "MSysObjects"},
    {"garbled system rows", kPost, "MSysACEs", Kind::kRefused,
     [](Bytes& b, const PageFile& f, const Target& t) { Zero(b, f, t.data[0], 600); return 0u; }, "\"MSysACEs\""},
};

// What a repair of a damaged file came to, as the table of outcomes shows it.
enum class Outcome { kRefused, kNothingLost, kLossReported, kSilent };
const char* OutcomeName(Outcome o) {
    constexpr const char* kNames[] = {"refused", "nothing lost", "loss reported", "silent"};
    return kNames[static_cast<int>(o)];
}

struct Attempt {
    Bytes sound, damaged;
    std::uint64_t at_risk = 0;
    long error = 0;
    std::string refusal;
    RepairReport report;
    std::optional<Contents> copy;  // what the repaired copy holds
    std::string unreported;        // against the sound original
    std::string copy_problem;      // the full check of the copy
    Outcome outcome = Outcome::kSilent;
};

Attempt RepairDamaged(const Damage& damage, const fs::path& dir) {
    Attempt a;
    a.sound = ReadBytes(TestData() / damage.file);
    const PageFile original = PageFile::FromMemory(a.sound);
    a.damaged = a.sound;
    a.at_risk = damage.spoil(a.damaged, original, TableOf(original, damage.table));
    WriteBytes(dir / "damaged.mdb", a.damaged);
    // For comparing repairs of one build with another's.
    if (const char* keep = std::getenv("DORVANE_KEEP_DAMAGED"); keep != nullptr && *keep != '\0')
        WriteBytes(fs::path(keep) / (TestName(damage.name) + ".mdb"), a.damaged);
    fs::remove(dir / "out.mdb");
    a.error = ErrorOf([&] { RepairFile(dir / "damaged.mdb", dir / "out.mdb", a.report); }, &a.refusal);
    if (a.error != 0) {
        a.outcome = Outcome::kRefused;
        return a;
    }
    const PageFile copy = PageFile::Open(dir / "out.mdb");
    const CheckReport check = CheckDatabase(copy);
    if (!check.ok()) a.copy_problem = check.problems.front();
    a.copy = Content(copy);
    a.unreported = UnreportedChange(Content(original), *a.copy, a.report);
    const bool said = !a.report.LossSummary().empty() || !a.report.lost_tables.empty();
    a.outcome = !a.unreported.empty() ? Outcome::kSilent : said ? Outcome::kLossReported : Outcome::kNothingLost;
    return a;
}

class Repair : public ::testing::TestWithParam<Damage> {};

TEST_P(Repair, KeepsEveryReadableRowAndReportsEveryLoss) {
    const Damage& damage = GetParam();
    TempFolder dir;
    const Attempt a = RepairDamaged(damage, dir.path());
    // One line of the table of every kind's outcome ("outcome:" in the output).
    std::cout << "outcome: " << damage.name << ": " << OutcomeName(a.outcome) << " (" << a.report.RowsLost()
              << " rows lost, " << a.report.ValuesCut() << " values cut, " << a.report.RowsInDoubt()
              << " rows in doubt)\n";
    ASSERT_TRUE(a.damaged != a.sound);
    EXPECT_TRUE(ReadBytes(dir / "damaged.mdb") == a.damaged);
    // Compaction refuses the damage repair exists for: a copy would keep it or lose rows.
    if (damage.kind != Kind::kDerived) {
        EXPECT_NE(ErrorOf([&] { CompactFile(dir / "damaged.mdb", dir / "compacted.mdb"); }), 0);
        EXPECT_FALSE(fs::exists(dir / "compacted.mdb"));
    }
    const CheckReport check = CheckDatabase(PageFile::FromMemory(a.damaged));
    if (damage.kind == Kind::kRefused) {
        EXPECT_EQ(a.error, errc::kCorrupt) << a.refusal;
        EXPECT_NE(a.refusal.find(damage.refusal), std::string::npos) << a.refusal;
        EXPECT_FALSE(fs::exists(dir / "out.mdb"));
        EXPECT_FALSE(check.ok());  // never an empty, sound file
        return;
    }
    ASSERT_EQ(a.error, 0) << a.refusal;
    EXPECT_EQ(a.copy_problem, "");
    EXPECT_EQ(a.unreported, "");
    // One judge: whatever the repair reports, the check named, by its table.
    const std::string said = a.report.LossSummary();
    for (const TableRepair& t : a.report.tables) {
        if (said.find("\"" + t.name + "\"") == std::string::npos) continue;
        EXPECT_TRUE(std::ranges::any_of(
            check.problems, [&](const std::string& p) { return p.find("'" + t.name + "'") != std::string::npos; }))
            << t.name << ": " << said << "\nthe check: " << ::testing::PrintToString(check.problems);
    }
    EXPECT_EQ(check.ok(), a.report.source_sound);
    // Told in the order a repair lists the tables, though a table salvaged
    // ahead is written last.
    std::vector<std::string> listed;
    const PageFile damaged = PageFile::FromMemory(a.damaged);
    for (const CatalogEntry& e : compact::ReadTablesForRepair(damaged, PageCensus(damaged)).entries)
        listed.push_back(e.name);
    std::vector<std::ptrdiff_t> told;
    for (const TableRepair& t : a.report.tables)
        if (const auto at = std::ranges::find(listed, t.name); at != listed.end()) told.push_back(at - listed.begin());
    EXPECT_TRUE(std::ranges::is_sorted(told)) << ::testing::PrintToString(told);
    switch (damage.kind) {
        case Kind::kDerived: {
            // Damage to what is derived from the rows changes none of them.
            EXPECT_TRUE(*a.copy == Content(PageFile::FromMemory(a.sound))) << "the content differs";
            EXPECT_EQ(said, "");
            break;
        }
        case Kind::kInDoubt:
            // Said, so that the damaged original is kept; nothing the sound
            // original lacks.
            EXPECT_NE(said, "");
            EXPECT_EQ(a.report.RowsLost(), 0u) << said;  // in doubt, never dropped
            break;
        case Kind::kPrimary:
        case Kind::kRefused: {
            for (const auto& [table, rows] : Content(PageFile::FromMemory(a.sound))) {
                const std::uint64_t lost = rows.rows.size() - a.copy->at(table).rows.size();
                // Beside the rows at risk, only the items of rows lost, each said.
                std::uint64_t items = 0;
                for (const TableRepair& t : a.report.tables)
                    if (t.name == table) items = t.items_orphaned;
                EXPECT_LE(lost, (table == damage.table ? a.at_risk : 0u) + items) << table;
            }
            EXPECT_NE(said, "");
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Damages, Repair, ::testing::ValuesIn(kDamages),
                         [](const auto& p) { return TestName(p.param.name); });

// Items are told as their column's, with the rows they belonged to: row2 and
// row3 hold the six multi-values; row2's five items go with the row.
TEST(RepairOfItems, NamesTheColumnAndTheRowsThatLostThem) {
    const auto said = [](const std::string& name) {
        const Damage& damage = *std::ranges::find_if(kDamages, [&](const Damage& d) { return d.name == name; });
        TempFolder dir;
        return RepairDamaged(damage, dir.path()).report.LossSummary();
    };
    EXPECT_EQ(said("ACE: a multi-value column's items zeroed"),
              "up to 6 items of column \"multi-value-data\" of table \"Table1\" may be lost; 2 of its rows lost items");
    const std::string deleted = said("ACE: a row with complex items flagged deleted");
    for (const char* part : {"left out 2 items of column \"multi-value-data\" of table \"Table1\" whose row is gone",
                             "left out 2 items of column \"attach-data\"", "kept deleted 2 rows of table \"Table1\""})
        EXPECT_NE(deleted.find(part), std::string::npos) << deleted;
}

// The unattended run on a back-end with damage of each kind a repair keeps
// in doubt or loses: the damaged original is kept beside the repaired
// database byte for byte, and the run ends with 2. Damage that cannot be
// repaired fails the step (1) and leaves the back-end as it was.
TEST(UnattendedRepair, KeepsTheDamagedOriginalAndEndsWithTwo) {
    const std::pair<const char*, int> kinds[] = {
        {"live row flagged deleted", 2},
        {"catalog row's type changed", 2},
        {"memo pointing at another row's value", 2},
        {"inline memo's length lowered", 2},
        {"deleted row's flag cleared", 2},
        {"data page given to another table and listed in its map", 2},
        {"Long made Currency", 1},
    };
    for (const auto& [kind, status] : kinds) {
        const std::string name = kind;
        const Damage& damage = *std::ranges::find_if(kDamages, [&](const Damage& d) { return d.name == name; });
        SCOPED_TRACE(kind);
        TempFolder home;
        for (const char* folder : {"app", "data", "backup", "config"}) fs::create_directories(home / folder);
        Bytes bytes = ReadBytes(TestData() / damage.file);
        const PageFile sound = PageFile::FromMemory(bytes);
        damage.spoil(bytes, sound, TableOf(sound, damage.table));
        WriteBytes(home / "data" / "post_db.mdb", bytes);
        Copy(home, TestData() / "mdb/jet4/testV2000.mdb", "app/Bresk.mde");
        const std::string env = "env XDG_CONFIG_HOME=" + Quote(home / "config") + " ";
        for (const std::string& setting :
             {std::string("TitleBar sqlver 0"), "Locations APPPATH " + Quote(home / "app"),
              "Locations DbPath " + Quote(home / "data"), "Locations BKpath " + Quote(home / "backup")})
            ASSERT_EQ(RunCommand(env + DORVANE_SETTINGS_BIN + " set Bresk " + setting).status, 0);
        EXPECT_EQ(RunCommand(env + DORVANE_BIN + " /silent /Bresk 2>/dev/null").status, status);
        std::vector<fs::path> kept;
        for (const auto& entry : fs::directory_iterator(home / "data"))
            if (entry.path().filename().string().starts_with("post_db_damaged_")) kept.push_back(entry.path());
        if (status == 2) {
            ASSERT_EQ(kept.size(), 1u);
            EXPECT_TRUE(ReadBytes(kept[0]) == bytes);
            EXPECT_FALSE(ReadBytes(home / "data" / "post_db.mdb") == bytes);
        } else {
            EXPECT_TRUE(kept.empty());
            EXPECT_TRUE(ReadBytes(home / "data" / "post_db.mdb") == bytes);
        }
    }
}

}  // namespace
}  // namespace dorvane::jet
