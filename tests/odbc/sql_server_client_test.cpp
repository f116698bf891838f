// The client, and the dorvane program, against Debian's FreeTDS driver registered
// as "SQL Server" and the test-only TDS endpoint standing in for the server.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "core/error.h"
#include "engines/odbc/odbc_client.h"
#include "tests/support/error_of.h"
#include "tests/odbc/odbc_test_support.h"

namespace dorvane::odbc {
namespace {

using testing::TdsEndpoint;

const std::string kBackupPB =
    "BACKUP DATABASE PB To DISK = 'E:\\Bak\\PB.bak' WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10";

// The description of the Error that `work` throws; empty text, which no expected words match, when none.
std::string FailureOf(const std::function<void()>& work) {
    std::string why;
    return dorvane::testing::ErrorOf(work, &why) != 0 ? why : std::string();
}

class SqlServerClient : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::RegisterTestDrivers(); }
    void SetUp() override {
        setenv("DORVANE_SQL_USER", "dorvane", 1);
        setenv("DORVANE_SQL_PASSWORD", "secret", 1);
    }

    // The way the backup uses the client: an open connection and a text command on it.
    struct Session {
        std::unique_ptr<SqlConnection> connection;
        std::unique_ptr<SqlCommand> command;
    };
    Session Connect(const std::string& connectionString, const std::string& statement, bool open = true) {
        Session s{client->NewConnection(), client->NewCommand()};
        s.connection->SetConnectionString(connectionString);
        if (open) s.connection->Open();
        s.command->SetActiveConnection(*s.connection);
        s.command->SetCommandText(statement);
        s.command->SetCommandType(1);
        return s;
    }
    void Run(const std::string& connectionString, const std::string& statement) {
        Session s = Connect(connectionString, statement);
        s.command->Execute();
        s.connection->Close();
    }

    std::unique_ptr<SqlClient> client = MakeSqlClient();
};

// Hostile text (quotes, a batch separator, text beyond the BMP) arrives as one unchanged batch.
TEST_F(SqlServerClient, StatementsReachTheServerByteForByte) {
    const std::string hostile =
        "BACKUP DATABASE [PB]]; DROP DATABASE x; --] To DISK = 'E:\\Bak''s\\PB]; DROP DATABASE x; --.bak' "
        "WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10\r\nGO\n-- D\xC3\xB6kumente \xE2\x82\xAC "
        "\xF0\x9D\x84\x9E";
    TdsEndpoint endpoint;  // the plain statement: the program test below
    std::filesystem::create_directories(endpoint.disk() / "E" / "Bak's");
    Run(endpoint.ConnectionString(), hostile);
    EXPECT_EQ(endpoint.Recorded("batch"), std::vector<std::string>{hostile});
    EXPECT_TRUE(std::filesystem::exists(endpoint.disk() / "E" / "Bak's" / "PB]; DROP DATABASE x; --.bak"));
}

TEST_F(SqlServerClient, ServerErrorsCarryTheServersWordsAndTheConnectionStaysUsable) {
    TdsEndpoint endpoint;  // E:\Bak does not exist on the "server"
    Session s = Connect(endpoint.ConnectionString(), kBackupPB);
    const std::string failure = FailureOf([&] { s.command->Execute(); });
    for (const char* words : {"Cannot open backup device 'E:\\Bak\\PB.bak'. Operating system error 3(The system "
                              "cannot find the path specified.).",
                              "native error 3201", "BACKUP DATABASE is terminating abnormally."})
        EXPECT_NE(failure.find(words), std::string::npos) << failure;
    EXPECT_EQ(failure.find('\n'), std::string::npos);
    s.command->SetCommandText("SELECT 1");
    EXPECT_NO_THROW(s.command->Execute());
    EXPECT_NO_THROW(s.connection->Close());

    for (const std::string reply : {"error", "info-then-error", "done-then-error", "count-then-error"}) {
        TdsEndpoint failing({"ok", reply, "Backup refused by policy 42."});
        const std::string later = FailureOf([&] { Run(failing.ConnectionString(), "EXEC dbo.Backup"); });
        EXPECT_NE(later.find("Backup refused by policy 42. (SQLSTATE"), std::string::npos) << reply << ": " << later;
        EXPECT_NE(later.find("native error 50000"), std::string::npos) << reply << ": " << later;
    }
}

