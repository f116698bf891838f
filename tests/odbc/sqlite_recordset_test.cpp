// The record-set path against Debian's SQLite ODBC driver: the document-library
// query and its first row.
#include <gtest/gtest.h>

#include "core/error.h"
#include "engines/odbc/odbc_client.h"
#include "tests/odbc/doclib_database.h"
#include "tests/odbc/odbc_test_support.h"

namespace dorvane::odbc {
namespace {

const std::string kQuery = "SELECT DocumentPath FROM doclib WHERE LibCode='lib1'";

class SqliteRecordset : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::RegisterTestDrivers(); }

    std::string Database(const std::string& name, const std::vector<std::string>& rows) {
        return testing::MakeDoclib(*client, (dir.path() / (name + ".db")).string(), rows);
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

    testing::TempDir dir;
    std::unique_ptr<SqlClient> client = MakeSqlClient();
};

long ErrorNumber(const std::function<void()>& work) {
    try {
        work();
    } catch (const Error& error) {
        return error.number();
    }
    return 0;
}

TEST_F(SqliteRecordset, NoRowAndNullAreTellable) {
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
// the process locale, so only ASCII is compared here. Non-ASCII text through a
// Unicode driver (FreeTDS) is covered by the SQL Server tests.
TEST_F(SqliteRecordset, ReadsLongTextWholeAndOtherTypesAsText) {
    const std::string longPath = "S:\\" + std::string(3000, 'd') + "\\Documents";
    auto opened = Query(Database("long", {"('lib1', '" + longPath + "')"}));
    EXPECT_EQ(opened.recordset->Field("DocumentPath").text, longPath);
    auto number = Query(Database("number", {"('lib1', 42)"}));
    EXPECT_EQ(number.recordset->Field("DocumentPath").text, "42");
}

TEST_F(SqliteRecordset, FailuresCarryTheDriversWords) {
    const auto text = Database("fail", {});
    try {
        Query(text, "SELECT DocumentPath FROM nosuchtable");
        FAIL() << "a query on a missing table succeeded";
    } catch (const Error& error) {
        EXPECT_NE(error.description().find("no such table: nosuchtable"), std::string::npos)
            << error.description();
    }
    auto opened = Query(text);
    EXPECT_EQ(ErrorNumber([&] { opened.recordset->Field("Path"); }), errc::kItemNotFound);

    auto closedConnection = client->NewConnection();
    auto recordset = client->NewRecordset();
    EXPECT_NE(ErrorNumber([&] { recordset->Open(kQuery, *closedConnection); }), 0);
    EXPECT_NE(ErrorNumber([&] { recordset->MoveFirst(); }), 0);
    EXPECT_NO_THROW(recordset->Close());
}

}  // namespace
}  // namespace dorvane::odbc
