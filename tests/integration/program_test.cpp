// The dorvane and dorvane-settings programs as an administrator or a
// scheduler runs them.

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/temp_dir.h"

namespace dorvane {
namespace {

using testing::ReadFile;
using testing::TempDir;

struct ProgramTest : ::testing::Test {
    TempDir home;
    int Run(const std::string& command) {
        const std::string line = "cd '" + home.path().string() + "' && XDG_CONFIG_HOME='" +
                                 (home / "config").string() + "' " + command + " >'" + (home / "out").string() +
                                 "' 2>'" + (home / "err").string() + "'";
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Set(const std::string& app, const std::string& section, const std::string& key, const std::string& value) {
        ASSERT_EQ(Run(std::string(DORVANE_SETTINGS_BIN) + " set " + app + " " + section + " " + key + " '" + value + "'"), 0);
    }
};

TEST_F(ProgramTest, SettingsToolSetsGetsListsAndDeletes) {
    Set("Bresk", "Locations", "APPPATH", "C:\\Zentro\\Bresk");
    EXPECT_EQ(Run(std::string(DORVANE_SETTINGS_BIN) + " get bresk LOCATIONS apppath"), 0);
    EXPECT_EQ(ReadFile(home / "out"), "C:\\Zentro\\Bresk\n");
    EXPECT_EQ(Run(std::string(DORVANE_SETTINGS_BIN) + " list"), 0);
    EXPECT_EQ(ReadFile(home / "out"), "Bresk\\Locations\\APPPATH = C:\\Zentro\\Bresk\n");
    EXPECT_EQ(Run(std::string(DORVANE_SETTINGS_BIN) + " delete Bresk Locations APPPATH"), 0);
    EXPECT_NE(Run(std::string(DORVANE_SETTINGS_BIN) + " get Bresk Locations APPPATH"), 0);
    EXPECT_NE(ReadFile(home / "err").find("no setting"), std::string::npos);
    EXPECT_EQ(Run(std::string(DORVANE_SETTINGS_BIN) + " --help"), 0);
    EXPECT_NE(ReadFile(home / "out").find("Usage: dorvane-settings"), std::string::npos);
    EXPECT_EQ(Run(std::string(DORVANE_SETTINGS_BIN) + " set too few"), 2);
}

TEST_F(ProgramTest, UnattendedRunForAProductThatIsNotSetUpLogsFailuresAndExitsOne) {
    // Only the log folder is known; every other path is empty.
    Set("Cindral", "Locations", "APPPATH", home.path().string());
    EXPECT_EQ(Run(std::string(DORVANE_BIN) + " /silent /Cindral"), 1);
    const std::string log = ReadFile(home / "Dorvane_log.txt");
    EXPECT_NE(log.find("     Unable to optimize application\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("     Unable to Repair Dbase\r\n"), std::string::npos);
    EXPECT_NE(log.find("     Operation Failed   "), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 39), "-------------------------------------\r\n");
    EXPECT_NE(ReadFile(home / "err").find("Unable to Repair Dbase: "), std::string::npos);

    EXPECT_EQ(Run(std::string(DORVANE_BIN) + " /silent /Cindral"), 1);  // a second run appends
    const std::string twice = ReadFile(home / "Dorvane_log.txt");
    EXPECT_EQ(twice.substr(0, log.size()), log);
    EXPECT_GT(twice.size(), log.size());
}

// A drive letter goes through the dosdevices links; the log names the path as
// the settings hold it, never the mapped one.
TEST_F(ProgramTest, TheLogNamesAMissingDatabaseAsTheSettingsHoldIt) {
    std::filesystem::create_directories(home / "d" / "Zentro" / "Data");
    std::filesystem::create_directories(home / "dosdevices");
    std::filesystem::create_directory_symlink(home / "d", home / "dosdevices" / "d:");
    Set("Bresk", "TitleBar", "sqlver", "0");
    Set("Bresk", "Locations", "APPPATH", home.path().string());
    Set("Bresk", "Locations", "DbPath", "D:\\Zentro\\Data");
    Set("Bresk", "Locations", "BKpath", "D:\\Zentro\\Data");
    EXPECT_EQ(Run("DORVANE_DOSDEVICES='" + (home / "dosdevices").string() + "' " + DORVANE_BIN + " /silent /Bresk"), 1);
    const std::string missing = "cannot compact \"D:\\Zentro\\Data\\post_db.mdb\": the file does not exist";
    const std::string log = ReadFile(home / "Dorvane_log.txt");
    EXPECT_NE(log.find("     Operation Failed   " + missing + "\r\n"), std::string::npos) << log;
    EXPECT_NE(ReadFile(home / "err").find("Unable to Repair Dbase: " + missing + "\n"), std::string::npos);
}

TEST_F(ProgramTest, InteractiveWithoutADisplayFailsClearly) {
    Set("Alveto", "Locations", "APPPATH", home.path().string());
    const int status = Run("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + std::string(DORVANE_BIN));
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1);  // an exit, not a crash
    EXPECT_FALSE(ReadFile(home / "err").empty());
    EXPECT_NE(ReadFile(home / "Dorvane_log.txt").find("-------------------------------------\r\n"), std::string::npos);
}

}  // namespace
}  // namespace dorvane
