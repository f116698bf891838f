#pragma once
// Real ODBC drivers registered in a temporary odbcinst.ini (no system file is
// touched), and the test-only TDS endpoint run as a child process.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace dorvane::odbc::testing {

// A temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Sets (or with nullopt, unsets) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// Registers FreeTDS (or `sqlServerDriver`) as "SQL Server" and the SQLite
// driver as "SQLite3" in a private odbcinst.ini and points unixODBC and FreeTDS
// at private files. Call once per process, before the first connection.
void RegisterTestDrivers(const std::string& sqlServerDriver = DORVANE_TEST_TDS_DRIVER);

// One endpoint process on 127.0.0.1; stopped when the object goes.
class TdsEndpoint {
public:
    struct Options {
        std::string login = "ok";   // ok | refuse | silent
        std::string reply = "ok";   // ok | error | {info,done,count}-then-error
        std::string message;        // text of the error that `reply` sends
        std::string rows = "[]";    // JSON list of what a SELECT returns
    };
    explicit TdsEndpoint(const Options& options);
    TdsEndpoint() : TdsEndpoint(Options{}) {}
    ~TdsEndpoint();
    TdsEndpoint(const TdsEndpoint&) = delete;
    TdsEndpoint& operator=(const TdsEndpoint&) = delete;

    int port() const { return port_; }
    // The folder that stands for the server's drives ("E:\Bak" is disk()/E/Bak).
    std::filesystem::path disk() const { return dir_.path() / "disk"; }
    std::string ConnectionString(const std::string& database) const;

    // The texts of one kind that reached the endpoint, in order. Kinds: batch,
    // login-user, login-password, login-database, login-server, login-sspi.
    std::vector<std::string> Recorded(const std::string& kind) const;
    std::vector<std::string> Batches() const { return Recorded("batch"); }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

std::string ReadFile(const std::filesystem::path& path);

// A TCP port on 127.0.0.1 where nothing listens.
int UnusedPort();

}  // namespace dorvane::odbc::testing
