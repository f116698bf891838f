// The document-library lookup through SQLite's ODBC driver registered as "SQL Server" (its
// "database" is the file; it ignores "server"). An ANSI driver: text beyond ASCII is FreeTDS's test.
#include <gtest/gtest.h>

#include "engines/odbc/odbc_client.h"
#include "operations/operations.h"
#include "tests/odbc/odbc_test_support.h"
#include "tests/support/fakes.h"

namespace dorvane::odbc {
namespace {

class SqliteLookup : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::RegisterTestDrivers(DORVANE_TEST_SQLITE_DRIVER); }

    // The lookup of `product` against a new database whose doclib holds `rows` (SQL value lists).
    std::string Lookup(const std::string& product, const std::vector<std::string>& rows) {
        const std::string path = (dir / (product + std::to_string(++databases) + ".db")).string();
        auto connection = client->NewConnection();
        connection->SetConnectionString("driver={SQLite3};database=" + path);
        connection->Open();
        auto command = client->NewCommand();
        command->SetActiveConnection(*connection);
        command->SetCommandText("CREATE TABLE doclib (LibCode TEXT, DocumentPath TEXT)");
        command->Execute();
        for (const auto& values : rows) {
            command->SetCommandText("INSERT INTO doclib VALUES " + values);
            command->Execute();
        }
        connection->Close();
        rt.ctx.Product = product;
        rt.ctx.DbKind = 1;
        world.settings.Set(product, "Locations", "SQLServer", "db01");
        world.settings.Set(product, "Locations", "DbaseName", path);
        return LookupDocumentPath(rt);
    }

    testing::TempDir dir;
    int databases = 0;
    std::unique_ptr<SqlClient> client = MakeSqlClient();
    dorvane::testing::FakeWorld world;
    Runtime rt{
        world.settings, world.files, [this] { return std::make_unique<dorvane::testing::FakeEngine>(world.files); },
        *client,        world.boxes, world.clock};
};

TEST_F(SqliteLookup, GivesTheFirstLib1PathOrEmptyText) {
    EXPECT_EQ(Lookup("Bresk", {"('lib2', 'X:\\Other')", "('lib1', 'S:\\Docs')"}), "S:\\Docs");
    EXPECT_EQ(Lookup("Bresk", {"('lib2', 'X:\\Other')"}), "");
    EXPECT_EQ(Lookup("Bresk", {"('lib1', NULL)", "('lib1', 'S:\\Second')"}), "");
    world.settings.Set("Bresk", "Locations", "DbaseName", (dir / "missing" / "x.db").string());
    EXPECT_EQ(LookupDocumentPath(rt), "");
    EXPECT_TRUE(world.boxes.shown.empty());
    world.settings.Set("Cindral", "Locations", "WORKGROUPPATH", "W:\\Group");  // Cindral's own setting wins
    EXPECT_EQ(Lookup("Cindral", {"('lib1', 'S:\\Docs')"}), "W:\\Group");
}

}  // namespace
}  // namespace dorvane::odbc
