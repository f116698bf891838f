// The verification that stands between a wrong copy and the user's data. A
// copy made wrong just before it is verified (through the compaction's test
// seam) is refused as not matching its source and deleted; the source stays
// as it was. Each case spoils one thing the writer could get wrong.

#include <gtest/gtest.h>

#include "engines/jet/compact/compaction_seam.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/usage_map.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using namespace testing;

// The copy's Customers table and where things of it lie, read by the reader.
struct CopyFacts {
    PageFile file;
    TableDef customers;
    std::uint32_t data_page;
    std::size_t at(std::uint32_t page, std::size_t offset) const { return page * file.page_size() + offset; }
};

CopyFacts Facts(const Bytes& copy) {
    PageFile file = PageFile::FromMemory(copy);
    TableDef def = ReadTableDef(file, FindTable(ReadTables(file), "Customers")->table_page());
    const std::uint32_t page = TableDataPages(file, def).front();
    return {std::move(file), std::move(def), page};
}

// Where row `row` of data page `page` starts.
std::size_t RowStart(const PageFile& file, std::uint32_t page, std::size_t row) {
    return DataPage::Parse(file.format(), page, file.ReadPage(page)).slots().at(row).start;
}

TEST(VerifyCopy, AWrongCopyIsRefusedAndDeleted) {
    const std::pair<std::function<void(Bytes&, const CopyFacts&)>, const char*> cases[] = {
        {[](Bytes& b, const CopyFacts& c) { b[c.at(c.data_page + 1, 0) - 1] ^= 0x01; },  // the first row's null mask
         "table at page 30, row 1, column"},
        {[](Bytes& b, const CopyFacts& c) {  // the last data byte of a long value's first row
             for (std::uint32_t p = 2; p < c.file.page_count(); ++p)
                 if (c.file.ReadPage(p)[0] == kPageData && Le32(c.file.ReadPage(p), 4) == kLongValueOwner) {
                     b[c.at(p + 1, 0) - 1] ^= 0x01;
                     return;
                 }
         }, "the long value of column"},
        {[](Bytes& b, const CopyFacts& c) {  // the row of an index's first entry, stored whole
             const std::uint32_t leaf = WalkIndex(c.file, c.customers.physical_indexes[0].root_page).pages.back();
             const IndexPage page = ParseIndexPage(c.file.format(), leaf, c.file.ReadPage(leaf));
             b[c.at(leaf, c.file.format().idx_entries + page.entries[0].key.size() + 3)] ^= 0x01;
         }, "index 0"},
        {[](Bytes& b, const CopyFacts& c) {  // the table's map without its first data page
             const RowPointer record = RowPointer::FromU32(c.customers.owned_map);
             const std::size_t map = c.at(record.page, RowStart(c.file, record.page, record.row));
             const std::uint32_t bit = c.data_page - Le32(b, map + 1);
             b[map + kUsageMapInlineHeader + bit / 8] &= static_cast<std::uint8_t>(~(1u << (bit % 8)));
         }, "table at page 30, row 1"},
        {[](Bytes& b, const CopyFacts& c) {  // page 1: a page in use marked free
             const std::size_t map = c.at(1, RowStart(c.file, 1, 0)) + kUsageMapInlineHeader;
             b[map + c.data_page / 8] |= static_cast<std::uint8_t>(1u << (c.data_page % 8));
         }, "is in use but marked free"},
        {[](Bytes& b, const CopyFacts& c) { b.resize(b.size() - c.file.page_size()); },  // one page too few
         "is outside the file"},
    };
    for (const auto& [spoil, detail] : cases) {
        SCOPED_TRACE(detail);
        TempFolder dir;
        const fs::path source = dir.Copy(TestData() / "products/post_db.mdb");
        const Bytes original = ReadBytes(source);
        bool spoiled = false;
        const BeforeVerification hook = [&](const fs::path& copy) {
            Bytes bytes = ReadBytes(copy);
            const Bytes written = bytes;
            spoil(bytes, Facts(written));
            spoiled = bytes != written;
            WriteBytes(copy, bytes);
        };
        CompactSummary summary;
        std::string description;
        EXPECT_EQ(ErrorNumberOf([&] { CompactFile(source, dir / "copy.mdb", summary, hook); }, &description),
                  errc::kVerifyFailed);
        EXPECT_TRUE(spoiled);
        EXPECT_NE(description.find("compacted copy does not match the source"), std::string::npos) << description;
        EXPECT_NE(description.find(detail), std::string::npos) << description;
        EXPECT_FALSE(fs::exists(dir / "copy.mdb"));
        EXPECT_TRUE(ReadBytes(source) == original);
    }
}

}  // namespace
}  // namespace dorvane::jet
