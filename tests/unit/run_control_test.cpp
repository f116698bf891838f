// The command line, the activity log, the schedule batch file and the settings
// read at start-up.
#include <gtest/gtest.h>

#include "core/database_kind.h"
#include "core/run_context.h"
#include "core/run_control.h"
#include "tests/support/fakes.h"

namespace dorvane {
namespace {

using testing::FakeWorld;

TEST(ParseCommandLine, ModeAndProduct) {
    for (const auto& [arguments, mode, product] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {JoinArguments({"/silent", "/Bresk"}), "s", "Bresk"},
             {"", "", "Alveto"},
             {"-silent cindral", "s", "Cindral"},  // the product in any case
             {"/Silent /Bresk", "", "Bresk"},      // silent in small letters only
             {"xsilentx", "s", "Alveto"},
             {"/silent /Cindral /Bresk", "s", "Bresk"},  // the product table's order decides
             {"/Cindral /ALVETO", "", "Alveto"},
             {"/silent /Other", "s", "Alveto"}}) {
        RunContext ctx;
        EXPECT_EQ(ParseCommandLine(ctx, arguments), mode) << arguments;
        EXPECT_EQ(ctx.Product, product) << arguments;
        EXPECT_EQ(ctx.FrontEndFile, product + ".mde") << arguments;
    }
    EXPECT_EQ(JoinArguments({"a b", "c"}), "a b c");
}

TEST(WriteLog, AppendsCrLfEntriesToTheFolderReadAfreshAndSwallowsFailures) {
    FakeWorld w;
    w.rt.ctx.Product = "Bresk";
    WriteLog(w.rt, "one");  // not set up: the root
    w.settings.Set("Bresk", "Locations", "APPPATH", "C:\\Zentro\\Bresk");
    WriteLog(w.rt, "Backup was created   E:\\Bak\\x.mdb");
    WriteLog(w.rt, kSeparatorLine);
    EXPECT_EQ(w.files.files.at("\\Dorvane_log.txt"), "2026-12-06 03:47:52     one\r\n");
    EXPECT_EQ(w.files.files.at("C:\\Zentro\\Bresk\\Dorvane_log.txt"),
              "2026-12-06 03:47:52     Backup was created   E:\\Bak\\x.mdb\r\n"
              "2026-12-06 03:47:52     -------------------------------------\r\n");
    w.files.failOn.insert("append C:\\Zentro\\Bresk\\Dorvane_log.txt");
    EXPECT_NO_THROW(WriteLog(w.rt, "lost"));
}

TEST(WriteScheduleBatch, OneLineForTheLastProductAndFailuresAreQuiet) {
    FakeWorld w;
    const std::string folder = "C:\\Program Files\\Zentro";
    for (const char* product : {"Alveto", "Bresk"}) {
        w.settings.Set(product, "Locations", "APPPATH", folder);
        w.rt.ctx.Product = product;
        WriteScheduleBatch(w.rt);
    }
    EXPECT_EQ(w.files.files.at(folder + "\\Dorvane.bat"),
              "\"C:\\Program Files\\Zentro\\Dorvane.exe\" /silent /Bresk\r\n");
    w.rt.ctx.Product = "Cindral";  // not set up: the root
    WriteScheduleBatch(w.rt);
    EXPECT_EQ(w.files.files.at("\\Dorvane.bat"), "\"\\Dorvane.exe\" /silent /Cindral\r\n");
    w.files.failOn = {"delete \\Dorvane.bat", "append \\Dorvane.bat"};
    EXPECT_NO_THROW(WriteScheduleBatch(w.rt));
}

TEST(SaveSetting, AFailedSaveIsIgnored) {
    testing::FakeSettings s;
    s.throwOnWrite = true;
    EXPECT_NO_THROW(SaveSetting(s, "Bresk", "Locations", "BKpath", "E:\\Bak"));
    EXPECT_EQ(s.writes, 1);  // the save was attempted
}

TEST(DatabaseKind, PlainWholeNumbersOnlyAndOtherwiseTheEarlierValue) {
    for (const auto& [text, kind] : std::vector<std::pair<const char*, int>>{
             {"1", 1}, {"  -3 ", -3}, {"+7", 7}, {"32767", 32767}, {"-32768", -32768}}) {
        EXPECT_EQ(ParseDatabaseKind(text), kind) << text;
    }
    for (const char* bad :
         {"", " ", "abc", "40000", "32768", "-32769", "1.5", "1e2", "0x1", "- 1", "99999999999999999999"}) {
        EXPECT_FALSE(ParseDatabaseKind(bad).has_value()) << "'" << bad << "'";
    }
    testing::FakeSettings s;
    RunContext ctx;
    ctx.Product = "Bresk";
    ReadDatabaseKind(s, ctx);
    EXPECT_EQ(ctx.DbKind, 9);  // absent: not set up
    s.Set("Bresk", "TitleBar", "sqlver", "1");
    ReadDatabaseKind(s, ctx);
    for (const char* bad : {"", "letters", "40000"}) {
        s.Set("Bresk", "TitleBar", "sqlver", bad);
        ReadDatabaseKind(s, ctx);
        EXPECT_EQ(ctx.DbKind, 1) << bad;
    }
}

}  // namespace
}  // namespace dorvane
