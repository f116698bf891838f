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

using testing::ProductFile;
using testing::ErrorNumberOf;
using testing::TempFolder;

constexpr const char* kLookup = "SELECT DocumentPath FROM doclib WHERE LibCode='lib1'";

TEST(SelectParserTest, AcceptsTheProgramsQueryAndALittleMore) {
    SelectQuery q = ParseSelect(kLookup);
    EXPECT_EQ(q.columns, (std::vector<std::string>{"DocumentPath"}));
    EXPECT_EQ(q.table, "doclib");
    ASSERT_EQ(q.conditions.size(), 1u);
    EXPECT_EQ(q.conditions[0], (std::pair<std::string, std::string>{"LibCode", "lib1"}));

    q = ParseSelect("select [Document Path], b from [my table] where a = 'it''s' and [c d] = \"x\";");
    EXPECT_EQ(q.columns, (std::vector<std::string>{"Document Path", "b"}));
    EXPECT_EQ(q.table, "my table");
    ASSERT_EQ(q.conditions.size(), 2u);
    EXPECT_EQ(q.conditions[0].second, "it's");
    EXPECT_EQ(q.conditions[1].first, "c d");

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

struct LookupResult {
    long error = 0;
    FieldValue value;
};

// The steps the document-library lookup takes, stopping at the first error.
LookupResult Lookup(FileDatabaseEngine& engine, const std::string& path, const std::string& sql = kLookup) {
    LookupResult result;
    try {
        auto db = engine.OpenDatabase(path);
        auto query = db->CreateQueryDef("");
        query->SetSQL(sql);
        auto records = query->OpenRecordset();
        records->MoveFirst();
        result.value = records->Field("DocumentPath");
        records->Close();
        db->Close();
    } catch (const Error& error) {
        result.error = error.number();
    }
    return result;
}

class EngineTest : public ::testing::Test {
protected:
#ifdef _WIN32
    void SetUp() override { std::filesystem::create_directories(folder_.path() / "c" / "Bresk"); }
    std::string Product(const std::string& name) const { return (folder_.path() / "c" / "Bresk" / name).string(); }
#else
    void SetUp() override {
        // Drive C: of the products' paths maps to the temporary folder.
        std::filesystem::create_directories(folder_.path() / "dosdevices");
        std::filesystem::create_directory_symlink(folder_.path() / "c", folder_.path() / "dosdevices" / "c:");
        std::filesystem::create_directories(folder_.path() / "c" / "Bresk");
        ::setenv("DORVANE_DOSDEVICES", (folder_.path() / "dosdevices").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("DORVANE_DOSDEVICES"); }
    std::string Product(const std::string& name) const { return "C:\\Bresk\\" + name; }
#endif
    std::string Place(const std::string& product_file) {
        std::filesystem::copy_file(ProductFile(product_file), folder_.path() / "c" / "Bresk" / "post_db.mdb",
                                   std::filesystem::copy_options::overwrite_existing);
        return Product("post_db.mdb");
    }
    TempFolder folder_;
    std::unique_ptr<FileDatabaseEngine> engine_ = MakeEngine();
};

TEST_F(EngineTest, LookupsAndTheirErrors) {
    struct Case {
        const char* product;  // copied in as post_db.mdb; null: `path` as given
        std::string path;
        std::string sql;
        long error;
        const char* text;  // null: a Null value
    };
    const std::vector<Case> cases = {
        {"post_db.mdb", "", kLookup, 0, "S:\\Docs"},
        {"doclib-two.mdb", "", kLookup, 0, "S:\\Docs"},
        {"no-doclib.mdb", "", kLookup, errc::kItemNotFound, nullptr},
        {"doclib-none.mdb", "", kLookup, errc::kNoCurrentRecord, nullptr},
        {"doclib-null.mdb", "", kLookup, 0, nullptr},
        {nullptr, Product("missing.mdb"), kLookup, errc::kFileNotFound, nullptr},
#ifndef _WIN32
        {nullptr, "Q:\\nowhere\\post_db.mdb", kLookup, errc::kFileNotFound, nullptr},
#endif
        {"post_db.mdb", "", "SELECT Nope FROM doclib", errc::kItemNotFound, nullptr},
        {"post_db.mdb", "", "UPDATE doclib SET x = 1", errc::kSyntax, nullptr},
        // Conditions ignore case and combine.
        {"post_db.mdb", "", "select documentpath from DOCLIB where libcode = 'LIB3'", 0, "U:\\Archive"},
        {"post_db.mdb", "", "SELECT DocumentPath FROM doclib WHERE LibCode='lib2' AND DocumentPath='t:\\scans'", 0,
         "T:\\Scans"},
        {"post_db.mdb", "", "SELECT DocumentPath FROM doclib WHERE LibCode='lib2' AND LibCode='lib1'",
         errc::kNoCurrentRecord, nullptr},
        // Without a condition the stored order decides the first row.
        {"post_db.mdb", "", "SELECT * FROM doclib", 0, "T:\\Scans"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.product ? c.product : c.path) + ": " + c.sql);
        const LookupResult r = Lookup(*engine_, c.product ? Place(c.product) : c.path, c.sql);
        EXPECT_EQ(r.error, c.error);
        if (c.error != 0) continue;
        EXPECT_EQ(r.value.isNull, c.text == nullptr);
        if (c.text) {
            EXPECT_EQ(r.value.text, c.text);
        }
    }
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
