// The SQL client of the Windows build through odbc32, which Wine hands to the
// host's driver manager: statements run and record sets read, and a failure
// comes back as an error with the driver's own words.

#include <gtest/gtest.h>

#include "core/error.h"
#include "engines/odbc/odbc_client.h"

namespace dorvane {
namespace {

TEST(OdbcOnWindows, RunsStatementsReadsTheFirstRowAndReportsFailuresInTheDriversWords) {
    auto client = odbc::MakeSqlClient();
    auto connection = client->NewConnection();
    connection->SetConnectionString("Driver={SQLite3};Database=:memory:");
    connection->Open();
    ASSERT_TRUE(connection->IsOpen());
    auto command = client->NewCommand();
    command->SetActiveConnection(*connection);
    command->SetCommandType(1);
    for (const char* statement :
         {"CREATE TABLE Documents (DocumentPath TEXT)", "INSERT INTO Documents VALUES ('Z:\\Docs\\Bresk')"}) {
        command->SetCommandText(statement);
        command->Execute();
    }
    auto records = client->NewRecordset();
    records->Open("SELECT DocumentPath FROM Documents", *connection);
    records->MoveFirst();
    EXPECT_EQ(records->Field("DocumentPath").text, "Z:\\Docs\\Bresk");
    records->Close();
    command->SetCommandText("SELECT * FROM NoSuchTable");
    try {
        command->Execute();
        ADD_FAILURE() << "a failing statement must throw";
    } catch (const Error& e) {
        EXPECT_NE(e.description().find("NoSuchTable"), std::string::npos) << e.description();
    }
    connection->Close();

    auto unknown = client->NewConnection();
    unknown->SetConnectionString("Driver={No Such Driver};Server=nowhere");
    EXPECT_THROW(unknown->Open(), Error);
    EXPECT_FALSE(unknown->IsOpen());
}

}  // namespace
}  // namespace dorvane
