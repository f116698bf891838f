#include <gtest/gtest.h>

#include "operations/operations.h"
#include "tests/support/fakes.h"

namespace dorvane {
namespace {

using testing::FakeWorld;

struct BackupSqlTest : ::testing::Test {
    FakeWorld w;
    void SetUp() override {
        w.rt.ctx.Product = "Alveto";
        w.settings.Set("Alveto", "Locations", "APPPATH", "C:\\Z");
        w.settings.Set("Alveto", "Locations", "DbaseName", "PB");
        w.settings.Set("Alveto", "Locations", "sqlServer", "SRV1");
        w.settings.Set("Alveto", "Locations", "BKpath", "E:\\Bak");
    }
    std::string Log() const { return w.files.files.at("C:\\Z\\Dorvane_log.txt"); }
};

TEST(BuildBackupStatement, PlainNamesReadExactly) {
    EXPECT_EQ(BuildBackupStatement("PB", "E:\\Bak"),
              "BACKUP DATABASE PB To DISK = 'E:\\Bak\\PB.bak' WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10");
    EXPECT_EQ(BuildBackupStatement("Post_DB2", "\\\\srv\\share with blanks"),
              "BACKUP DATABASE Post_DB2 To DISK = '\\\\srv\\share with blanks\\Post_DB2.bak' WITH NOFORMAT, "
              "INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10");
}

TEST(BuildBackupStatement, OtherValuesCannotEscapeTheirQuotes) {
    EXPECT_EQ(BuildBackupStatement("PB]; DROP DATABASE x; --", "E:\\Bak"),
              "BACKUP DATABASE [PB]]; DROP DATABASE x; --] To DISK = 'E:\\Bak\\PB]; DROP DATABASE x; --.bak' "
              "WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10");
    EXPECT_EQ(BuildBackupStatement("PB", "E:\\O'Brien"),
              "BACKUP DATABASE PB To DISK = 'E:\\O''Brien\\PB.bak' WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10");
    EXPECT_EQ(BuildBackupStatement("it's", "E:\\B"),
              "BACKUP DATABASE [it's] To DISK = 'E:\\B\\it''s.bak' WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10");
}

TEST(BuildConnectionString, PlainValuesAsTheyAreOthersBraced) {
    EXPECT_EQ(BuildConnectionString("SRV1\\SQLEXPRESS", "PB"), "driver={SQL Server};server=SRV1\\SQLEXPRESS;database=PB");
    EXPECT_EQ(BuildConnectionString("NA", ""), "driver={SQL Server};server=NA;database=");
    EXPECT_EQ(BuildConnectionString("srv", "PB]; DROP DATABASE x; --"),
              "driver={SQL Server};server=srv;database={PB]; DROP DATABASE x; --}");
    EXPECT_EQ(BuildConnectionString("srv;uid=sa", "{x}"), "driver={SQL Server};server={srv;uid=sa};database={{x}}}");
}

TEST_F(BackupSqlTest, RunsTheStatementOnTheProductsServer) {
    EXPECT_TRUE(BackupSqlDb(w.rt));
    EXPECT_EQ(w.sql.calls, (std::vector<std::string>{
                               "connstr driver={SQL Server};server=SRV1;database=PB", "open", "activeconnection",
                               "text " + BuildBackupStatement("PB", "E:\\Bak"), "type 1", "execute", "close"}));
    EXPECT_EQ(w.rt.ctx.SqlText, BuildBackupStatement("PB", "E:\\Bak"));
    EXPECT_EQ(w.rt.ctx.DbaseName, "PB");
    EXPECT_NE(Log().find("     Backup was created   E:\\Bak\\PB.bak\r\n"), std::string::npos);
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    EXPECT_EQ(w.boxes.shown[0].text, "Backup was created");  // the box has no path
    EXPECT_EQ(w.boxes.shown[0].title, "Zentro Software Ltd");
}

TEST_F(BackupSqlTest, AConnectionFailureIsReportedThroughTheExecute) {
    w.sql.openError = "[FreeTDS][SQL Server]Unable to connect to data source";
    EXPECT_FALSE(BackupSqlDb(w.rt));
    EXPECT_NE(Log().find("     Operation Failed   The connection cannot be used to perform this operation.\r\n"),
              std::string::npos);
    EXPECT_EQ(w.boxes.shown.at(0).text, "Operation Failed\r\nThe connection cannot be used to perform this operation.");
    EXPECT_EQ(w.boxes.shown.at(0).icon, BoxIcon::Critical);
}

TEST_F(BackupSqlTest, ServerErrorIsShownInItsOwnWords) {
    w.rt.ctx.RunMode = "s";
    w.sql.executeError = "Cannot open backup device 'E:\\Bak\\PB.bak'. Operating system error 3.";
    EXPECT_FALSE(BackupSqlDb(w.rt));
    EXPECT_NE(Log().find("Operation Failed   Cannot open backup device 'E:\\Bak\\PB.bak'. Operating system error 3.\r\n"),
              std::string::npos);
    EXPECT_TRUE(w.boxes.shown.empty());
}

TEST_F(BackupSqlTest, ACloseFailureAfterASuccessfulStatementIsAFailure) {
    w.sql.closeError = "Communication link failure";
    EXPECT_FALSE(BackupSqlDb(w.rt));
    EXPECT_NE(Log().find("Operation Failed   Communication link failure\r\n"), std::string::npos);
}

TEST_F(BackupSqlTest, MissingSettingsGoIntoTheStatementAsTheyAre) {
    FakeWorld fresh;
    fresh.rt.ctx.Product = "Bresk";
    BackupSqlDb(fresh.rt);
    EXPECT_EQ(fresh.sql.calls.at(0), "connstr driver={SQL Server};server=NA;database=");
    EXPECT_EQ(fresh.rt.ctx.SqlText,
              "BACKUP DATABASE  To DISK = 'NA\\.bak' WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10");
}

}  // namespace
}  // namespace dorvane
