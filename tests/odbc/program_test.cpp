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
        std::string quoted;  // for the shell: ' ends the quotes, so it is written '\''
        for (char c : value) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        ASSERT_EQ(Run(DORVANE_TEST_SETTINGS_BIN, "set Bresk " + section + " " + key + " '" + quoted + "'"), 0)
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

#ifdef DORVANE_TEST_HAVE_JET
const std::string kFrontEndLine = "Application was optimized";
#else
const std::string kFrontEndLine = "Unable to optimize application";  // no engine in this build
#endif

// The front-end is compacted, then the server backs up, and nothing else: settings
// cannot add statements of their own, so a hostile database name and a folder
// with an apostrophe reach the server as one quoted backup statement.
TEST_F(UnattendedSqlServerRun, CompactsTheFrontEndThenHasTheServerBackUpAndNothingElse) {
    const std::string with = " WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10";
    TdsEndpoint endpoint;
    for (const char* folder : {"Bak", "O'Brien"}) std::filesystem::create_directories(endpoint.disk() / "E" / folder);
    EXPECT_EQ(RunAgainst(endpoint.port()), kFrontEndLine == "Application was optimized" ? 0 : 1);
    Set("Locations", "DbaseName", "PB]; DROP DATABASE x; --");
    Set("Locations", "BKpath", "E:\\O'Brien");
    RunAgainst(endpoint.port());
    EXPECT_EQ(endpoint.Recorded("batch"),
              (std::vector<std::string>{"BACKUP DATABASE PB To DISK = 'E:\\Bak\\PB.bak'" + with,
                                        "BACKUP DATABASE [PB]]; DROP DATABASE x; --] To DISK = 'E:\\O''Brien\\PB]; DROP "
                                        "DATABASE x; --.bak'" + with}));
    EXPECT_EQ(endpoint.Recorded("login-database"), (std::vector<std::string>{"PB", "PB]; DROP DATABASE x; --"}));
    EXPECT_TRUE(std::filesystem::exists(endpoint.disk() / "E" / "Bak" / "PB.bak"));
    const auto messages = LogMessages();
    ASSERT_EQ(messages.size(), 6u) << ReadFile(home / "Dorvane_log.txt");
    EXPECT_EQ(messages[0].substr(0, kFrontEndLine.size()), kFrontEndLine);
    EXPECT_EQ(messages[1], "Backup was created   E:\\Bak\\PB.bak");
    EXPECT_EQ(messages[2], std::string(37, '-'));
}

TEST_F(UnattendedSqlServerRun, LogsTheServersWordsAndWhyTheServerWasNotReached) {
    {
        TdsEndpoint endpoint;  // E:\Bak does not exist on this "server"
        EXPECT_EQ(RunAgainst(endpoint.port()), 1);
    }
    EXPECT_EQ(RunAgainst(testing::UnusedPort()), 1);
    const auto messages = LogMessages();
    ASSERT_EQ(messages.size(), 6u) << ReadFile(home / "Dorvane_log.txt");
    EXPECT_EQ(messages[1].rfind("Operation Failed   [FreeTDS][SQL Server]Cannot open backup device 'E:\\Bak\\PB.bak'.", 0), 0u)
        << messages[1];
    EXPECT_EQ(messages[4].rfind("Operation Failed   Running the statement failed: the connection is not open. "
                                "Opening it failed: [FreeTDS][SQL Server]", 0), 0u)
        << messages[4];
}

}  // namespace
}  // namespace dorvane::odbc
