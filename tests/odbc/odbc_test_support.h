#pragma once
// Real ODBC drivers registered in a private odbcinst.ini (no system file is
// touched), and the test-only TDS endpoint as a child process.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace dorvane::odbc::testing {

using dorvane::testing::ReadFile;
using dorvane::testing::TempDir;

// `text` in single quotes for the shell.
inline std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Registers `sqlServerDriver` as "SQL Server" and SQLite's driver as "SQLite3",
// points unixODBC and FreeTDS at private files and clears the SQL login.
void RegisterTestDrivers(const std::string& sqlServerDriver = DORVANE_TEST_TDS_DRIVER);

// One endpoint process on 127.0.0.1; it ends when the object goes.
class TdsEndpoint {
public:
    struct Options {
        std::string login = "ok";  // ok | refuse | silent
        std::string reply = "ok";  // ok | error | {info,done,count}-then-error
        std::string message;       // text of the error that `reply` sends
        std::string rows = "[]";   // JSON list of what a SELECT returns
    };
    explicit TdsEndpoint(const Options& options);
    TdsEndpoint() : TdsEndpoint(Options{}) {}

    int port() const { return port_; }
    // The folder that stands for the server's drives ("E:\Bak" is disk()/E/Bak).
    std::filesystem::path disk() const { return dir_ / "disk"; }
    std::string ConnectionString(const std::string& database = "PB") const {
        return "driver={SQL Server};server=127.0.0.1," + std::to_string(port_) + ";database=" + database;
    }
    // The texts of one kind that reached the endpoint, in order (kinds: batch,
    // login-user, login-password, login-database, login-sspi).
    std::vector<std::string> Recorded(const std::string& kind) const;

private:
    TempDir dir_;
    std::unique_ptr<FILE, int (*)(FILE*)> process_{nullptr, pclose};  // its standard input
    int port_ = 0;
};

// A TCP port on 127.0.0.1 where nothing listens.
int UnusedPort();

}  // namespace dorvane::odbc::testing
