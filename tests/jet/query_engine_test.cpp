// Queries and the engine adapter as the document-library lookup uses them:
// OpenDatabase on a Windows-form path, an unnamed query definition, MoveFirst,
// the DocumentPath field, Close.

#include <gtest/gtest.h>

#include <cstdlib>

#include "core/error.h"
#include "engines/jet/jet_engine.h"
#include "engines/jet/query.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using namespace testing;

constexpr const char* kLookup = "SELECT DocumentPath FROM doclib WHERE LibCode='lib1'";

TEST(SelectParserTest, AcceptsNamesInBracketsAndQuotedTexts) {
    const SelectQuery q = ParseSelect("select [Document Path], b from [my table] where a = 'it''s' and [c d] = \"x\";");
    EXPECT_EQ(q.columns, (std::vector<std::string>{"Document Path", "b"}));
    EXPECT_EQ(q.table, "my table");
    EXPECT_EQ(q.conditions, (std::vector<std::pair<std::string, std::string>>{{"a", "it's"}, {"c d", "x"}}));
    EXPECT_TRUE(ParseSelect("SELECT * FROM t").columns.empty());
}

TEST(SelectParserTest, RefusesEverythingElseAsSyntaxErrors) {
    for (const char* sql : {"", "DELETE FROM doclib", "SELECT FROM doclib", "SELECT a FROM", "SELECT a, FROM t",
                            "SELECT a FROM t WHERE a > 'x'", "SELECT a FROM t WHERE a = 1",
                            "SELECT a FROM t WHERE a = 'x' OR b = 'y'", "SELECT a FROM t ORDER BY a",
                            "SELECT a FROM t WHERE a = 'open", "SELECT [a FROM t", "SELECT a FROM t; DROP"}) {
        EXPECT_EQ(ErrorNumberOf([&] { ParseSelect(sql); }), errc::kSyntax) << sql;
    }
}

// The steps the document-library lookup takes: the value it finds, "<Null>",
// or the number of the error that stops it.
std::string Lookup(FileDatabaseEngine& engine, const std::string& path, const std::string& sql) {
    try {
        auto db = engine.OpenDatabase(path);
        auto query = db->CreateQueryDef("");
        query->SetSQL(sql);
        auto records = query->OpenRecordset();
        records->MoveFirst();
        const FieldValue value = records->Field("DocumentPath");
        records->Close();
        db->Close();
        return value.isNull ? "<Null>" : value.text;
    } catch (const Error& error) {
        return "error " + std::to_string(error.number());
    }
}

std::string Failed(long error) { return "error " + std::to_string(error); }

class EngineTest : public ::testing::Test {
protected:
#ifdef _WIN32
    void SetUp() override { fs::create_directories(folder_ / "c/Bresk"); }
    std::string Product(const std::string& name) const { return (folder_ / "c/Bresk" / name).string(); }
#else
    void SetUp() override {
        // Drive C: of the products' paths maps to the temporary folder.
        fs::create_directories(folder_ / "dosdevices");
        fs::create_directory_symlink(folder_ / "c", folder_ / "dosdevices" / "c:");
        fs::create_directories(folder_ / "c/Bresk");
        ::setenv("DORVANE_DOSDEVICES", (folder_ / "dosdevices").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("DORVANE_DOSDEVICES"); }
    std::string Product(const std::string& name) const { return "C:\\Bresk\\" + name; }
#endif
    std::string Place(const std::string& product_file) {
        folder_.Copy(TestData() / "products" / product_file, "c/Bresk/post_db.mdb");
        return Product("post_db.mdb");
    }
    TempFolder folder_;
    std::unique_ptr<FileDatabaseEngine> engine_ = MakeEngine();
};

TEST_F(EngineTest, LookupsAndTheirErrors) {
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"post_db.mdb", kLookup, "S:\\Docs"},
        {"doclib-two.mdb", kLookup, "S:\\Docs"},
        {"no-doclib.mdb", kLookup, Failed(errc::kItemNotFound)},
        {"doclib-none.mdb", kLookup, Failed(errc::kNoCurrentRecord)},
        {"doclib-null.mdb", kLookup, "<Null>"},
        {"post_db.mdb", "SELECT Nope FROM doclib", Failed(errc::kItemNotFound)},
        {"post_db.mdb", "UPDATE doclib SET x = 1", Failed(errc::kSyntax)},
        // Conditions ignore case and combine.
        {"post_db.mdb", "select documentpath from DOCLIB where libcode = 'LIB3'", "U:\\Archive"},
        {"post_db.mdb", "SELECT DocumentPath FROM doclib WHERE LibCode='lib2' AND DocumentPath='t:\\scans'", "T:\\Scans"},
        {"post_db.mdb", "SELECT DocumentPath FROM doclib WHERE LibCode='lib2' AND LibCode='lib1'", Failed(errc::kNoCurrentRecord)},
        // Without a condition the stored order decides the first row.
        {"post_db.mdb", "SELECT * FROM doclib", "T:\\Scans"},
    };
    for (const auto& [product, sql, expected] : cases) EXPECT_EQ(Lookup(*engine_, Place(product), sql), expected) << product << ": " << sql;
    EXPECT_EQ(Lookup(*engine_, Product("missing.mdb"), kLookup), Failed(errc::kFileNotFound));
#ifndef _WIN32
    EXPECT_EQ(Lookup(*engine_, "Q:\\nowhere\\post_db.mdb", kLookup), Failed(errc::kFileNotFound));
#endif
}

TEST_F(EngineTest, ClosedObjectsFailCleanly) {
    auto db = engine_->OpenDatabase(Place("post_db.mdb"));
    auto query = db->CreateQueryDef("");
    query->SetSQL(kLookup);
    auto records = query->OpenRecordset();
    EXPECT_EQ(ErrorNumberOf([&] { records->Field("Missing"); }), errc::kItemNotFound);
    records->Close();
    EXPECT_NE(ErrorNumberOf([&] { records->MoveFirst(); }), 0);
    db->Close();
    EXPECT_NE(ErrorNumberOf([&] { query->OpenRecordset(); }), 0);
    EXPECT_NE(ErrorNumberOf([&] { db->CreateQueryDef(""); }), 0);
    EXPECT_EQ(ErrorNumberOf([&] { engine_->OpenDatabase(Place("post_db.mdb"))->CreateQueryDef("saved"); }),
              errc::kNotAvailable);
}

}  // namespace
}  // namespace dorvane::jet
