// The document-library lookup of a SQL Server product, through the real client
// and a real driver: SQLite's, registered under the name "SQL Server" so that
// the connection string the lookup builds selects it (its "database" is the
// file; it ignores "server").
#include <gtest/gtest.h>

#include "engines/odbc/odbc_client.h"
#include "operations/operations.h"
#include "tests/odbc/doclib_database.h"
#include "tests/odbc/odbc_test_support.h"
#include "tests/support/fakes.h"

namespace dorvane::odbc {
namespace {

class LookupThroughOdbc : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::RegisterTestDrivers(DORVANE_TEST_SQLITE_DRIVER); }

    void SetUp() override {
        rt.ctx.Product = "Bresk";
        rt.ctx.DbKind = 1;
        settings.Set("Bresk", "Locations", "SQLServer", "db01");
    }

    // Makes a database whose doclib holds `rows` and points the settings at it.
    void UseDatabase(const std::string& name, const std::vector<std::string>& rows) {
        const std::string path = (dir.path() / (name + ".db")).string();
        testing::MakeDoclib(*client, path, rows);
        settings.Set(rt.ctx.Product, "Locations", "DbaseName", path);
    }

    testing::TempDir dir;
    std::unique_ptr<SqlClient> client = MakeSqlClient();
    dorvane::testing::FakeSettings settings;
    dorvane::testing::FakeFileSystem files;
    dorvane::testing::FakeBoxes boxes;
    dorvane::testing::FakeClock clock;
    Runtime rt{settings, files,
               [this] { return std::make_unique<dorvane::testing::FakeEngine>(files); },
               *client, boxes, clock};
};

TEST_F(LookupThroughOdbc, GivesTheFirstLib1Path) {
    UseDatabase("one", {"('lib2', 'X:\\Other')", "('lib1', 'S:\\Docs')"});
    EXPECT_EQ(LookupDocumentPath(rt), "S:\\Docs");
    EXPECT_EQ(rt.ctx.SqlText, "SELECT DocumentPath FROM doclib WHERE LibCode='lib1'");

    UseDatabase("two", {"('lib1', 'S:\\First')", "('lib1', 'S:\\Second')"});
    EXPECT_EQ(LookupDocumentPath(rt), "S:\\First");
}

TEST_F(LookupThroughOdbc, NoRowNullOrNoDatabaseGiveEmptyText) {
    UseDatabase("none", {"('lib2', 'X:\\Other')"});
    EXPECT_EQ(LookupDocumentPath(rt), "");
    UseDatabase("null", {"('lib1', NULL)"});
    EXPECT_EQ(LookupDocumentPath(rt), "");
    settings.Set("Bresk", "Locations", "DbaseName", (dir.path() / "missing" / "x.db").string());
    EXPECT_EQ(LookupDocumentPath(rt), "");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(LookupThroughOdbc, CindralTakesItsSettingAfterTheQuery) {
    rt.ctx.Product = "Cindral";
    settings.Set("Cindral", "Locations", "SQLServer", "db01");
    UseDatabase("cindral", {"('lib1', 'S:\\Docs')"});
    settings.Set("Cindral", "Locations", "WORKGROUPPATH", "W:\\Group");
    EXPECT_EQ(LookupDocumentPath(rt), "W:\\Group");
}

}  // namespace
}  // namespace dorvane::odbc