TEST_F(SqlServerClient, RecordSetGivesTheFirstRowInTheServersText) {
    const std::string query = "SELECT DocumentPath FROM doclib WHERE LibCode='lib1'";
    struct Case {
        std::string rows;
        std::optional<std::string> first;  // nullopt: Null
        long error;
    };
    for (const Case& c :
         std::vector<Case>{{R"(["S:\\D\u00f6kumente \u20ac \ud834\udd1e", "T:\\Second"])",
                            "S:\\D\xC3\xB6kumente \xE2\x82\xAC \xF0\x9D\x84\x9E", 0},
                           {"[\"" + std::string(3000, 'd') + "\"]", std::string(3000, 'd'), 0},  // read whole
                           {"[\"\"]", std::string(), 0},                                         // empty, not Null
                           {"[null]", std::nullopt, 0},
                           {"[]", std::nullopt, errc::kNoCurrentRecord}}) {
        SCOPED_TRACE(c.rows.substr(0, 20));
        TdsEndpoint endpoint({"ok", "ok", "", c.rows});
        Session s = Connect(endpoint.ConnectionString(), query);
        auto records = client->NewRecordset();
        records->Open(query, *s.connection);
        try {
            records->MoveFirst();
            const FieldValue value = records->Field("documentPATH");
            EXPECT_EQ(c.error, 0);
            EXPECT_EQ(value.is_null, !c.first.has_value());
            EXPECT_EQ(value.text, c.first.value_or(""));
            EXPECT_NE(FailureOf([&] { records->Field("Path"); }).find("no field named \"Path\""), std::string::npos);
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), c.error) << error.description();
        }
        records->Close();
        s.connection->Close();
        EXPECT_EQ(endpoint.Recorded("batch"), std::vector<std::string>{query});
    }
}

TEST_F(SqlServerClient, SignInWithTheSqlLoginOrIntegratedAndRefusalsInTheServersWords) {
    TdsEndpoint signing;
    setenv("DORVANE_SQL_PASSWORD", "p;w}d=x {y}", 1);
    Run(signing.ConnectionString(), "SELECT 1");
    Run(signing.ConnectionString() + ";UID=sa;PWD=own", "SELECT 1");  // a user in the string wins
    unsetenv("DORVANE_SQL_PASSWORD");
    Run(signing.ConnectionString(), "SELECT 1");
    EXPECT_EQ(signing.Recorded("login-user"), (std::vector<std::string>{"dorvane", "sa", "dorvane"}));
    EXPECT_EQ(signing.Recorded("login-password"), (std::vector<std::string>{"p;w}d=x {y}", "own", ""}));
    EXPECT_EQ(signing.Recorded("login-sspi"), (std::vector<std::string>{"no", "no", "no"}));
    TdsEndpoint refusing({"refuse", "ok", ""});
    const std::string refused = FailureOf([&] { Run(refusing.ConnectionString(), kBackupPB); });
    EXPECT_NE(refused.find("Login failed for user 'dorvane'."), std::string::npos) << refused;
    EXPECT_TRUE(refusing.Recorded("batch").empty());

    TdsEndpoint endpoint;
    setenv("DORVANE_SQL_USER", "", 1);  // an empty user: integrated, and FreeTDS needs a Kerberos ticket
    const std::string integrated = FailureOf([&] { Run(endpoint.ConnectionString(), kBackupPB); });
    EXPECT_NE(integrated.find("[FreeTDS]"), std::string::npos) << integrated;
    EXPECT_TRUE(endpoint.Recorded("login-user").empty());  // failed before any login packet
}

TEST_F(SqlServerClient, UnreachableServersFailWithTheDriversWordsWithinTheTimeOut) {
    const std::string refused =
        "driver={SQL Server};server=127.0.0.1," + std::to_string(testing::UnusedPort()) + ";database=PB";
    for (const std::string& text :
         {refused, std::string("driver={SQL Server};server=no-such-host.invalid;database=PB")}) {
        SCOPED_TRACE(text);
        Session s = Connect(text, kBackupPB, false);
        const std::string openFailure = FailureOf([&] { s.connection->Open(); });
        EXPECT_NE(openFailure.find("[FreeTDS][SQL Server]"), std::string::npos) << openFailure;
        EXPECT_NE(openFailure.find("SQLSTATE 08"), std::string::npos) << openFailure;
        EXPECT_FALSE(s.connection->IsOpen());
        // The command then fails, and its description still names the cause.
        const std::string executeFailure = FailureOf([&] { s.command->Execute(); });
        EXPECT_NE(executeFailure.find("the connection is not open. Opening it failed: " + openFailure),
                  std::string::npos)
            << executeFailure;
        EXPECT_NO_THROW(s.connection->Close());
    }
    TdsEndpoint silent({"silent", "ok", ""});
    client = MakeSqlClient(ClientOptions{2});  // seconds
    Session s = Connect(silent.ConnectionString(), kBackupPB, false);
    const std::string timedOut = FailureOf([&] { s.connection->Open(); });
    EXPECT_NE(timedOut.find("SQLSTATE HYT00"), std::string::npos) << timedOut;
}

