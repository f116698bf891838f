// The dorvane program, run unattended for a product whose data lives in SQL
// Server, against the test-only TDS endpoint through FreeTDS.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "tests/odbc/odbc_test_support.h"

namespace dorvane::odbc {
namespace {

using testing::ReadFile;
using testing::TdsEndpoint;

class UnattendedSqlServerRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::RegisterTestDrivers(); }

    void SetUp() override {
        std::filesystem::copy_file(DORVANE_TEST_FRONT_END, home / "Bresk.mde");
        Set("TitleBar", "sqlver", "1");
        Set("Locations", "APPPATH", home.path().string());
        Set("Locations", "DbaseName", "PB");
        Set("Locations", "BKpath", "E:\\Bak");
    }
    // Runs `program` with `arguments` (quoted for the shell) in the home folder.
    int Run(const std::string& program, const std::string& arguments) {
        const std::string line = "cd '" + home.path().string() + "' && XDG_CONFIG_HOME='" + (home / "config").string() +
                                 "' " + program + " " + arguments + " 2>'" + (home / "err").string() + "'";
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Set(const std::string& section, const std::string& key, const std::string& value) {
        ASSERT_EQ(Run(DORVANE_TEST_SETTINGS_BIN, "set Bresk " + section + " " + key + " " + testing::ShellQuoted(value)), 0)
            << ReadFile(home / "err");
    }
    int RunAgainst(int port) {
        Set("Locations", "SQLServer", "127.0.0.1," + std::to_string(port));
        return Run(DORVANE_TEST_BIN, "/silent /Bresk");
    }
    // The messages of the log, without their time stamps.
    std::vector<std::string> LogMessages() {
        const std::string log = ReadFile(home / "Dorvane_log.txt");
        std::vector<std::string> messages;
        for (std::size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2)
            messages.push_back(log.substr(start, end - start).substr(log.find("     ", start) - start + 5));
        return messages;
    }

    testing::TempDir home;
    testing::ScopedEnv user{"DORVANE_SQL_USER", "dorvane"};
    testing::ScopedEnv password{"DORVANE_SQL_PASSWORD", "secret"};
};

// The front-end is compacted, then the server backs up, and nothing else. Settings
// cannot add statements of their own: a hostile database name and a folder with
// an apostrophe reach the server as one quoted statement. A failure is logged in
// the server's words, or with why the server was not reached.
TEST_F(UnattendedSqlServerRun, CompactsTheFrontEndThenHasTheServerBackUpAndLogsWhatHappened) {
    const std::string with = " WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10";
    TdsEndpoint endpoint;
    for (const char* folder : {"Bak", "O'Brien"}) std::filesystem::create_directories(endpoint.disk() / "E" / folder);
    EXPECT_EQ(RunAgainst(endpoint.port()), 0);
    Set("Locations", "BKpath", "E:\\Missing");
    EXPECT_EQ(RunAgainst(endpoint.port()), 1);
    Set("Locations", "DbaseName", "PB]; DROP DATABASE x; --");
    Set("Locations", "BKpath", "E:\\O'Brien");
    EXPECT_EQ(RunAgainst(endpoint.port()), 0);
    EXPECT_EQ(RunAgainst(testing::UnusedPort()), 1);
    EXPECT_EQ(endpoint.Recorded("batch"),
              (std::vector<std::string>{"BACKUP DATABASE PB To DISK = 'E:\\Bak\\PB.bak'" + with,
                                        "BACKUP DATABASE PB To DISK = 'E:\\Missing\\PB.bak'" + with,
                                        "BACKUP DATABASE [PB]]; DROP DATABASE x; --] To DISK = 'E:\\O''Brien\\PB]; DROP "
                                        "DATABASE x; --.bak'" + with}));
    EXPECT_EQ(endpoint.Recorded("login-database"), (std::vector<std::string>{"PB", "PB", "PB]; DROP DATABASE x; --"}));
    EXPECT_TRUE(std::filesystem::exists(endpoint.disk() / "E" / "Bak" / "PB.bak"));
    const auto messages = LogMessages();
    ASSERT_EQ(messages.size(), 12u) << ReadFile(home / "Dorvane_log.txt");
    EXPECT_EQ(messages[0], "Application was optimized");
    EXPECT_EQ(messages[1], "Backup was created   E:\\Bak\\PB.bak");
    EXPECT_EQ(messages[2], std::string(37, '-'));
    EXPECT_EQ(messages[4].rfind("Operation Failed   [FreeTDS][SQL Server]Cannot open backup device 'E:\\Missing\\PB.bak'.", 0), 0u)
        << messages[4];
    EXPECT_EQ(messages[10].rfind("Operation Failed   Running the statement failed: the connection is not open. "
                                 "Opening it failed: [FreeTDS][SQL Server]", 0), 0u)
        << messages[10];
}

}  // namespace
}  // namespace dorvane::odbc
