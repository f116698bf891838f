// The maintenance operations over fakes: what each leaves in the files, the
// log and the boxes, and the orderings that keep data safe. The SQL Server
// lookup and whole unattended runs are tested with real drivers and programs.
#include <gtest/gtest.h>

#include <algorithm>

#include "operations/operations.h"
#include "operations/run_sequence.h"
#include "tests/support/fakes.h"

namespace dorvane {
namespace {

using testing::FakeWorld;

// Whether `first` is in `calls` and comes before `second` (or `second` is absent).
bool Before(const std::vector<std::string>& calls, const std::string& first, const std::string& second) {
    const auto a = std::find(calls.begin(), calls.end(), first);
    return a != calls.end() && a < std::find(calls.begin(), calls.end(), second);
}

// Bresk with an Access back-end, one earlier backup and the SQL Server settings.
void Install(FakeWorld& w) {
    w.rt.ctx.Product = "Bresk";
    w.rt.ctx.FrontEndFile = "Bresk.mde";
    for (const auto& [key, value] : std::vector<std::pair<const char*, const char*>>{
             {"APPPATH", "C:\\Z"}, {"DbPath", "D:\\Data"}, {"BKpath", "E:\\Bak"}, {"DbaseName", "PB"}, {"SQLServer", "SRV1"}})
        w.settings.Set("Bresk", "Locations", key, value);
    w.files.files = {{"C:\\Z\\Bresk.mde", "front"}, {"D:\\Data\\post_db.mdb", "back"}, {"E:\\Bak\\post_db_1.mdb", "old1"}};
}

std::string Log(const FakeWorld& w, const std::string& path = "C:\\Z\\Dorvane_log.txt") {
    const auto it = w.files.files.find(path);
    return it == w.files.files.end() ? "" : it->second;
}

bool Logged(const FakeWorld& w, const std::string& message) {
    return Log(w).find("     " + message + "\r\n") != std::string::npos;
}

std::vector<std::string> BackupFolder(const FakeWorld& w) {
    std::vector<std::string> names;
    for (const auto& entry : w.files.files)
        if (entry.first.rfind("E:\\Bak\\", 0) == 0) names.push_back(entry.first.substr(7));
    return names;
}

void ExpectOneBox(const FakeWorld& w, const std::string& text, BoxIcon icon, const std::string& title) {
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    EXPECT_EQ(w.boxes.shown[0].text, text);
    EXPECT_EQ(w.boxes.shown[0].icon, icon);
    EXPECT_EQ(w.boxes.shown[0].title, title);
}

struct Operations : ::testing::Test {
    FakeWorld w;
    void SetUp() override { Install(w); }
};

TEST_F(Operations, FrontEndIsCompactedInPlaceAndTheLogLineFollowsTheClosedBox) {
    w.boxes.events = &w.files.calls;
    OptimizeFrontEnd(w.rt);
    EXPECT_EQ(w.engine->calls, std::vector<std::string>{"compact C:\\Z\\Bresk.mde -> C:\\Z\\Temp.bk0"});
    EXPECT_EQ(w.files.files.at("C:\\Z\\Bresk.mde"), "front+compacted");
    EXPECT_EQ(w.files.files.count("C:\\Z\\Temp.bk0"), 0u);
    ExpectOneBox(w, "Application was optimized", BoxIcon::Information, "Zentro");
    EXPECT_TRUE(Logged(w, "Application was optimized"));
    EXPECT_TRUE(Before(w.files.calls, "box Application was optimized", "append C:\\Z\\Dorvane_log.txt"));
    EXPECT_FALSE(w.rt.anyOperationFailed);
}

// A failing step stops the compaction; the source never loses its content,
// and the leftover makes the next compaction in that folder fail untouched.
TEST(CompactViaTemp, StopsAtTheFirstFailingStep) {
    for (const auto& [refused, source] : std::vector<std::pair<std::string, std::string>>{
             {"copy D:\\Data\\Temp.bk0 -> D:\\Data\\post_db.mdb", "back"}, {"delete D:\\Data\\Temp.bk0", "back+compacted"}}) {
        FakeWorld w;
        Install(w);
        w.files.failOn = {refused};
        for (int run = 0; run < 2; ++run, w.files.failOn.clear()) {
            EXPECT_FALSE(CompactViaTemp(w.rt, "D:\\Data\\post_db.mdb", "D:\\Data\\Temp.bk0")) << refused;
            EXPECT_EQ(w.files.files.at("D:\\Data\\post_db.mdb"), source) << refused;
            EXPECT_EQ(w.files.files.count("D:\\Data\\Temp.bk0"), 1u) << refused;
        }
    }
}

TEST_F(Operations, FailedCompactionsSayWhichInBoxesAndLog) {
    w.files.files["C:\\Z\\Temp.bk0"] = "leftover";
    w.files.files["D:\\Data\\Temp.bk0"] = "leftover";
    OptimizeFrontEnd(w.rt);
    RepairBackEnd(w.rt);
    ASSERT_EQ(w.boxes.shown.size(), 2u);
    EXPECT_EQ(w.boxes.shown[0].text, "Unable to optimize application. It may be open");
    EXPECT_EQ(w.boxes.shown[0].title, "Zentro Software Ltd");
    EXPECT_EQ(w.boxes.shown[0].icon, BoxIcon::Critical);
    EXPECT_EQ(w.boxes.shown[1].text, "Unable to Repair Dbase. It may be in use");
    EXPECT_EQ(w.boxes.shown[1].title, "Zentro");
    EXPECT_TRUE(Logged(w, "Unable to optimize application"));
    EXPECT_TRUE(Logged(w, "Unable to Repair Dbase"));
    EXPECT_EQ(w.files.files.at("C:\\Z\\Bresk.mde"), "front");
    EXPECT_TRUE(w.rt.anyOperationFailed);
}

TEST_F(Operations, UnattendedRunsShowNoBoxAndEmptySettingsMeanTheRoot) {
    w.rt.ctx.RunMode = "s";
    RepairBackEnd(w.rt);
    EXPECT_TRUE(w.boxes.shown.empty());
    EXPECT_TRUE(Logged(w, "The Dbase was repaired & compacted successfully"));
    FakeWorld fresh;
    fresh.rt.ctx.FrontEndFile = "Alveto.mde";
    OptimizeFrontEnd(fresh.rt);
    RepairBackEnd(fresh.rt);
    EXPECT_EQ(fresh.engine->calls, (std::vector<std::string>{"compact \\Alveto.mde -> \\Temp.bk0",
                                                             "compact \\post_db.mdb -> \\Temp.bk0"}));
}

TEST(TimeStamp, DayMonthYearHourMinuteSecondWithoutLeadingZeros) {
    FakeWorld w;
    for (const auto& [now, stamp] : std::vector<std::pair<LocalTime, std::string>>{
             {{2026, 12, 6, 3, 47, 52}, "612202634752"},
             {{2027, 2, 1, 10, 5, 9}, "1220271059"},
             {{2027, 12, 31, 0, 0, 0}, "31122027000"}}) {
        w.clock.now = now;
        EXPECT_EQ(TimeStamp(w.rt), stamp);
    }
}

// The earlier backups go only once the new one is complete under its final name.
TEST_F(Operations, AccessBackupReplacesEarlierBackupsOnlyOnceTheNewOneExists) {
    w.files.files["E:\\Bak\\POST_DB_2.MDB"] = "old2";
    w.files.files["E:\\Bak\\notes.txt"] = "keep";
    w.files.files["E:\\Bak\\post_db.mdb"] = "keep";  // does not match post_db_*.mdb
    w.files.files["E:\\Bak\\post_db_backup.tmp"] = "left by an interrupted run";
    EXPECT_TRUE(BackupAccessDb(w.rt));
    EXPECT_TRUE(BackupAccessDb(w.rt));  // twice in the same second
    EXPECT_EQ(BackupFolder(w), (std::vector<std::string>{"notes.txt", "post_db.mdb", "post_db_612202634752.mdb"}));
    EXPECT_EQ(w.files.files.at("E:\\Bak\\post_db_612202634752.mdb"), "back+compacted");
    EXPECT_TRUE(Before(w.files.calls, "rename E:\\Bak\\post_db_backup.tmp -> E:\\Bak\\post_db_612202634752.mdb",
                       "delete E:\\Bak\\post_db_1.mdb"));
    EXPECT_TRUE(Logged(w, "Backup was created   E:\\Bak\\post_db_612202634752.mdb"));
    ASSERT_EQ(w.boxes.shown.size(), 2u);
    EXPECT_EQ(w.boxes.shown[0].text, "Backup was created\r\nE:\\Bak\\post_db_612202634752.mdb");
    EXPECT_EQ(w.boxes.shown[0].title, "Zentro Software Ltd");
}

TEST(BackupAccessDb, AFailureKeepsTheEarlierBackupsAndLeavesNoPartialOne) {
    for (const auto& [compactError, refused] : std::vector<std::pair<std::string, std::string>>{
             {"The database is in use by another process", ""},
             {"", "rename E:\\Bak\\post_db_backup.tmp -> E:\\Bak\\post_db_612202634752.mdb"}}) {
        FakeWorld w;
        Install(w);
        if (!compactError.empty()) w.Engine().compactErrors["D:\\Data\\post_db.mdb"] = compactError;
        w.files.failOn = {refused};
        const std::string reason = compactError.empty() ? "refused: " + refused : compactError;
        EXPECT_FALSE(BackupAccessDb(w.rt)) << reason;
        EXPECT_EQ(BackupFolder(w), std::vector<std::string>{"post_db_1.mdb"}) << reason;
        EXPECT_TRUE(Logged(w, "Operation Failed   " + reason)) << Log(w);
        ExpectOneBox(w, "Operation Failed\r\n" + reason, BoxIcon::Critical, "Zentro Software Ltd");
        EXPECT_TRUE(w.rt.anyOperationFailed);
    }
}

TEST(BackupAccessDb, AnUnsetFolderIsNAAndAnEmptyOneTheRoot) {
    for (const auto& [setting, folder] : std::vector<std::pair<std::optional<std::string>, std::string>>{
             {std::nullopt, "NA"}, {std::string(), ""}}) {
        FakeWorld fresh;
        fresh.rt.ctx.Product = "Bresk";
        fresh.files.files["D:\\Data\\post_db.mdb"] = "back";
        fresh.settings.Set("Bresk", "Locations", "DBpath", "D:\\Data");
        if (setting) fresh.settings.Set("Bresk", "Locations", "BKpath", *setting);
        EXPECT_TRUE(BackupAccessDb(fresh.rt));  // the fake has every folder
        EXPECT_EQ(fresh.rt.ctx.BkPath, folder);
        EXPECT_EQ(fresh.files.files.count(folder + "\\post_db_612202634752.mdb"), 1u);
    }
}

TEST(BackupStatement, PlainNamesAsTheyAreOthersQuotedSoNoSettingAddsAStatement) {
    const std::string with = " WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10";
    struct Case {
        std::string name, folder, statement;
    };
    for (const Case& c : std::vector<Case>{
             {"PB", "E:\\Bak", "BACKUP DATABASE PB To DISK = 'E:\\Bak\\PB.bak'"},
             {"Post_DB2", "\\\\srv\\share with blanks", "BACKUP DATABASE Post_DB2 To DISK = '\\\\srv\\share with blanks\\Post_DB2.bak'"},
             {"PB]; DROP DATABASE x; --", "E:\\Bak",
              "BACKUP DATABASE [PB]]; DROP DATABASE x; --] To DISK = 'E:\\Bak\\PB]; DROP DATABASE x; --.bak'"},
             {"PB", "E:\\O'Brien", "BACKUP DATABASE PB To DISK = 'E:\\O''Brien\\PB.bak'"},
             {"it's", "E:\\B", "BACKUP DATABASE [it's] To DISK = 'E:\\B\\it''s.bak'"}}) {
        EXPECT_EQ(BuildBackupStatement(c.name, c.folder), c.statement + with);
    }
    EXPECT_EQ(BuildConnectionString("SRV1\\SQLEXPRESS", "PB"), "driver={SQL Server};server=SRV1\\SQLEXPRESS;database=PB");
    EXPECT_EQ(BuildConnectionString("NA", ""), "driver={SQL Server};server=NA;database=");
    EXPECT_EQ(BuildConnectionString("srv", "PB]; DROP DATABASE x; --"),
              "driver={SQL Server};server=srv;database={PB]; DROP DATABASE x; --}");
    EXPECT_EQ(BuildConnectionString("srv;uid=sa", "{x}"), "driver={SQL Server};server={srv;uid=sa};database={{x}}}");
}

TEST_F(Operations, SqlBackupRunsTheStatementOnTheProductsServer) {
    EXPECT_TRUE(BackupSqlDb(w.rt));
    const auto& calls = w.sql.calls;
    const std::string text = "text " + BuildBackupStatement("PB", "E:\\Bak");
    EXPECT_EQ(calls.front(), "connstr driver={SQL Server};server=SRV1;database=PB");
    EXPECT_TRUE(Before(calls, "open", "execute") && Before(calls, text, "execute") && Before(calls, "type 1", "execute"));
    EXPECT_TRUE(Before(calls, "execute", "close"));
    EXPECT_TRUE(Logged(w, "Backup was created   E:\\Bak\\PB.bak"));
    ExpectOneBox(w, "Backup was created", BoxIcon::Information, "Zentro Software Ltd");  // no path in the box

    FakeWorld fresh;  // missing settings go into the statement as they are
    BackupSqlDb(fresh.rt);
    EXPECT_EQ(fresh.sql.calls.at(0), "connstr driver={SQL Server};server=NA;database=");
    EXPECT_EQ(fresh.rt.ctx.SqlText, "BACKUP DATABASE  To DISK = 'NA\\.bak' WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10");
}

TEST(BackupSqlDb, FailuresAreReportedInTheirOwnWords) {
    struct Case {
        std::string testing::FakeSql::*failure;
        std::string text, reason;
    };
    const std::string notOpen = "The connection cannot be used to perform this operation.";
    for (const Case& c : std::vector<Case>{
             {&testing::FakeSql::openError, "[FreeTDS][SQL Server]Unable to connect", notOpen},
             {&testing::FakeSql::executeError, "Cannot open backup device 'E:\\Bak\\PB.bak'.", "Cannot open backup device 'E:\\Bak\\PB.bak'."},
             {&testing::FakeSql::closeError, "Communication link failure", "Communication link failure"}}) {
        FakeWorld w;
        Install(w);
        w.sql.*c.failure = c.text;
        EXPECT_FALSE(BackupSqlDb(w.rt)) << c.reason;
        EXPECT_TRUE(Logged(w, "Operation Failed   " + c.reason)) << Log(w);
        ExpectOneBox(w, "Operation Failed\r\n" + c.reason, BoxIcon::Critical, "Zentro Software Ltd");
        EXPECT_TRUE(w.rt.anyOperationFailed);
    }
}

TEST_F(Operations, LookupGivesTheFirstRowOrEmptyTextOnAnyFailure) {
    const std::string query = "SELECT DocumentPath FROM doclib WHERE LibCode='lib1'";
    w.Engine().doclib["D:\\Data\\post_db.mdb"] = {std::string("S:\\Docs"), std::string("S:\\Other")};
    EXPECT_EQ(LookupDocumentPath(w.rt), "S:\\Docs");
    EXPECT_EQ(w.engine->sqlSeen, std::vector<std::string>{query});
    auto* db = dynamic_cast<testing::FakeDatabase*>(w.rt.ctx.Database.get());
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(db->closed);
    for (const auto& rows : std::vector<std::vector<std::optional<std::string>>>{{std::nullopt}, {}}) {
        w.engine->doclib["D:\\Data\\post_db.mdb"] = rows;  // Null, no row
        EXPECT_EQ(LookupDocumentPath(w.rt), "");
    }
    w.engine->doclib.clear();  // no table
    EXPECT_EQ(LookupDocumentPath(w.rt), "");
    w.files.files.clear();  // no database
    EXPECT_EQ(LookupDocumentPath(w.rt), "");
    EXPECT_EQ(w.rt.ctx.SqlText, query);
    EXPECT_TRUE(w.boxes.shown.empty());
}

TEST_F(Operations, CindralTakesTheWorkgroupSettingAfterTheLookup) {
    w.rt.ctx.Product = "Cindral";
    w.settings.Set("Cindral", "Locations", "DBpath", "D:\\Data");
    w.Engine().doclib["D:\\Data\\post_db.mdb"] = {std::string("S:\\Docs")};
    EXPECT_EQ(LookupDocumentPath(w.rt), "");  // the key is absent
    w.settings.Set("Cindral", "Locations", "WORKGROUPPATH", "W:\\Group");
    EXPECT_EQ(LookupDocumentPath(w.rt), "W:\\Group");
}

TEST(Main, AnInteractiveRunOnlyShowsTheWindowWhoseOutcomeIsTheStatus) {
    for (const bool shown : {true, false}) {
        FakeWorld w;
        std::string productSeen;
        const auto window = [&](Runtime& rt) {
            productSeen = rt.ctx.Product;
            return shown;
        };
        EXPECT_EQ(Main(w.rt, "/Silent", window), shown ? 0 : 1);
        EXPECT_EQ(productSeen, "Alveto");
        EXPECT_EQ(Log(w, "\\Dorvane_log.txt").substr(19), "     -------------------------------------\r\n");
        EXPECT_TRUE(w.engine == nullptr);  // nothing else ran
    }
}

}  // namespace
}  // namespace dorvane
