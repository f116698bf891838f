// The check of a copy against its source catches changed content: a row byte
// or a long value byte altered in an otherwise good copy is reported as
// "compacted copy does not match the source".

#include <gtest/gtest.h>

#include <fstream>

#include "core/error.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/compact/compaction.h"
#include "engines/jet/compact/verify.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_scan.h"
#include "tests/jet_compact/test_files.h"

namespace dorvane::testing {
namespace {

void FlipByte(const std::filesystem::path& file, std::uint64_t offset) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(static_cast<std::streamoff>(offset));
    const char c = static_cast<char>(f.get() ^ 0x01);
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(c);
}

std::vector<jet::TableDef> Tables(const jet::PageFile& f) {
    std::vector<jet::TableDef> out;
    for (const auto& t : jet::ReadTables(f)) out.push_back(jet::ReadTableDef(f, t.table_page()));
    return out;
}

class VerifyCopy : public ::testing::Test {
protected:
    void SetUp() override {
        source = CopyInto(dir, TestData() / "products" / "post_db.mdb");
        copy = dir / "copy.mdb";
        jet::CompactFile(source, copy);
    }
    std::string Verify() {
        const jet::PageFile a = jet::PageFile::Open(source);
        const jet::PageFile b = jet::PageFile::Open(copy);
        try {
            jet::compact::VerifyCopy(a, Tables(a), b);
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errc::kVerifyFailed);
            return e.description();
        }
        return "";
    }
    TempDir dir;
    std::filesystem::path source, copy;
};

TEST_F(VerifyCopy, AChangedRowIsFound) {
    std::uint64_t at = 0;
    {
        const jet::PageFile b = jet::PageFile::Open(copy);
        for (const auto& t : jet::ReadTables(b)) {
            if (t.IsSystem()) continue;
            const auto pages = jet::TableDataPages(b, jet::ReadTableDef(b, t.table_page()));
            if (pages.empty()) continue;
            const auto page = jet::DataPage::Parse(b.format(), pages.front(), b.ReadPage(pages.front()));
            // A byte in the middle of the first row.
            at = std::uint64_t{pages.front()} * b.page_size() + page.slots()[0].start + page.slots()[0].length() / 2;
            break;
        }
    }
    ASSERT_NE(at, 0U);
    FlipByte(copy, at);
    EXPECT_NE(Verify().find("compacted copy does not match the source"), std::string::npos);
}

TEST_F(VerifyCopy, AChangedLongValueIsFound) {
    std::uint64_t at = 0;
    {
        const jet::PageFile b = jet::PageFile::Open(copy);
        for (std::uint32_t p = 2; p < b.page_count() && at == 0; ++p) {
            const auto bytes = b.ReadPage(p);
            if (bytes[0] == 0x01 && std::string(bytes.begin() + 4, bytes.begin() + 8) == "LVAL")
                at = std::uint64_t{p + 1} * b.page_size() - 1;  // the last data byte of row 0
        }
    }
    ASSERT_NE(at, 0U);
    FlipByte(copy, at);
    EXPECT_NE(Verify().find("long value"), std::string::npos);
}

}  // namespace
}  // namespace dorvane::testing
