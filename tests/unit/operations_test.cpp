// The maintenance operations over fakes: what each leaves in the files, the log
// and the boxes, and the orderings that keep data safe. The SQL Server lookup
// and whole unattended runs are tested with real drivers and programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/run_control.h"
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
    for (const auto& [key, value] : std::vector<std::pair<const char*, const char*>>{{"APPPATH", "C:\\Z"},
                                                                                     {"DbPath", "D:\\Data"},
                                                                                     {"BKpath", "E:\\Bak"},
                                                                                     {"DbaseName", "PB"},
                                                                                     {"SQLServer", "SRV1"}})
        w.settings.Set("Bresk", "Locations", key, value);
    w.files.files = {
        {"C:\\Z\\Bresk.mde", "front"}, {"D:\\Data\\post_db.mdb", "back"}, {"E:\\Bak\\post_db_1.mdb", "old1"}};
}

std::string Log(FakeWorld& w, const std::string& path = "C:\\Z\\Dorvane_log.txt") {
    const std::string log = w.files.files[path];
    w.files.files.erase(path);
    return log;
}

// Each operation's outcome: a box in interactive runs only, closed before the
// log line is written; the failure flag; and a failure changes no file.
TEST(Operations, ReportTheirOutcomeAndAFailureChangesNoFile) {
    using Op = std::function<void(Runtime&)>;
    using Fault = std::function<void(FakeWorld&)>;
    const Op optimize = OptimizeFrontEnd, repair = RepairBackEnd;
    const Op access = [](Runtime&rt) { BackupAccessDb(rt); }, sql = [](Runtime&rt) { BackupSqlDb(rt); };
    const Fault none = [](FakeWorld&) {};
    auto file = [](std::string path) { return [path](FakeWorld& w) { w.files.files[path] = "leftover"; }; };
    auto sqlError = [](std::string testing::FakeSql::*which) {
        return [which](FakeWorld& w) { w.sql.*which = "lost"; };
    };
    const std::string ltd = "Zentro Software Ltd", notOpen = "The connection cannot be used to perform this operation.";
    const std::string rename = "rename E:\\Bak\\post_db_backup.tmp -> E:\\Bak\\post_db_612202634752.mdb";
    const std::string keepBack = "copy D:\\Data\\post_db.mdb -> D:\\Data\\post_db_damaged_612202634752.mdb";
    struct Case {
        Op op;
        Fault fault;
        std::string box, title, logLine;
        std::string compacted{};  // the file that holds the compacted copy after a success
    };
    for (const Case& c : std::vector<Case>{
             {optimize, none, "Application was optimized", "Zentro", "Application was optimized", "C:\\Z\\Bresk.mde"},
             {optimize, file("C:\\Z\\Temp.bk0"), "Unable to optimize application. It may be open", ltd,
              "Unable to optimize application"},
             {repair, none, "The Dbase was repaired & compacted successfully", "Zentro",
              "The Dbase was repaired & compacted successfully", "D:\\Data\\post_db.mdb"},
             {repair, file("D:\\Data\\Temp.bk0"), "Unable to Repair Dbase. It may be in use", "Zentro",
              "Unable to Repair Dbase"},
             {repair,
              [&](FakeWorld& w) {
                  w.Engine().repairLosses["D:\\Data\\post_db.mdb"] = {3, 0, "lost"};
                  w.files.failOn = {keepBack};
              },
              "Unable to Repair Dbase. It may be in use", "Zentro", "Unable to Repair Dbase"},
             {access, none, "Backup was created\r\nE:\\Bak\\post_db_612202634752.mdb", ltd,
              "Backup was created   E:\\Bak\\post_db_612202634752.mdb", "E:\\Bak\\post_db_612202634752.mdb"},
             {access, [](FakeWorld& w) { w.Engine().compactErrors["D:\\Data\\post_db.mdb"] = "in use"; },
              "Operation Failed\r\nin use", ltd, "Operation Failed   in use"},
             {access, [&](FakeWorld& w) { w.files.failOn = {rename}; }, "Operation Failed\r\nrefused: " + rename, ltd,
              "Operation Failed   refused: " + rename},
             {sql, none, "Backup was created", ltd, "Backup was created   E:\\Bak\\PB.bak"},  // no path in the box
             {sql, sqlError(&testing::FakeSql::openError), "Operation Failed\r\n" + notOpen, ltd,
              "Operation Failed   " + notOpen},
             {sql, sqlError(&testing::FakeSql::executeError), "Operation Failed\r\nlost", ltd,
              "Operation Failed   lost"},
             {sql, sqlError(&testing::FakeSql::closeError), "Operation Failed\r\nlost", ltd,
              "Operation Failed   lost"}}) {
        const bool fails =
            c.logLine.find("Failed") != std::string::npos || c.logLine.find("Unable") != std::string::npos;
        for (const std::string mode : {"", "s"}) {
            SCOPED_TRACE(c.logLine + (mode.empty() ? ", interactive" : ", unattended"));
            FakeWorld w;
            Install(w);
            c.fault(w);
            w.rt.ctx.RunMode = mode;
            w.boxes.events = &w.files.calls;
            const auto before = w.files.files;
            c.op(w.rt);
            EXPECT_EQ(w.rt.any_operation_failed, fails);
            EXPECT_EQ(Log(w).substr(19), "     " + c.logLine + "\r\n");
            EXPECT_TRUE(!fails || w.files.files == before) << "a failure changed a file";
            EXPECT_TRUE(c.compacted.empty() || w.files.files[c.compacted].ends_with("+compacted"));
            EXPECT_TRUE(fails ||
                        w.files.files.count("C:\\Z\\Temp.bk0") + w.files.files.count("D:\\Data\\Temp.bk0") == 0);
            if (!mode.empty()) {
                EXPECT_TRUE(w.boxes.shown.empty());
                continue;
            }
            ASSERT_EQ(w.boxes.shown.size(), 1u);
            EXPECT_EQ(w.boxes.shown[0].text, c.box);
            EXPECT_EQ(w.boxes.shown[0].icon, fails ? BoxIcon::Critical : BoxIcon::Information);
            EXPECT_EQ(w.boxes.shown[0].title, c.title);
            EXPECT_TRUE(Before(w.files.calls, "box " + c.box, "append C:\\Z\\Dorvane_log.txt"));
        }
    }
}

