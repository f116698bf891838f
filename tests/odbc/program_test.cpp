// The dorvane program, run unattended for a product whose data lives in SQL
// Server, against the test-only TDS endpoint through FreeTDS.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "tests/odbc/odbc_test_support.h"

namespace dorvane::odbc {
namespace {

using testing::ReadFile;
using testing::TdsEndpoint;

class UnattendedSqlServerRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::RegisterTestDrivers(); }

    void SetUp() override {
        std::filesystem::copy_file(DORVANE_TEST_FRONT_END, home.path() / "Bresk.mde");
        Set("TitleBar", "sqlver", "1");
        Set("Locations", "APPPATH", home.path().string());
        Set("Locations", "DbaseName", "PB");
        Set("Locations", "BKpath", "E:\\Bak");
    }

    int Run(const std::string& command) {
        const std::string line = "cd '" + home.path().string() + "' && XDG_CONFIG_HOME='" +
                                 (home.path() / "config").string() + "' " + command + " >'" +
                                 (home.path() / "out").string() + "' 2>'" +
                                 (home.path() / "err").string() + "'";
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Set(const std::string& section, const std::string& key, const std::string& value) {
        std::string quoted;  // for the shell: ' ends the quotes, so it is written '\''
        for (char c : value) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        ASSERT_EQ(Run(std::string(DORVANE_TEST_SETTINGS_BIN) + " set Bresk " + section + " " + key +
                      " '" + quoted + "'"),
                  0)
            << ReadFile(home.path() / "err");
    }
    // The messages of the log, without their time stamps.
    std::vector<std::string> LogMessages() {
        const std::string log = ReadFile(home.path() / "Dorvane_log.txt");
        std::vector<std::string> messages;
        for (std::size_t at = 0; at < log.size();) {
            auto end = log.find("\r\n", at);
            if (end == std::string::npos) end = log.size();
            const std::string line = log.substr(at, end - at);
            const auto blanks = line.find("     ");
            messages.push_back(blanks == std::string::npos ? line : line.substr(blanks + 5));
            at = end + 2;
        }
        return messages;
    }

    testing::TempDir home;
    testing::ScopedEnv user{"DORVANE_SQL_USER", "dorvane"};
    testing::ScopedEnv password{"DORVANE_SQL_PASSWORD", "secret"};
};

#ifdef DORVANE_TEST_HAVE_JET
const char* const kFrontEndLine = "Application was optimized";
#else
const char* const kFrontEndLine = "Unable to optimize application";  // no engine in this build
#endif

TEST_F(UnattendedSqlServerRun, CompactsTheFrontEndThenHasTheServerBackUpAndNothingElse) {
    TdsEndpoint endpoint;
    std::filesystem::create_directories(endpoint.disk() / "E" / "Bak");
    Set("Locations", "SQLServer", "127.0.0.1," + std::to_string(endpoint.port()));

    Run(std::string(DORVANE_TEST_BIN) + " /silent /Bresk");

    EXPECT_EQ(endpoint.Batches(),
              std::vector<std::string>{"BACKUP DATABASE PB To DISK = 'E:\\Bak\\PB.bak' WITH NOFORMAT, "
                                       "INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10"});
    EXPECT_EQ(endpoint.Recorded("login-database"), std::vector<std::string>{"PB"});
    EXPECT_TRUE(std::filesystem::exists(endpoint.disk() / "E" / "Bak" / "PB.bak"));
    const auto messages = LogMessages();
    ASSERT_EQ(messages.size(), 3u) << ReadFile(home.path() / "Dorvane_log.txt");
    EXPECT_EQ(messages[0].substr(0, std::string(kFrontEndLine).size()), kFrontEndLine);
    EXPECT_EQ(messages[1], "Backup was created   E:\\Bak\\PB.bak");
    EXPECT_EQ(messages[2], std::string(37, '-'));
}

// Settings cannot add statements of their own: a hostile database name and a
// folder with an apostrophe reach the server as one quoted backup statement.
TEST_F(UnattendedSqlServerRun, HostileNamesReachTheServerAsOneQuotedStatement) {
    TdsEndpoint endpoint;
    std::filesystem::create_directories(endpoint.disk() / "E" / "O'Brien");
    Set("Locations", "SQLServer", "127.0.0.1," + std::to_string(endpoint.port()));
    Set("Locations", "DbaseName", "PB]; DROP DATABASE x; --");
    Set("Locations", "BKpath", "E:\\O'Brien");

    Run(std::string(DORVANE_TEST_BIN) + " /silent /Bresk");

    EXPECT_EQ(endpoint.Recorded("login-database"), std::vector<std::string>{"PB]; DROP DATABASE x; --"});
    EXPECT_EQ(endpoint.Batches(),
              std::vector<std::string>{"BACKUP DATABASE [PB]]; DROP DATABASE x; --] To DISK = "
                                       "'E:\\O''Brien\\PB]; DROP DATABASE x; --.bak' WITH NOFORMAT, "
                                       "INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10"});
}

TEST_F(UnattendedSqlServerRun, LogsTheServersWordsAndWhyTheServerWasNotReached) {
    {
        TdsEndpoint endpoint;  // E:\Bak does not exist on this "server"
        Set("Locations", "SQLServer", "127.0.0.1," + std::to_string(endpoint.port()));
        EXPECT_EQ(Run(std::string(DORVANE_TEST_BIN) + " /silent /Bresk"), 1);
    }
    Set("Locations", "SQLServer", "127.0.0.1," + std::to_string(testing::UnusedPort()));
    EXPECT_EQ(Run(std::string(DORVANE_TEST_BIN) + " /silent /Bresk"), 1);

    const auto messages = LogMessages();
    ASSERT_EQ(messages.size(), 6u) << ReadFile(home.path() / "Dorvane_log.txt");
    EXPECT_EQ(messages[1].rfind("Operation Failed   [FreeTDS][SQL Server]Cannot open backup device 'E:\\Bak\\PB.bak'.", 0), 0u)
        << messages[1];
    EXPECT_EQ(messages[4].rfind("Operation Failed   Running the statement failed: the connection is "
                                "not open. Opening it failed: [FreeTDS][SQL Server]",
                                0),
              0u)
        << messages[4];
}

}  // namespace
}  // namespace dorvane::odbc
