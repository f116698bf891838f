// --version and --help answer without a display and without touching any
// setting or log; every other command line keeps its meaning.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.h"

namespace dorvane {
namespace {

using testing::ReadFile;
using testing::TempDir;

struct Outcome {
    int status;
    std::string out;
};

// Runs a command in an empty home with no display at all.
Outcome RunProgram(const TempDir& home, const std::string& command, const std::string& redirect = "") {
    const std::string line = "cd '" + home.path().string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME='" +
                             home.path().string() + "' XDG_CONFIG_HOME='" + (home / "config").string() + "' " + command +
                             (redirect.empty() ? " >'" + (home / "out").string() + "'" : redirect) + " 2>&1";
    const int status = std::system(line.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(home / "out")};
}

TEST(ProgramInfo, VersionAndHelpAloneAnswerWithoutADisplayOrAnyFileWritten) {
    const struct {
        std::string command;
        std::string begins;
    } cases[] = {
        {std::string(DORVANE_BIN) + " --version", "dorvane " DORVANE_VERSION "\n"},
        {std::string(DORVANE_BIN) + " --help", "Usage: dorvane /silent /PRODUCT"},
        {std::string(DORVANE_JET_BIN) + " --version", "dorvane-jet " DORVANE_VERSION "\n"},
        {std::string(DORVANE_SETTINGS_BIN) + " --version", "dorvane-settings " DORVANE_VERSION "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        TempDir home;
        const Outcome outcome = RunProgram(home, c.command);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out.substr(0, c.begins.size()), c.begins) << outcome.out;
        // Only the captured output: no settings file, no log, no batch file.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()), {}), 1);
    }
}

TEST(ProgramInfo, AnAnswerThatCannotBeWrittenIsAFailure) {
    TempDir home;
    EXPECT_EQ(RunProgram(home, std::string(DORVANE_BIN) + " --version", " >/dev/full").status, 1);
}

TEST(ProgramInfo, WithAnythingElseOnTheCommandLineTheRunGoesAheadAsBefore) {
    TempDir home;
    // The product and "silent" are found anywhere: an unattended run for
    // Cindral, whose empty paths make it fail into the log in APPPATH.
    ASSERT_EQ(RunProgram(home, std::string(DORVANE_SETTINGS_BIN) + " set Cindral Locations APPPATH '" + home.path().string() + "'")
                  .status,
              0);
    EXPECT_EQ(RunProgram(home, std::string(DORVANE_BIN) + " --version /silent /Cindral").status, 1);
    EXPECT_NE(ReadFile(home / "Dorvane_log.txt").find("Unable to optimize application"), std::string::npos);
    // Without "silent" it is the window, which cannot open without a display.
    const Outcome window = RunProgram(home, std::string(DORVANE_BIN) + " --help --version");
    EXPECT_NE(window.status, 0);
    EXPECT_EQ(window.out.find("Usage:"), std::string::npos) << window.out;
}

TEST(SettingsToolStatus, AnAbsentKeyIsOneAndAFailureTwo) {
    const struct {
        std::string arguments;
        int status;
    } cases[] = {
        {"get Bresk Locations APPPATH", 1},
        {"delete Bresk Locations APPPATH", 1},
        {"set Bresk 'Loc]ations' APPPATH x", 2},  // a name the file cannot hold
        {"get Bresk Locations", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        TempDir home;
        EXPECT_EQ(RunProgram(home, std::string(DORVANE_SETTINGS_BIN) + " " + c.arguments).status, c.status);
    }
}

}  // namespace
}  // namespace dorvane