// A failing step stops the compaction and the source never loses its content.
// The Temp.bk0 a run made goes again when the copy back failed with the source
// as it was, and the next run succeeds; where the source may have changed it
// stays, and blocks the next run with a reason that says what to do.
TEST(RepairBackEnd, StopsAtTheFirstFailingStepAndLeavesTemporaryFilesOnlyWhereTheyMayMatter) {
    const std::string back = "D:\\Data\\post_db.mdb", temporary = "D:\\Data\\Temp.bk0";
    const std::string leftover =
        "dorvane: Unable to Repair Dbase: " + temporary +
        " is left over from an earlier run that did not finish: it may hold a compacted copy of "
        "post_db.mdb that was never copied back, or one cut short. Check both with dorvane-jet "
        "check, keep the sound one as post_db.mdb and delete Temp.bk0; until then post_db.mdb is "
        "not compacted\n";
    const std::string copyBack = "copy " + temporary + " -> " + back, removal = "delete " + temporary;
    struct Case {
        std::string what;
        std::function<void(testing::FakeFileSystem&)> fault;
        std::string source;  // after the first run
        bool stays;
    };
    for (const Case& c : std::vector<Case>{
             {"copy back refused", [&](auto& f) { f.failOn = {copyBack}; }, "back", false},
             {"copy back not made durable", [&](auto& f) { f.notDurable = {back}; }, "back+compacted", true},
             {"delete refused", [&](auto& f) { f.failOn = {removal}; }, "back+compacted", true}}) {
        SCOPED_TRACE(c.what);
        FakeWorld w;
        Install(w);
        w.rt.ctx.RunMode = "s";
        c.fault(w.files);
        ::testing::internal::CaptureStderr();
        RepairBackEnd(w.rt);
        EXPECT_TRUE(w.rt.any_operation_failed);
        EXPECT_EQ(w.files.files.at(back), c.source);
        EXPECT_EQ(w.files.files.count(temporary), c.stays ? 1u : 0u);
        ::testing::internal::GetCapturedStderr();

        w.files.failOn.clear();  // the next run, with room again
        w.files.notDurable.clear();
        w.rt.any_operation_failed = false;
        ::testing::internal::CaptureStderr();
        RepairBackEnd(w.rt);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.stays ? leftover : "");
        EXPECT_EQ(w.rt.any_operation_failed, c.stays);
        EXPECT_EQ(w.files.files.at(back), c.stays ? c.source : "back+compacted");
        EXPECT_EQ(w.files.files.count(temporary) > 0 && w.files.files.at(temporary) == "back+compacted", c.stays);
    }
}

