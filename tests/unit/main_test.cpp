#include <gtest/gtest.h>

#include "core/run_control.h"
#include "operations/run_sequence.h"
#include "tests/support/fakes.h"

namespace dorvane {
namespace {

using testing::FakeWorld;

std::vector<std::string> LogMessages(const std::string& log) {
    std::vector<std::string> messages;
    std::size_t start = 0;
    while (start < log.size()) {
        const auto end = log.find("\r\n", start);
        const std::string line = log.substr(start, end - start);
        messages.push_back(line.substr(line.find("     ") + 5));
        start = end + 2;
    }
    return messages;
}

TEST(Main, UnattendedSqlServerProductRunsFrontEndThenServerBackupOnly) {
    FakeWorld w;
    w.settings.Set("Bresk", "TitleBar", "sqlver", "1");
    w.settings.Set("Bresk", "Locations", "APPPATH", "C:\\Z");
    w.settings.Set("Bresk", "Locations", "DbaseName", "PB");
    w.settings.Set("Bresk", "Locations", "BKpath", "E:\\Bak");
    w.files.files["C:\\Z\\Bresk.mde"] = "front";
    bool windowShown = false;
    const int status = Main(w.rt, " /silent /Bresk", [&](Runtime&) { return windowShown = true; });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(windowShown);
    EXPECT_EQ(w.engine->calls, std::vector<std::string>{"compact C:\\Z\\Bresk.mde -> C:\\Z\\Temp.bk0"});
    EXPECT_EQ(LogMessages(w.files.files.at("C:\\Z\\Dorvane_log.txt")),
              (std::vector<std::string>{"Application was optimized", "Backup was created   E:\\Bak\\PB.bak",
                                        std::string(kSeparatorLine)}));
    EXPECT_TRUE(w.boxes.shown.empty());
}

TEST(Main, AProductWithoutSettingsFailsEveryStepAndSaysSo) {
    FakeWorld w;
    const int status = Main(w.rt, "/silent /Bresk", {});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(w.rt.ctx.DbKind, 9);
    const auto messages = LogMessages(w.files.files.at("\\Dorvane_log.txt"));
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], "Unable to optimize application");
    EXPECT_EQ(messages[1], "Unable to Repair Dbase");
    EXPECT_EQ(messages[2].rfind("Operation Failed   ", 0), 0u);
    EXPECT_GT(messages[2].size(), std::string("Operation Failed   ").size());
    EXPECT_EQ(messages[3], kSeparatorLine);
}

TEST(Main, InteractiveShowsTheWindowThenWritesTheSeparator) {
    FakeWorld w;
    w.settings.Set("Alveto", "Locations", "APPPATH", "C:\\A");
    std::string productSeen;
    EXPECT_EQ(Main(w.rt, "", [&](Runtime& rt) {
                  productSeen = rt.ctx.Product;
                  return true;
              }),
              0);
    EXPECT_EQ(productSeen, "Alveto");
    EXPECT_EQ(LogMessages(w.files.files.at("C:\\A\\Dorvane_log.txt")), std::vector<std::string>{std::string(kSeparatorLine)});
}

TEST(Main, NoWindowMeansFailureButStillTheSeparator) {
    FakeWorld w;
    EXPECT_EQ(Main(w.rt, "/Silent", [](Runtime&) { return false; }), 1);
    EXPECT_EQ(LogMessages(w.files.files.at("\\Dorvane_log.txt")), std::vector<std::string>{std::string(kSeparatorLine)});
    EXPECT_TRUE(w.engine == nullptr);  // nothing ran
}

TEST(Main, TwoRunsAppend) {
    FakeWorld w;
    w.settings.Set("Cindral", "Locations", "APPPATH", "C:\\C");
    Main(w.rt, "silent cindral", {});
    FakeWorld second;
    second.settings.Set("Cindral", "Locations", "APPPATH", "C:\\C");
    second.files.files["C:\\C\\Dorvane_log.txt"] = w.files.files.at("C:\\C\\Dorvane_log.txt");
    Main(second.rt, "silent cindral", {});
    const auto messages = LogMessages(second.files.files.at("C:\\C\\Dorvane_log.txt"));
    ASSERT_EQ(messages.size(), 8u);
    EXPECT_EQ(messages[3], kSeparatorLine);
    EXPECT_EQ(messages[7], kSeparatorLine);
}

}  // namespace
}  // namespace dorvane