TEST_F(SqlServerClient, AnUnregisteredDriverNameSaysWhatToRegister) {
    Session s = Connect("driver={SQL Server 2000};server=db01;database=PB", kBackupPB, false);
    const std::string unregistered = FailureOf([&] { s.connection->Open(); });
    EXPECT_NE(unregistered.find("SQL Server 2000"), std::string::npos) << unregistered;
    EXPECT_NE(unregistered.find("register it as \"SQL Server\""), std::string::npos) << unregistered;
}

// An unattended run for a SQL Server product compacts the front-end, then the server backs up; a hostile
// name and an apostrophe folder arrive as one quoted statement; failures are logged in the server's words.
TEST_F(SqlServerClient, TheProgramCompactsTheFrontEndThenHasTheServerBackUpAndLogsWhatHappened) {
    testing::TempDir home;
    auto run = [&](const std::string& program, const std::string& arguments) {
        const std::string line = "cd '" + home.path().string() + "' && XDG_CONFIG_HOME='" + (home / "config").string() +
                                 "' " + program + " " + arguments + " 2>'" + (home / "err").string() + "'";
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    auto set = [&](const std::string& section, const std::string& key, const std::string& value) {
        const std::string arguments = "set Bresk " + section + " " + key + " " + testing::ShellQuoted(value);
        ASSERT_EQ(run(DORVANE_TEST_SETTINGS_BIN, arguments), 0) << testing::ReadFile(home / "err");
    };
    auto runAgainst = [&](int port) {
        set("Locations", "SQLServer", "127.0.0.1," + std::to_string(port));
        return run(DORVANE_TEST_BIN, "/silent /Bresk");
    };
    ASSERT_EQ(run(DORVANE_TEST_JET_BIN, "create Bresk.mde >/dev/null"), 0);  // a front-end to compact
    for (const auto& [section, key, value] :
         std::vector<std::tuple<std::string, std::string, std::string>>{{"TitleBar", "sqlver", "1"},
                                                                        {"Locations", "APPPATH", home.path().string()},
                                                                        {"Locations", "DbaseName", "PB"},
                                                                        {"Locations", "BKpath", "E:\\Bak"}})
        set(section, key, value);
    const std::string with = " WITH NOFORMAT, INIT, SKIP, REWIND, NOUNLOAD,  STATS = 10";
    TdsEndpoint endpoint;
    for (const char* folder : {"Bak", "O'Brien"}) std::filesystem::create_directories(endpoint.disk() / "E" / folder);
    EXPECT_EQ(runAgainst(endpoint.port()), 0);
    set("Locations", "BKpath", "E:\\Missing");
    EXPECT_EQ(runAgainst(endpoint.port()), 1);
    set("Locations", "DbaseName", "PB]; DROP DATABASE x; --");
    set("Locations", "BKpath", "E:\\O'Brien");
    EXPECT_EQ(runAgainst(endpoint.port()), 0);
    EXPECT_EQ(runAgainst(testing::UnusedPort()), 1);
    EXPECT_EQ(
        endpoint.Recorded("batch"),
        (std::vector<std::string>{"BACKUP DATABASE PB To DISK = 'E:\\Bak\\PB.bak'" + with,
                                  "BACKUP DATABASE PB To DISK = 'E:\\Missing\\PB.bak'" + with,
                                  "BACKUP DATABASE [PB]]; DROP DATABASE x; --] To DISK = 'E:\\O''Brien\\PB]; DROP "
                                  "DATABASE x; --.bak'" +
                                      with}));
    EXPECT_EQ(endpoint.Recorded("login-database"), (std::vector<std::string>{"PB", "PB", "PB]; DROP DATABASE x; --"}));
    EXPECT_TRUE(std::filesystem::exists(endpoint.disk() / "E" / "Bak" / "PB.bak"));
    const std::string log = testing::ReadFile(home / "Dorvane_log.txt");
    for (const std::string line :
         {"Application was optimized\r\n", "Backup was created   E:\\Bak\\PB.bak\r\n",
          "Operation Failed   [FreeTDS][SQL Server]Cannot open backup device 'E:\\Missing\\PB.bak'.",
          "Backup was created   E:\\O'Brien\\PB]; DROP DATABASE x; --.bak\r\n",
          "Operation Failed   Running the statement failed: the connection is not open. Opening it "
          "failed: [FreeTDS][SQL Server]",
          "-------------------------------------\r\n"})
        EXPECT_NE(log.find("     " + line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("Dbase"), std::string::npos) << "an Access step ran: " << log;
}

}  // namespace
}  // namespace dorvane::odbc