// A repair that loses data keeps the damaged original beside the database
// before the repaired copy replaces it, and says what was lost after the
// success line: in a box, the log and, unattended, on standard error.
TEST(Operations, ARepairThatLosesDataKeepsTheOriginalAndSaysWhereItIs) {
    struct Case {
        std::function<void(Runtime&)> op;
        std::string source, original, kept, success;
        std::uint64_t rows_dropped, values_cut;
        std::string summary, lossLine;
        std::uint64_t rows_in_doubt = 0;
    };
    for (const Case& c : std::vector<Case>{
             {RepairBackEnd, "D:\\Data\\post_db.mdb", "back", "D:\\Data\\post_db_damaged_612202634752.mdb",
              "The Dbase was repaired & compacted successfully", 16, 0, "dropped 16 rows of table \"Invoices\"",
              "Repair: dropped 16 rows of table \"Invoices\"; the damaged file is kept as "
              "D:\\Data\\post_db_damaged_612202634752.mdb"},
             {OptimizeFrontEnd, "C:\\Z\\Bresk.mde", "front", "C:\\Z\\Bresk_damaged_612202634752_2.mde",
              "Application was optimized", 0, 2, "",
              "Repair: cut 2 memo/OLE values; the damaged file is kept as C:\\Z\\Bresk_damaged_612202634752_2.mde"},
             {RepairBackEnd, "D:\\Data\\post_db.mdb", "back", "D:\\Data\\post_db_damaged_612202634752.mdb",
              "The Dbase was repaired & compacted successfully", 0, 0, "",
              "Repair: kept 3 rows that an index disagreed with; the damaged file is kept as "
              "D:\\Data\\post_db_damaged_612202634752.mdb",
              3}}) {
        for (const std::string mode : {"", "s"}) {
            SCOPED_TRACE(c.source + (mode.empty() ? ", interactive" : ", unattended"));
            FakeWorld w;
            Install(w);
            w.rt.ctx.RunMode = mode;
            w.Engine().repairLosses[c.source] = {c.rows_dropped, c.values_cut, c.summary, c.rows_in_doubt};
            w.files.files["C:\\Z\\Bresk_damaged_612202634752.mde"] = "earlier";  // a name taken is never replaced
            ::testing::internal::CaptureStderr();
            c.op(w.rt);
            const std::string err = ::testing::internal::GetCapturedStderr();
            EXPECT_TRUE(w.rt.data_not_all_kept && !w.rt.any_operation_failed);
            EXPECT_EQ(w.files.files[c.kept], c.original);
            EXPECT_EQ(w.files.files["C:\\Z\\Bresk_damaged_612202634752.mde"], "earlier");
            EXPECT_EQ(w.files.files[c.source], c.original + "+compacted");
            const std::string temporary = c.source.substr(0, c.source.rfind('\\')) + "\\Temp.bk0";
            EXPECT_TRUE(
                Before(w.files.calls, "copy " + c.source + " -> " + c.kept, "copy " + temporary + " -> " + c.source));
            // Held against the products throughout, the copy back and the clean-up included.
            EXPECT_TRUE(Before(w.files.calls, "hold " + c.source, "copy " + c.source + " -> " + c.kept));
            EXPECT_TRUE(Before(w.files.calls, "delete " + temporary, "release " + c.source));
            EXPECT_EQ(std::count(w.files.calls.begin(), w.files.calls.end(), "release " + c.source), 1);
            EXPECT_EQ(w.files.files.count(temporary), 0u);
            const std::string log = Log(w);
            EXPECT_EQ(log.substr(19, log.find('\n') - 18), "     " + c.success + "\r\n");
            EXPECT_EQ(log.substr(log.find('\n') + 20), "     " + c.lossLine + "\r\n");
            EXPECT_EQ(err, mode.empty() ? "" : "dorvane: " + c.lossLine + "\n");
            ASSERT_EQ(w.boxes.shown.size(), mode.empty() ? 2u : 0u);
            if (mode.empty()) {
                EXPECT_EQ(w.boxes.shown[1].text, c.lossLine);
                EXPECT_EQ(w.boxes.shown[1].icon, BoxIcon::Critical);
                EXPECT_EQ(w.boxes.shown[1].title, "Zentro");
            }
        }
    }
}

