#include <gtest/gtest.h>

#include "core/run_control.h"
#include "tests/support/fakes.h"

namespace dorvane {
namespace {

using testing::FakeWorld;

TEST(WriteLog, EntryBytesAndPlace) {
    FakeWorld w;
    w.rt.ctx.Product = "Bresk";
    w.settings.Set("Bresk", "Locations", "APPPATH", "C:\\Zentro\\Bresk");
    WriteLog(w.rt, "Backup was created   E:\\Bak\\x.mdb");
    WriteLog(w.rt, kSeparatorLine);
    EXPECT_EQ(w.files.files.at("C:\\Zentro\\Bresk\\Dorvane_log.txt"),
              "2026-12-06 03:47:52     Backup was created   E:\\Bak\\x.mdb\r\n"
              "2026-12-06 03:47:52     -------------------------------------\r\n");
    EXPECT_EQ(w.rt.ctx.AppPath, "C:\\Zentro\\Bresk");
    EXPECT_EQ(kSeparatorLine.size(), 37u);
}

TEST(WriteLog, ReadsTheFolderAfreshAndGoesToTheRootWhenUnset) {
    FakeWorld w;
    w.rt.ctx.Product = "Alveto";
    WriteLog(w.rt, "one");
    w.settings.Set("Alveto", "Locations", "APPPATH", "D:\\A");
    WriteLog(w.rt, "two");
    EXPECT_EQ(w.files.files.count("\\Dorvane_log.txt"), 1u);
    EXPECT_EQ(w.files.files.count("D:\\A\\Dorvane_log.txt"), 1u);
}

TEST(WriteLog, AFailureIsSwallowed) {
    FakeWorld w;
    w.rt.ctx.Product = "Alveto";
    w.files.failOn.insert("append \\Dorvane_log.txt");
    EXPECT_NO_THROW(WriteLog(w.rt, "lost"));
}

TEST(WriteScheduleBatch, OneLineForTheLastProduct) {
    FakeWorld w;
    const std::string folder = "C:\\Program Files\\Zentro";
    w.settings.Set("Alveto", "Locations", "APPPATH", folder);
    w.settings.Set("Bresk", "Locations", "APPPATH", folder);
    w.rt.ctx.Product = "Alveto";
    WriteScheduleBatch(w.rt);
    w.rt.ctx.Product = "Bresk";
    WriteScheduleBatch(w.rt);
    EXPECT_EQ(w.files.files.at(folder + "\\Dorvane.bat"),
              "\"C:\\Program Files\\Zentro\\Dorvane.exe\" /silent /Bresk\r\n");
    EXPECT_EQ(w.files.calls.back(), "append " + folder + "\\Dorvane.bat");
    EXPECT_EQ(w.files.calls[w.files.calls.size() - 2], "delete " + folder + "\\Dorvane.bat");
}

TEST(WriteScheduleBatch, EmptyFolderAndFailuresAreQuiet) {
    FakeWorld w;
    w.rt.ctx.Product = "Cindral";
    WriteScheduleBatch(w.rt);
    EXPECT_EQ(w.files.files.at("\\Dorvane.bat"), "\"\\Dorvane.exe\" /silent /Cindral\r\n");
    w.files.failOn.insert("append \\Dorvane.bat");
    EXPECT_NO_THROW(WriteScheduleBatch(w.rt));
}

}  // namespace
}  // namespace dorvane
