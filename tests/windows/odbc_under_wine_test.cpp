// The SQL client of the Windows build through odbc32, which Wine hands to the
// host's driver manager: statements run and record sets read, and a failure
// comes back as an error with the driver manager's own words.

#include <gtest/gtest.h>

#include "core/error.h"
#include "engines/odbc/odbc_client.h"

namespace dorvane {
namespace {

TEST(OdbcOnWindows, RunsStatementsAndReadsTheFirstRow) {
    auto client = odbc::MakeSqlClient();
    auto connection = client->NewConnection();
    connection->SetConnectionString("Driver={SQLite3};Database=:memory:");
    connection->Open();
    ASSERT_TRUE(connection->IsOpen());

    auto command = client->NewCommand();
    command->SetActiveConnection(*connection);
    command->SetCommandType(1);
    command->SetCommandText("CREATE TABLE Documents (DocumentPath TEXT)");
    command->Execute();
    command->SetCommandText("INSERT INTO Documents VALUES ('Z:\\Docs\\Bresk')");
    command->Execute();

    auto records = client->NewRecordset();
    records->Open("SELECT DocumentPath FROM Documents", *connection);
    records->MoveFirst();
    const FieldValue value = records->Field("DocumentPath");
    EXPECT_FALSE(value.isNull);
    EXPECT_EQ(value.text, "Z:\\Docs\\Bresk");
    records->Close();

    command->SetCommandText("SELECT * FROM NoSuchTable");
    try {
        command->Execute();
        ADD_FAILURE() << "a failing statement must throw";
    } catch (const Error& e) {
        EXPECT_NE(e.description().find("NoSuchTable"), std::string::npos) << e.description();
    }
    connection->Close();
}

TEST(OdbcOnWindows, AnUnknownDriverIsAClearError) {
    auto client = odbc::MakeSqlClient();
    auto connection = client->NewConnection();
    connection->SetConnectionString("Driver={No Such Driver};Server=nowhere");
    try {
        connection->Open();
        ADD_FAILURE() << "opening must fail";
    } catch (const Error& e) {
        EXPECT_FALSE(e.description().empty());
    }
    EXPECT_FALSE(connection->IsOpen());
}

}  // namespace
}  // namespace dorvane