TEST(TimeStamp, DayMonthYearHourMinuteSecondWithoutLeadingZeros) {
    FakeWorld w;
    for (const auto& [now, stamp] :
         std::vector<std::pair<LocalTime, std::string>>{{{2026, 12, 6, 3, 47, 52}, "612202634752"},
                                                        {{2027, 2, 1, 10, 5, 9}, "1220271059"},
                                                        {{2027, 12, 31, 0, 0, 0}, "31122027000"}}) {
        w.clock.now = now;
        EXPECT_EQ(TimeStamp(w.rt), stamp);
    }
}

// The earlier backups go only once the new one is complete under its final name;
// one that cannot be deleted stays without failing the new backup.
TEST(BackupAccessDb, ReplacesEarlierBackupsOnlyOnceTheNewOneExists) {
    FakeWorld w;
    Install(w);
    w.files.files["E:\\Bak\\POST_DB_2.MDB"] = "old2";
    w.files.files["E:\\Bak\\notes.txt"] = "keep";
    w.files.files["E:\\Bak\\post_db.mdb"] = "keep";  // does not match post_db_*.mdb
    w.files.files["E:\\Bak\\POST_DB_DAMAGED_2.mdb"] = "kept by a repair";
    w.files.files["E:\\Bak\\post_db_backup.tmp"] = "left by an interrupted run";
    w.files.failOn = {"delete E:\\Bak\\POST_DB_2.MDB"};
    EXPECT_TRUE(BackupAccessDb(w.rt));
    EXPECT_TRUE(BackupAccessDb(w.rt));  // twice in the same second
    std::vector<std::string> folder;
    for (const auto& entry : w.files.files)
        if (entry.first.rfind("E:\\Bak\\", 0) == 0) folder.push_back(entry.first.substr(7));
    EXPECT_EQ(folder, (std::vector<std::string>{"POST_DB_2.MDB", "POST_DB_DAMAGED_2.mdb", "notes.txt", "post_db.mdb",
                                                "post_db_612202634752.mdb"}));
    EXPECT_EQ(w.files.files.at("E:\\Bak\\post_db_612202634752.mdb"), "back+compacted");
    EXPECT_TRUE(Before(w.files.calls, "rename E:\\Bak\\post_db_backup.tmp -> E:\\Bak\\post_db_612202634752.mdb",
                       "delete E:\\Bak\\post_db_1.mdb"));
}

