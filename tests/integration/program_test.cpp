// The dorvane and dorvane-settings programs as an administrator or a
// scheduler runs them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace dorvane {
namespace {

using testing::ReadFile;

struct ProgramTest : ::testing::Test {
    testing::TempDir home;
    int Run(const std::string& command) {
        const std::string line = "cd '" + home.path().string() + "' && XDG_CONFIG_HOME='" + (home / "config").string() +
                                 "' " + command + " >'" + (home / "out").string() + "' 2>'" + (home / "err").string() + "'";
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Settings(const std::string& arguments) { return Run(std::string(DORVANE_SETTINGS_BIN) + " " + arguments); }
};

TEST_F(ProgramTest, SettingsToolSetsGetsListsAndDeletes) {
    EXPECT_EQ(Settings("set Bresk Locations APPPATH 'C:\\Zentro\\Bresk'"), 0);
    EXPECT_EQ(Settings("get bresk LOCATIONS apppath"), 0);
    EXPECT_EQ(ReadFile(home / "out"), "C:\\Zentro\\Bresk\n");
    EXPECT_EQ(Settings("list"), 0);
    EXPECT_EQ(ReadFile(home / "out"), "Bresk\\Locations\\APPPATH = C:\\Zentro\\Bresk\n");
    EXPECT_EQ(Settings("delete Bresk Locations APPPATH"), 0);
    EXPECT_NE(Settings("get Bresk Locations APPPATH"), 0);
    EXPECT_NE(ReadFile(home / "err").find("no setting"), std::string::npos);
    EXPECT_EQ(Settings("--help"), 0);
    EXPECT_NE(ReadFile(home / "out").find("Usage: dorvane-settings"), std::string::npos);
    EXPECT_EQ(Settings("set too few"), 2);
}

TEST_F(ProgramTest, UnattendedRunForAProductThatIsNotSetUpLogsFailuresAndExitsOne) {
    ASSERT_EQ(Settings("set Cindral Locations APPPATH '" + home.path().string() + "'"), 0);  // only the log folder
    EXPECT_EQ(Run(std::string(DORVANE_BIN) + " /silent /Cindral"), 1);
    const std::string log = ReadFile(home / "Dorvane_log.txt");
    for (const char* line : {"     Unable to optimize application\r\n", "     Unable to Repair Dbase\r\n", "     Operation Failed   "})
        EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - 39), "-------------------------------------\r\n");
    EXPECT_NE(ReadFile(home / "err").find("Unable to Repair Dbase: "), std::string::npos);
    EXPECT_EQ(Run(std::string(DORVANE_BIN) + " /silent /Cindral"), 1);  // a second run appends
    EXPECT_EQ(ReadFile(home / "Dorvane_log.txt").substr(0, log.size()), log);
    EXPECT_GT(ReadFile(home / "Dorvane_log.txt").size(), log.size());
}

// A drive letter goes through the dosdevices links; the log names the path as
// the settings hold it, never the mapped one.
TEST_F(ProgramTest, TheLogNamesAMissingDatabaseAsTheSettingsHoldIt) {
    std::filesystem::create_directories(home / "d" / "Zentro" / "Data");
    std::filesystem::create_directories(home / "dosdevices");
    std::filesystem::create_directory_symlink(home / "d", home / "dosdevices" / "d:");
    ASSERT_EQ(Settings("set Bresk TitleBar sqlver 0"), 0);
    ASSERT_EQ(Settings("set Bresk Locations APPPATH '" + home.path().string() + "'"), 0);
    ASSERT_EQ(Settings("set Bresk Locations DbPath 'D:\\Zentro\\Data'"), 0);
    ASSERT_EQ(Settings("set Bresk Locations BKpath 'D:\\Zentro\\Data'"), 0);
    EXPECT_EQ(Run("DORVANE_DOSDEVICES='" + (home / "dosdevices").string() + "' " + DORVANE_BIN + " /silent /Bresk"), 1);
    const std::string missing = "cannot compact \"D:\\Zentro\\Data\\post_db.mdb\": the file does not exist";
    const std::string log = ReadFile(home / "Dorvane_log.txt");
    EXPECT_NE(log.find("     Operation Failed   " + missing + "\r\n"), std::string::npos) << log;
    EXPECT_NE(ReadFile(home / "err").find("Unable to Repair Dbase: " + missing + "\n"), std::string::npos);
}

}  // namespace
}  // namespace dorvane
