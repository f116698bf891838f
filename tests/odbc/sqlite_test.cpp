// The record-set path against Debian's SQLite ODBC driver, on its own and under
// the document-library lookup of a SQL Server product: SQLite's driver is
// registered as "SQL Server" too, so that the connection string the lookup
// builds selects it (its "database" is the file; it ignores "server").
#include <gtest/gtest.h>

#include "core/error.h"
#include "engines/odbc/odbc_client.h"
#include "operations/operations.h"
#include "tests/odbc/odbc_test_support.h"
#include "tests/support/fakes.h"

namespace dorvane::odbc {
namespace {

const std::string kQuery = "SELECT DocumentPath FROM doclib WHERE LibCode='lib1'";

long ErrorNumber(const std::function<void()>& work) {
    try {
        work();
    } catch (const Error& error) {
        return error.number();
    }
    return 0;
}

class Sqlite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::RegisterTestDrivers(DORVANE_TEST_SQLITE_DRIVER); }

    std::string Database(const std::string& name, const std::vector<std::string>& rows) {
        return testing::MakeDoclib(*client, (dir / (name + ".db")).string(), rows);
    }
    struct Opened {
        std::unique_ptr<SqlConnection> connection;
        std::unique_ptr<SqlRecordset> recordset;
    };
    Opened Query(const std::string& connectionString, const std::string& statement = kQuery) {
        Opened opened{client->NewConnection(), client->NewRecordset()};
        opened.connection->SetConnectionString(connectionString);
        opened.connection->Open();
        opened.recordset->Open(statement, *opened.connection);
        return opened;
    }
    // The lookup of `product` against a doclib holding `rows`.
    std::string Lookup(const std::string& product, const std::vector<std::string>& rows) {
        const std::string path = (dir / (product + std::to_string(++databases) + ".db")).string();
        testing::MakeDoclib(*client, path, rows);
        rt.ctx.Product = product;
        rt.ctx.DbKind = 1;
        settings.Set(product, "Locations", "SQLServer", "db01");
        settings.Set(product, "Locations", "DbaseName", path);
        return LookupDocumentPath(rt);
    }

    testing::TempDir dir;
    int databases = 0;
    std::unique_ptr<SqlClient> client = MakeSqlClient();
    dorvane::testing::FakeWorld world;
    dorvane::testing::FakeSettings& settings = world.settings;
    Runtime rt{settings, world.files, [this] { return std::make_unique<dorvane::testing::FakeEngine>(world.files); },
               *client, world.boxes, world.clock};
};

TEST_F(Sqlite, NoRowNullAndEmptyTextAreTellable) {
    auto none = Query(Database("none", {"('lib2', 'X:\\Other')"}));
    EXPECT_EQ(ErrorNumber([&] { none.recordset->MoveFirst(); }), errc::kNoCurrentRecord);
    EXPECT_EQ(ErrorNumber([&] { none.recordset->Field("DocumentPath"); }), errc::kNoCurrentRecord);
    auto null = Query(Database("null", {"('lib1', NULL)"}));
    null.recordset->MoveFirst();
    EXPECT_TRUE(null.recordset->Field("documentpath").isNull);
    auto empty = Query(Database("empty", {"('lib1', '')"}));
    empty.recordset->MoveFirst();
    const FieldValue value = empty.recordset->Field("DocumentPath");
    EXPECT_FALSE(value.isNull);
    EXPECT_EQ(value.text, "");
}

// SQLite's driver is an ANSI one: the driver manager converts its text through
// the process locale, so only ASCII is compared here; the SQL Server tests
// cover text beyond it through a Unicode driver.
TEST_F(Sqlite, ReadsLongTextWholeAndOtherTypesAsText) {
    const std::string longPath = "S:\\" + std::string(3000, 'd') + "\\Documents";
    EXPECT_EQ(Query(Database("long", {"('lib1', '" + longPath + "')"})).recordset->Field("DocumentPath").text, longPath);
    EXPECT_EQ(Query(Database("number", {"('lib1', 42)"})).recordset->Field("DocumentPath").text, "42");
}

TEST_F(Sqlite, FailuresCarryTheDriversWords) {
    const auto text = Database("fail", {});
    try {
        Query(text, "SELECT DocumentPath FROM nosuchtable");
        FAIL() << "a query on a missing table succeeded";
    } catch (const Error& error) {
        EXPECT_NE(error.description().find("no such table: nosuchtable"), std::string::npos) << error.description();
    }
    auto opened = Query(text);
    EXPECT_EQ(ErrorNumber([&] { opened.recordset->Field("Path"); }), errc::kItemNotFound);
    auto closedConnection = client->NewConnection();
    auto recordset = client->NewRecordset();
    EXPECT_NE(ErrorNumber([&] { recordset->Open(kQuery, *closedConnection); }), 0);
    EXPECT_NE(ErrorNumber([&] { recordset->MoveFirst(); }), 0);
    EXPECT_NO_THROW(recordset->Close());
}

TEST_F(Sqlite, LookupGivesTheFirstLib1PathOrEmptyText) {
    EXPECT_EQ(Lookup("Bresk", {"('lib2', 'X:\\Other')", "('lib1', 'S:\\Docs')"}), "S:\\Docs");
    EXPECT_EQ(rt.ctx.SqlText, kQuery);
    EXPECT_EQ(Lookup("Bresk", {"('lib1', 'S:\\First')", "('lib1', 'S:\\Second')"}), "S:\\First");
    EXPECT_EQ(Lookup("Bresk", {"('lib2', 'X:\\Other')"}), "");
    EXPECT_EQ(Lookup("Bresk", {"('lib1', NULL)"}), "");
    settings.Set("Bresk", "Locations", "DbaseName", (dir / "missing" / "x.db").string());
    EXPECT_EQ(LookupDocumentPath(rt), "");
    EXPECT_TRUE(world.boxes.shown.empty());
    settings.Set("Cindral", "Locations", "WORKGROUPPATH", "W:\\Group");  // Cindral's own setting wins
    EXPECT_EQ(Lookup("Cindral", {"('lib1', 'S:\\Docs')"}), "W:\\Group");
}

}  // namespace
}  // namespace dorvane::odbc