// An absent backup folder is "NA"; an empty one, as every empty folder setting
// (see WriteLog), is the root.
TEST(BackupAccessDb, AnAbsentBackupFolderIsNAAndAnEmptyOneTheRoot) {
    for (const std::string backupFolder : {"NA", ""}) {
        FakeWorld w;
        w.rt.ctx.Product = "Alveto";
        w.files.files = {{"\\post_db.mdb", "back"}};
        if (backupFolder.empty()) w.settings.Set("Alveto", "Locations", "BKpath", "");
        EXPECT_TRUE(BackupAccessDb(w.rt));  // the fake has every folder
        EXPECT_EQ(w.files.files.count(backupFolder + "\\post_db_612202634752.mdb"), 1u);
    }
}

TEST(BackupSqlDb, PlainNamesAsTheyAreOthersQuotedSoNoSettingAddsAStatement) {
    const std::string with = " WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10";
    struct Case {
        std::string name, folder, statement;
    };
    for (const Case& c : std::vector<Case>{
             {"Post_DB2", "\\\\srv\\share with blanks",
              "BACKUP DATABASE Post_DB2 To DISK = '\\\\srv\\share with blanks\\Post_DB2.bak'"},
             {"it's", "E:\\B", "BACKUP DATABASE [it's] To DISK = 'E:\\B\\it''s.bak'"},
             {"", "NA", "BACKUP DATABASE  To DISK = 'NA\\.bak'"}}) {  // missing settings go in as they are
        EXPECT_EQ(BuildBackupStatement(c.name, c.folder), c.statement + with);
    }
    EXPECT_EQ(BuildConnectionString("NA", ""), "driver={SQL Server};server=NA;database=");
    EXPECT_EQ(BuildConnectionString("srv;uid=sa", "{x}"), "driver={SQL Server};server={srv;uid=sa};database={{x}}}");
}

