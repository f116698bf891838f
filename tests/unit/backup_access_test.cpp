#include <gtest/gtest.h>

#include <algorithm>

#include "operations/operations.h"
#include "tests/support/fakes.h"

namespace dorvane {
namespace {

using testing::FakeWorld;

struct BackupAccessTest : ::testing::Test {
    FakeWorld w;
    void SetUp() override {
        w.rt.ctx.Product = "Bresk";
        w.settings.Set("Bresk", "Locations", "APPPATH", "C:\\Z");
        w.settings.Set("Bresk", "Locations", "DBpath", "D:\\Data");
        w.settings.Set("Bresk", "Locations", "BKpath", "E:\\Bak");
        w.files.files["D:\\Data\\post_db.mdb"] = "back";
    }
    std::string Log() const { return w.files.files.at("C:\\Z\\Dorvane_log.txt"); }
    std::vector<std::string> BackupFolder() const {
        std::vector<std::string> names;
        for (const auto& [path, content] : w.files.files) {
            if (path.rfind("E:\\Bak\\", 0) == 0) names.push_back(path.substr(7));
        }
        return names;
    }
};

TEST(TimeStamp, SixNumbersWithoutLeadingZeros) {
    FakeWorld w;
    EXPECT_EQ(TimeStamp(w.rt), "612202634752");
    w.clock.now = {2027, 2, 1, 10, 5, 9};
    EXPECT_EQ(TimeStamp(w.rt), "1220271059");
    w.clock.now = {2027, 12, 31, 0, 0, 0};
    EXPECT_EQ(TimeStamp(w.rt), "31122027000");  // midnight: three single zeros
}

TEST_F(BackupAccessTest, ReplacesEarlierBackupsOnlyOnceTheNewOneExists) {
    w.files.files["E:\\Bak\\post_db_1.mdb"] = "old1";
    w.files.files["E:\\Bak\\POST_DB_2.MDB"] = "old2";
    w.files.files["E:\\Bak\\post_db_3.mdb"] = "old3";
    w.files.files["E:\\Bak\\notes.txt"] = "keep";
    w.files.files["E:\\Bak\\post_db.mdb"] = "keep";  // does not match the pattern
    EXPECT_TRUE(BackupAccessDb(w.rt));
    EXPECT_EQ(BackupFolder(), (std::vector<std::string>{"notes.txt", "post_db.mdb", "post_db_612202634752.mdb"}));
    EXPECT_EQ(w.files.files.at("E:\\Bak\\post_db_612202634752.mdb"), "back+compacted");
    // The rename happened before any earlier backup was deleted.
    const auto& calls = w.files.calls;
    const auto rename = std::find_if(calls.begin(), calls.end(), [](const std::string& c) { return c.rfind("rename", 0) == 0; });
    const auto firstOldDelete = std::find(calls.begin(), calls.end(), "delete E:\\Bak\\post_db_1.mdb");
    ASSERT_NE(rename, calls.end());
    ASSERT_NE(firstOldDelete, calls.end());
    EXPECT_LT(rename - calls.begin(), firstOldDelete - calls.begin());
    EXPECT_NE(Log().find("     Backup was created   E:\\Bak\\post_db_612202634752.mdb\r\n"), std::string::npos);
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    EXPECT_EQ(w.boxes.shown[0].text, "Backup was created\r\nE:\\Bak\\post_db_612202634752.mdb");
    EXPECT_EQ(w.boxes.shown[0].title, "Zentro Software Ltd");
    EXPECT_EQ(w.rt.ctx.DbPath, "D:\\Data");
    EXPECT_EQ(w.rt.ctx.BkPath, "E:\\Bak");
}

TEST_F(BackupAccessTest, AFailedCompactionKeepsTheEarlierBackups) {
    w.files.files["E:\\Bak\\post_db_1.mdb"] = "old1";
    w.Engine().compactErrors["D:\\Data\\post_db.mdb"] = "The database is in use by another process";
    EXPECT_FALSE(BackupAccessDb(w.rt));
    EXPECT_EQ(BackupFolder(), std::vector<std::string>{"post_db_1.mdb"});
    EXPECT_NE(Log().find("     Operation Failed   The database is in use by another process\r\n"), std::string::npos);
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    EXPECT_EQ(w.boxes.shown[0].text, "Operation Failed\r\nThe database is in use by another process");
    EXPECT_EQ(w.boxes.shown[0].icon, BoxIcon::Critical);
    EXPECT_TRUE(w.rt.anyOperationFailed);
}

TEST_F(BackupAccessTest, AFailedRenameLeavesNoPartialBackupAndReportsIt) {
    w.files.files["E:\\Bak\\post_db_1.mdb"] = "old1";
    w.files.failOn.insert("rename E:\\Bak\\post_db_backup.tmp -> E:\\Bak\\post_db_612202634752.mdb");
    EXPECT_FALSE(BackupAccessDb(w.rt));
    EXPECT_EQ(BackupFolder(), std::vector<std::string>{"post_db_1.mdb"});
    EXPECT_NE(Log().find("Operation Failed   refused: rename"), std::string::npos);
}

TEST_F(BackupAccessTest, TwoBackupsInTheSameSecondBothSucceed) {
    EXPECT_TRUE(BackupAccessDb(w.rt));
    EXPECT_TRUE(BackupAccessDb(w.rt));
    EXPECT_EQ(BackupFolder(), std::vector<std::string>{"post_db_612202634752.mdb"});
}

TEST_F(BackupAccessTest, ALeftoverFromAnInterruptedRunIsReplaced) {
    w.files.files["E:\\Bak\\post_db_backup.tmp"] = "half";
    EXPECT_TRUE(BackupAccessDb(w.rt));
    EXPECT_EQ(BackupFolder(), std::vector<std::string>{"post_db_612202634752.mdb"});
}

TEST_F(BackupAccessTest, AnEmptyFolderSettingIsTheRootNotNA) {
    w.settings.Set("Bresk", "Locations", "BKpath", "");
    EXPECT_TRUE(BackupAccessDb(w.rt));
    EXPECT_EQ(w.rt.ctx.BkPath, "");
    EXPECT_EQ(w.files.files.count("\\post_db_612202634752.mdb"), 1u);
}

TEST_F(BackupAccessTest, UnsetFolderIsNAAndUnattendedShowsNothing) {
    FakeWorld fresh;
    fresh.rt.ctx.Product = "Bresk";
    fresh.rt.ctx.RunMode = "s";
    fresh.settings.Set("Bresk", "Locations", "APPPATH", "C:\\Z");
    fresh.settings.Set("Bresk", "Locations", "DBpath", "D:\\Data");
    fresh.files.files["D:\\Data\\post_db.mdb"] = "back";
    EXPECT_TRUE(BackupAccessDb(fresh.rt));  // the fake has every folder
    EXPECT_EQ(fresh.rt.ctx.BkPath, "NA");
    EXPECT_EQ(fresh.files.files.count("NA\\post_db_612202634752.mdb"), 1u);
    EXPECT_TRUE(fresh.boxes.shown.empty());
}

}  // namespace
}  // namespace dorvane
