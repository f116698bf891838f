#include <gtest/gtest.h>

#include "operations/operations.h"
#include "tests/support/fakes.h"

namespace dorvane {
namespace {

using testing::FakeWorld;

struct CompactionTest : ::testing::Test {
    FakeWorld w;
    void SetUp() override {
        w.rt.ctx.Product = "Cindral";
        w.rt.ctx.FrontEndFile = "Cindral.mde";
        w.settings.Set("Cindral", "Locations", "APPPATH", "C:\\Z");
        w.settings.Set("Cindral", "Locations", "DbPath", "D:\\Data");
        w.files.files["C:\\Z\\Cindral.mde"] = "front";
        w.files.files["D:\\Data\\post_db.mdb"] = "back";
    }
    std::string Log() const { return w.files.files.count("C:\\Z\\Dorvane_log.txt") ? w.files.files.at("C:\\Z\\Dorvane_log.txt") : ""; }
};

TEST_F(CompactionTest, FrontEndIsCompactedInPlaceThroughTheTemporaryFile) {
    OptimizeFrontEnd(w.rt);
    EXPECT_EQ(w.files.files.at("C:\\Z\\Cindral.mde"), "front+compacted");
    EXPECT_EQ(w.files.files.count("C:\\Z\\Temp.bk0"), 0u);
    EXPECT_EQ(w.engine->calls.at(0), "compact C:\\Z\\Cindral.mde -> C:\\Z\\Temp.bk0");
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    EXPECT_EQ(w.boxes.shown[0].text, "Application was optimized");
    EXPECT_EQ(w.boxes.shown[0].icon, BoxIcon::Information);
    EXPECT_EQ(w.boxes.shown[0].title, "Zentro");
    EXPECT_NE(Log().find("     Application was optimized\r\n"), std::string::npos);
    EXPECT_FALSE(w.rt.anyOperationFailed);
}

TEST_F(CompactionTest, TheLogLineFollowsTheClosedBox) {
    w.boxes.events = &w.files.calls;
    RepairBackEnd(w.rt);
    ASSERT_GE(w.files.calls.size(), 2u);
    EXPECT_EQ(w.files.calls[w.files.calls.size() - 2], "box The Dbase was repaired & compacted successfully");
    EXPECT_EQ(w.files.calls.back(), "append C:\\Z\\Dorvane_log.txt");
}

TEST_F(CompactionTest, FailureBoxesDifferInTitle) {
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
    EXPECT_NE(Log().find("     Unable to optimize application\r\n"), std::string::npos);
    EXPECT_NE(Log().find("     Unable to Repair Dbase\r\n"), std::string::npos);
    EXPECT_EQ(w.files.files.at("C:\\Z\\Cindral.mde"), "front");  // untouched
    EXPECT_TRUE(w.rt.anyOperationFailed);
}

TEST_F(CompactionTest, UnattendedRunsShowNoBox) {
    w.rt.ctx.RunMode = "s";
    RepairBackEnd(w.rt);
    w.files.files.erase("C:\\Z\\Cindral.mde");
    OptimizeFrontEnd(w.rt);
    EXPECT_TRUE(w.boxes.shown.empty());
    EXPECT_NE(Log().find("The Dbase was repaired & compacted successfully\r\n"), std::string::npos);
    EXPECT_NE(Log().find("Unable to optimize application\r\n"), std::string::npos);
}

TEST_F(CompactionTest, StopsAtTheFirstFailingStep) {
    // Copy refused: the source stays as it was and the temporary file stays.
    w.files.failOn.insert("copy D:\\Data\\Temp.bk0 -> D:\\Data\\post_db.mdb");
    EXPECT_FALSE(CompactViaTemp(w.rt, "D:\\Data\\post_db.mdb", "D:\\Data\\Temp.bk0"));
    EXPECT_EQ(w.files.files.at("D:\\Data\\post_db.mdb"), "back");
    EXPECT_EQ(w.files.files.at("D:\\Data\\Temp.bk0"), "back+compacted");
    EXPECT_EQ(w.files.calls.back(), "copy D:\\Data\\Temp.bk0 -> D:\\Data\\post_db.mdb");
    // From then on the leftover makes every compaction in that folder fail.
    w.files.failOn.clear();
    EXPECT_FALSE(CompactViaTemp(w.rt, "D:\\Data\\post_db.mdb", "D:\\Data\\Temp.bk0"));
    EXPECT_EQ(w.files.files.at("D:\\Data\\post_db.mdb"), "back");
}

TEST_F(CompactionTest, DeleteFailureStillFailsAfterTheCopy) {
    w.files.failOn.insert("delete D:\\Data\\Temp.bk0");
    EXPECT_FALSE(CompactViaTemp(w.rt, "D:\\Data\\post_db.mdb", "D:\\Data\\Temp.bk0"));
    EXPECT_EQ(w.files.files.at("D:\\Data\\post_db.mdb"), "back+compacted");
}

TEST_F(CompactionTest, EmptySettingsGivePathsAtTheRoot) {
    FakeWorld fresh;
    fresh.rt.ctx.Product = "Alveto";
    fresh.rt.ctx.FrontEndFile = "Alveto.mde";
    OptimizeFrontEnd(fresh.rt);
    RepairBackEnd(fresh.rt);
    EXPECT_EQ(fresh.engine->calls.at(0), "compact \\Alveto.mde -> \\Temp.bk0");
    EXPECT_EQ(fresh.engine->calls.at(1), "compact \\post_db.mdb -> \\Temp.bk0");
}

}  // namespace
}  // namespace dorvane