TEST(LookupDocumentPath, AccessBackEndGivesTheFirstRowOrEmptyTextOnAnyFailure) {
    FakeWorld w;
    Install(w);
    w.Engine().doclib["D:\\Data\\post_db.mdb"] = {std::string("S:\\Docs"), std::string("S:\\Other")};
    EXPECT_EQ(LookupDocumentPath(w.rt), "S:\\Docs");
    EXPECT_EQ(w.engine->sqlSeen, std::vector<std::string>{"SELECT DocumentPath FROM doclib WHERE LibCode='lib1'"});
    ASSERT_NE(w.rt.ctx.Database, nullptr);
    EXPECT_TRUE(dynamic_cast<testing::FakeDatabase&>(*w.rt.ctx.Database).closed);
    w.engine->doclib.clear();  // no table
    EXPECT_EQ(LookupDocumentPath(w.rt), "");
    w.files.files.clear();  // no database
    EXPECT_EQ(LookupDocumentPath(w.rt), "");
    EXPECT_TRUE(w.boxes.shown.empty());
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

// A scheduler's journal gets what the log gets, each step followed by its
// summary; a log that cannot be written is said once on standard error. An
// interactive run prints nothing.
TEST(Main, AnUnattendedRunPrintsEveryLogLineAndASummaryPerStep) {
    const std::string at = "2026-12-06 03:47:52     ", stamp = "612202634752";
    struct Case {
        std::string what;
        std::function<void(FakeWorld&)> setUp;
        std::string out, err;
    };
    for (const Case& c : std::vector<Case>{
             {"Access", [](FakeWorld&) {},
              at + "Application was optimized\nsummary: front-end C:\\Z\\Bresk.mde: 5 bytes -> 15 bytes, 0.25 s\n" +
                  at +
                  "The Dbase was repaired & compacted successfully\n"
                  "summary: back-end D:\\Data\\post_db.mdb: 4 bytes -> 14 bytes, 0.25 s\n" +
                  at + "Backup was created   E:\\Bak\\post_db_" + stamp +
                  ".mdb\nsummary: backup D:\\Data\\post_db.mdb -> "
                  "E:\\Bak\\post_db_" +
                  stamp + ".mdb: 14 bytes -> 24 bytes, 0.25 s\n" + at + std::string(kSeparatorLine) + "\n",
              ""},
             {"SQL Server, the front-end missing",
              [](FakeWorld& w) {
                  w.settings.Set("Bresk", "TitleBar", "sqlver", "1");
                  w.files.files.erase("C:\\Z\\Bresk.mde");
              },
              at + "Unable to optimize application\nsummary: front-end C:\\Z\\Bresk.mde: missing -> missing, 0.25 s\n" +
                  at +
                  "Backup was created   E:\\Bak\\PB.bak\nsummary: SQL Server backup E:\\Bak\\PB.bak: written by the "
                  "server, "
                  "its size is not seen here, 0.25 s\n" +
                  at + std::string(kSeparatorLine) + "\n",
              "dorvane: Unable to optimize application: Could not find file 'C:\\Z\\Bresk.mde'.\n"},
             {"a log that cannot be written",
              [](FakeWorld& w) {
                  w.settings.Set("Bresk", "TitleBar", "sqlver", "1");
                  w.files.failOn = {"append C:\\Z\\Dorvane_log.txt"};
              },
              at + "Application was optimized\nsummary: front-end C:\\Z\\Bresk.mde: 5 bytes -> 15 bytes, 0.25 s\n" +
                  at +
                  "Backup was created   E:\\Bak\\PB.bak\nsummary: SQL Server backup E:\\Bak\\PB.bak: written by the "
                  "server, "
                  "its size is not seen here, 0.25 s\n" +
                  at + std::string(kSeparatorLine) + "\n",
              "dorvane: the log cannot be written, its lines are only on standard output: refused: append "
              "C:\\Z\\Dorvane_log.txt\n"}}) {
        for (const std::string arguments : {"/silent /Bresk", "/Bresk"}) {
            SCOPED_TRACE(c.what + ": " + arguments);
            FakeWorld w;
            Install(w);
            c.setUp(w);
            ::testing::internal::CaptureStdout();
            ::testing::internal::CaptureStderr();
            Main(w.rt, arguments, [](Runtime& rt) {
                RunMaintenance(rt);
                return true;
            });
            const std::string out = ::testing::internal::GetCapturedStdout(),
                              err = ::testing::internal::GetCapturedStderr();
            EXPECT_EQ(out, arguments == "/Bresk" ? "" : c.out);
            EXPECT_EQ(err, arguments == "/Bresk" ? "" : c.err);
        }
    }
}

// 2 tells a scheduler that a repair lost data; a failure (1) wins over it. The
// backup in the database's own folder leaves the kept original alone.
TEST(Main, ExitStatusTwoWhenARepairLostDataUnlessAnOperationFailed) {
    for (const auto& [loss, failure, status] : std::vector<std::tuple<bool, bool, int>>{
             {false, false, 0}, {true, false, 2}, {true, true, 1}, {false, true, 1}}) {
        FakeWorld w;
        Install(w);
        w.settings.Set("Bresk", "Locations", "BKpath", "D:\\Data");
        if (loss) w.Engine().repairLosses["D:\\Data\\post_db.mdb"] = {1, 0, "dropped 1 row"};
        if (failure) w.files.files["C:\\Z\\Temp.bk0"] = "leftover";
        EXPECT_EQ(Main(w.rt, "/silent /Bresk", nullptr), status) << loss << failure;
        EXPECT_EQ(w.files.files.count("D:\\Data\\post_db_damaged_612202634752.mdb"), loss ? 1u : 0u);
        EXPECT_EQ(w.files.files.count("D:\\Data\\post_db_612202634752.mdb"), 1u);
    }
}

}  // namespace
}  // namespace dorvane
