// The installed programs as an administrator or a scheduler runs them, in an
// empty home without a display.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace dorvane {
namespace {

using testing::ReadFile;
using testing::WriteFile;

struct ProgramTest : ::testing::Test {
    testing::TempDir home;
    // The exit status; standard output goes to home/out unless redirected, errors to home/err.
    int Run(const std::string& command, const std::string& out = "") {
        const std::string to = out.empty() ? "'" + (home / "out").string() + "'" : out;
        const std::string line = "cd '" + home.path().string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY" +
                                 " -u QT_QPA_PLATFORM HOME='" + home.path().string() + "' XDG_CONFIG_HOME='" +
                                 (home / "config").string() + "' " + command + " >" + to + " 2>'" +
                                 (home / "err").string() + "'";
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Settings(const std::string& arguments) { return Run(std::string(DORVANE_SETTINGS_BIN) + " " + arguments); }
};

TEST_F(ProgramTest, VersionAndHelpAloneAnswerWithoutAnyFileWrittenAndAnAnswerNotWrittenFails) {
    const std::pair<std::string, std::string> cases[] = {
        // command, how its answer begins
        {std::string(DORVANE_BIN) + " --version", "dorvane " DORVANE_VERSION "\n"},
        {std::string(DORVANE_BIN) + " --help", "Usage: dorvane /silent /PRODUCT"},
        {std::string(DORVANE_JET_BIN) + " --version", "dorvane-jet " DORVANE_VERSION "\n"},
        {std::string(DORVANE_SETTINGS_BIN) + " --version", "dorvane-settings " DORVANE_VERSION "\n"},
        {std::string(DORVANE_SETTINGS_BIN) + " --help", "Usage: dorvane-settings"},
    };
    for (const auto& [command, begins] : cases) {
        EXPECT_EQ(Run(command), 0) << command;
        EXPECT_EQ(ReadFile(home / "out").substr(0, begins.size()), begins);
        // Only the captured output: no settings file, no log, no batch file.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()), {}), 2) << command;
    }
    EXPECT_EQ(Run(std::string(DORVANE_BIN) + " --version", "/dev/full"), 1);
}

TEST_F(ProgramTest, SettingsToolSetsGetsListsAndDeletesAnAbsentKeyIsOneAndAFailureTwo) {
    const struct {
        std::string arguments;
        int status;
        std::string out;  // standard output, or with status 1 a part of the error
    } steps[] = {
        {"set Bresk Locations APPPATH 'C:\\Zentro\\Bresk'", 0, ""},
        {"get bresk LOCATIONS apppath", 0, "C:\\Zentro\\Bresk\n"},
        {"list", 0, "Bresk\\Locations\\APPPATH = C:\\Zentro\\Bresk\n"},
        {"delete Bresk Locations APPPATH", 0, ""},
        {"get Bresk Locations APPPATH", 1, "no setting"},
        {"delete Bresk Locations APPPATH", 1, "no setting"},
        {"set Bresk 'Loc]ations' APPPATH x", 2, "'Loc]ations' cannot be a section name: it holds ']'\n"},
        {"set 'Br[esk' Locations APPPATH x", 2, "'Br[esk' cannot be a product name: it holds '['\n"},
        {"set 'Bresk\\x' Locations APPPATH x", 2, "cannot be a product name: it holds '\\'"},
        {"get Bresk Locations", 2, ""},
    };
    const auto stored = [&] { return ReadFile(home / "config" / "dorvane" / "settings.ini"); };
    for (const auto& s : steps) {
        const std::string before = stored();
        EXPECT_EQ(Settings(s.arguments), s.status) << s.arguments;
        if (s.status == 0) {
            EXPECT_EQ(ReadFile(home / "out"), s.out) << s.arguments;
        } else {
            EXPECT_NE(ReadFile(home / "err").find(s.out), std::string::npos)
                << s.arguments << ": " << ReadFile(home / "err");
            EXPECT_EQ(stored(), before) << s.arguments;
        }
    }
}

// dorvane-jet as a shell user meets it: one line saying what is wrong, no
// error numbers, a refused table leaves the file as it was, and output that
// cannot be written fails the command.
TEST_F(ProgramTest, JetToolSaysWhatIsWrongInWordsAndFailsWhenItsOutputIsLost) {
    const std::string jet = std::string(DORVANE_JET_BIN) + " ";
    ASSERT_EQ(Run(jet + "create db.mdb"), 0);
    WriteFile(home / "long.csv", "Id," + std::string(65, 'c') + "\n1,2\n");
    WriteFile(home / "plain.csv", "Id,Name\n1,x\n");
    const std::string before = ReadFile(home / "db.mdb");
    const struct {
        std::string arguments;
        int status;
        std::string said;
    } cases[] = {
        // said: how stderr begins
        {"--version x", 2, "--version takes no arguments\n"},
        {"tables --all", 2, "tables takes one FILE"},
        {"tables db.mdb --system", 2, "tables does not know the option '--system'"},
        {"tables missing.mdb", 2, "cannot open \"missing.mdb\": the file does not exist\n"},
        {"import db.mdb " + std::string(65, 'T') + " plain.csv", 2,
         "the table name has 65 characters; Access allows at most 64\n"},
        {"import db.mdb Wide long.csv", 2, "the name of column 2 has 65 characters; Access allows at most 64\n"},
        {"tables db.mdb", 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(jet + c.arguments), c.status) << c.arguments;
        EXPECT_EQ(ReadFile(home / "err").substr(0, c.said.empty() ? 0 : 13 + c.said.size()),
                  c.said.empty() ? "" : "dorvane-jet: " + c.said)
            << c.arguments;
        EXPECT_EQ(ReadFile(home / "db.mdb"), before) << c.arguments;
    }
    EXPECT_EQ(Run(jet + "tables --all db.mdb"), 0);
    EXPECT_EQ(ReadFile(home / "out").substr(0, 12), "MSysObjects\n");
    EXPECT_EQ(Run(jet + "tables --all db.mdb", "/dev/full"), 2);
    EXPECT_EQ(ReadFile(home / "err"), "dorvane-jet: cannot write the output: No space left on device\n");
    EXPECT_EQ(Run(jet + "import db.mdb " + std::string(64, 'T') + " plain.csv"), 0);  // Access's own limit
}

// What export writes is RFC 4180 exactly as import reads it: quotes doubled,
// fields with commas or line breaks quoted, an empty text apart from a Null,
// and rows of any length, a memo larger than the piece written at a time
// among them.
TEST_F(ProgramTest, JetToolExportsTheCsvItImported) {
    const std::string jet = std::string(DORVANE_JET_BIN) + " ";
    std::string csv =
        "Id,Name,Note\r\n"
        "1,plain,\"say \"\"hi\"\", then go\"\r\n"
        "2,,\"\"\r\n"
        "3,\"a,b\",\"two\nlines\"\r\n"
        "4,M\xC3\xBCller,5 \xE2\x82\xAC\r\n";
    csv += "5,\"\"\"\",\"" + std::string(100000, 'x') + ",\"\r\n";
    for (int id = 6; id < 3000; ++id) csv += std::to_string(id) + ",row " + std::to_string(id) + ",\"n,\"\r\n";
    WriteFile(home / "in.csv", csv);
    ASSERT_EQ(Run(jet + "create db.mdb"), 0);
    ASSERT_EQ(Run(jet + "import db.mdb T in.csv --type Note=Memo"), 0) << ReadFile(home / "err");
    EXPECT_EQ(Run(jet + "export db.mdb T"), 0) << ReadFile(home / "err");
    EXPECT_TRUE(ReadFile(home / "out") == csv);
}

// The product and "silent" are found anywhere on the command line, --version
// included: an unattended run for Cindral, whose empty paths fail into the log.
TEST_F(ProgramTest, UnattendedRunForAProductThatIsNotSetUpLogsFailuresAndExitsOne) {
    ASSERT_EQ(Settings("set Cindral Locations APPPATH '" + home.path().string() + "'"), 0);  // only the log folder
    EXPECT_EQ(Run(std::string(DORVANE_BIN) + " --version /silent /Cindral"), 1);
    const std::string log = ReadFile(home / "Dorvane_log.txt");
    for (const char* line :
         {"     Unable to optimize application\r\n", "     Unable to Repair Dbase\r\n", "     Operation Failed   "})
        EXPECT_NE(log.find(line), std::string::npos) << log;  // standard error: the test below
    // Without "silent" it is the window, which cannot open without a display.
    EXPECT_NE(Run(std::string(DORVANE_BIN) + " --help --version /Cindral"), 0);
    EXPECT_EQ(ReadFile(home / "out").find("Usage:"), std::string::npos);
}

// dorvane has no window of its own: an interactive run goes on in the window
// program, with the same arguments, or says which package brings it. Either
// way the run ends with one separator line in the product's log.
TEST_F(ProgramTest, AnInteractiveRunHandsOverToTheWindowProgramOrNamesItsPackage) {
    ASSERT_EQ(Settings("set Cindral Locations APPPATH '" + home.path().string() + "'"), 0);
    std::filesystem::create_directory(home / "bin");
    std::filesystem::copy_file(DORVANE_BIN, home / "bin" / "dorvane");  // nothing beside it
    EXPECT_EQ(Run((home / "bin" / "dorvane").string() + " /Cindral"), 1);
    EXPECT_EQ(ReadFile(home / "err"),
              "dorvane: the window is not installed; it comes with the package dorvane-window (apt-get install "
              "dorvane-window). An unattended run needs none: dorvane /silent /Cindral\n");
#ifdef DORVANE_WINDOW_BIN
    EXPECT_EQ(Run(std::string(DORVANE_BIN) + " /Cindral"), 1);  // the window program, without a display
    EXPECT_NE(ReadFile(home / "err").find("dorvane: cannot show the window: no display"), std::string::npos)
        << ReadFile(home / "err");
    const std::string log = ReadFile(home / "Dorvane_log.txt");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;  // one run each, Cindral's both
#endif
}

// A drive letter goes through the dosdevices links; the log names the path as
// the settings hold it, never the mapped one.
TEST_F(ProgramTest, TheLogNamesAMissingDatabaseAsTheSettingsHoldIt) {
    std::filesystem::create_directories(home / "d" / "Zentro" / "Data");
    std::filesystem::create_directories(home / "dosdevices");
    std::filesystem::create_directory_symlink(home / "d", home / "dosdevices" / "d:");
    for (const std::string& setting :
         std::vector<std::string>{"TitleBar sqlver 0", "Locations APPPATH '" + home.path().string() + "'",
                                  "Locations DbPath 'D:\\Zentro\\Data'", "Locations BKpath 'D:\\Zentro\\Data'"})
        ASSERT_EQ(Settings("set Bresk " + setting), 0);
    EXPECT_EQ(Run("DORVANE_DOSDEVICES='" + (home / "dosdevices").string() + "' " + DORVANE_BIN + " /silent /Bresk"), 1);
    const std::string missing = "cannot compact \"D:\\Zentro\\Data\\post_db.mdb\": the file does not exist";
    const std::string log = ReadFile(home / "Dorvane_log.txt");
    EXPECT_NE(log.find("     Operation Failed   " + missing + "\r\n"), std::string::npos) << log;
    EXPECT_NE(ReadFile(home / "err").find("Unable to Repair Dbase: " + missing + "\n"), std::string::npos);
}

}  // namespace
}  // namespace dorvane
