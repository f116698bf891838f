// dorvane-jet as administrators use it, and the checker on files with a
// planted inconsistency (a checker that passes everything would be useless).

#include <gtest/gtest.h>

#include <fstream>

#include "engines/jet/format/catalog.h"
#include "engines/jet/checker.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/usage_map.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using testing::ProductFile;
using testing::RunCommand;
using testing::ShellQuote;
using testing::TempFolder;

testing::CommandResult Tool(const std::string& arguments) {
    return RunCommand(ShellQuote(DORVANE_JET_TOOL) + " " + arguments + " 2>/dev/null");
}

std::string Quoted(const std::filesystem::path& path) { return ShellQuote(path.string()); }

TEST(JetToolTest, ExportsTablesAsRfc4180Csv) {
    const auto result = Tool("export " + Quoted(ProductFile("post_db.mdb")) + " DOCLIB");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output,
              "ID,LibCode,DocumentPath,Description\r\n"
              "1,lib2,T:\\Scans,Scanned post\r\n"
              "2,lib1,S:\\Docs,Documents of the practice\r\n"
              "3,lib3,U:\\Archive,\r\n");
}

TEST(JetToolTest, ListsQueriesAndExplains) {
    const std::string file = Quoted(ProductFile("post_db.mdb"));
    EXPECT_EQ(Tool("tables " + file).output, "doclib\nCustomers\nInvoices\nScans\n");
    const auto all = Tool("tables " + file + " --all").output;
    EXPECT_NE(all.find("MSysObjects\n"), std::string::npos);
    EXPECT_NE(all.find("Scans\n"), std::string::npos);
    EXPECT_EQ(Tool("query " + file + " \"SELECT DocumentPath, LibCode FROM doclib WHERE LibCode='lib3'\"").output,
              "DocumentPath,LibCode\r\nU:\\Archive,lib3\r\n");
    const auto schema = Tool("schema " + file + " doclib");
    EXPECT_EQ(schema.status, 0);
    EXPECT_NE(schema.output.find("DocumentPath"), std::string::npos);
    EXPECT_EQ(Tool("--help").status, 0);
    EXPECT_NE(Tool("--help").output.find("check FILE"), std::string::npos);
    EXPECT_EQ(Tool("frobnicate x").status, 2);
    EXPECT_EQ(Tool("export " + file + " NoSuchTable").status, 2);
    EXPECT_EQ(Tool("query " + file + " \"DELETE FROM doclib\"").status, 2);
    EXPECT_EQ(Tool("check /nonexistent/file.mdb").status, 2);
}

TEST(JetToolTest, CheckPassesOnARealFile) {
    const auto result = Tool("check " + Quoted(ProductFile("doclib-two.mdb")));
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("OK"), std::string::npos);
}

Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class PlantedDamage : public ::testing::Test {
protected:
    void SetUp() override {
        bytes_ = ReadAll(ProductFile("doclib-two.mdb"));
        const PageFile file = PageFile::FromMemory(bytes_);
        const auto customers = FindTable(ReadTables(file), "Customers");
        ASSERT_TRUE(customers.has_value());
        def_ = ReadTableDef(file, customers->table_page());
        dataPage_ = TableDataPages(file, def_).front();
        ASSERT_FALSE(def_.physical_indexes.empty());
    }
    CheckReport Check() const { return CheckDatabase(PageFile::FromMemory(bytes_)); }
    static bool Mentions(const CheckReport& report, const std::string& text) {
        for (const std::string& problem : report.problems) {
            if (problem.find(text) != std::string::npos) return true;
        }
        return false;
    }
    Bytes bytes_;
    TableDef def_;
    std::uint32_t dataPage_ = 0;
};

TEST_F(PlantedDamage, APageInUseMarkedFreeIsFound) {
    // Page 1 row 0 is the free-page map: inline, start page 0 in these files.
    const std::size_t row0 = Le16(bytes_, 4096 + 14) & 0x1FFF;
    ASSERT_EQ(bytes_[4096 + row0], kUsageMapInline);
    ASSERT_EQ(Le32(bytes_, 4096 + row0 + 1), 0u);
    bytes_[4096 + row0 + 5 + dataPage_ / 8] |= static_cast<std::uint8_t>(1u << (dataPage_ % 8));
    const CheckReport report = Check();
    EXPECT_FALSE(report.ok());
    EXPECT_TRUE(Mentions(report, "marked free"));
    const auto status = [&] {
        TempFolder folder;
        std::ofstream(folder.path() / "damaged.mdb", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
        return Tool("check " + Quoted(folder.path() / "damaged.mdb")).status;
    }();
    EXPECT_EQ(status, 1);
}

TEST_F(PlantedDamage, AnIndexEntryNamingNoRowIsFound) {
    const PageFile file = PageFile::FromMemory(bytes_);
    const IndexWalk walk = WalkIndex(file, def_.physical_indexes[0].root_page);
    // The first entry of a leaf is stored whole; its last byte is the row slot.
    std::uint32_t leaf = 0;
    for (std::uint32_t page : walk.pages) {
        if (bytes_[static_cast<std::size_t>(page) * 4096] == kPageIndexLeaf) leaf = page;
    }
    ASSERT_NE(leaf, 0u);
    const std::size_t base = static_cast<std::size_t>(leaf) * 4096;
    const Format& f = file.format();
    std::size_t end = 0;
    while ((bytes_[base + f.idx_mask + end / 8] & (1u << (end % 8))) == 0) ++end;
    bytes_[base + f.idx_entries + end - 1] = 0xF0;
    const CheckReport report = Check();
    EXPECT_TRUE(Mentions(report, "which is not a row of the table"));
}

}  // namespace
}  // namespace dorvane::jet
