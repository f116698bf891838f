#include "tests/odbc/odbc_test_support.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace dorvane::odbc::testing {
void RegisterTestDrivers(const std::string& sqlServerDriver) {
    static TempDir config;  // unixODBC reads these files at every connect
    std::ofstream(config / "odbcinst.ini") << "[SQL Server]\nDriver=" << sqlServerDriver << "\n\n"
                                           << "[SQLite3]\nDriver=" << DORVANE_TEST_SQLITE_DRIVER << "\n";
    std::ofstream(config / "odbc.ini") << "";
    std::ofstream(config / "freetds.conf") << "";
    setenv("ODBCSYSINI", config.path().c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", (config / "odbc.ini").c_str(), 1);
    setenv("FREETDSCONF", (config / "freetds.conf").c_str(), 1);
    setenv("TDSVER", "7.4", 1);  // one protocol attempt per connect, no fall-back to TDS 5.0
    for (const char* name : {"TDSPORT", "DORVANE_SQL_USER", "DORVANE_SQL_PASSWORD"}) unsetenv(name);
}

TdsEndpoint::TdsEndpoint(const Options& options) {
    std::filesystem::create_directory(disk());
    std::filesystem::create_directory(dir_ / "record");
    std::string command = "exec python3 " + ShellQuoted(DORVANE_TEST_TDS_ENDPOINT);
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"--record", (dir_ / "record").string()},
             {"--port-file", (dir_ / "port").string()},
             {"--disk-root", disk().string()},
             {"--login", options.login},
             {"--reply", options.reply},
             {"--rows", options.rows},
             {"--message", options.message.empty() ? "failed" : options.message}})
        command += " " + name + " " + ShellQuoted(value);
    process_.reset(popen(command.c_str(), "we"));  // its end of the pipe stays out of other children
    for (int i = 0; i < 1000 && process_ && !std::filesystem::exists(dir_ / "port"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream(dir_ / "port") >> port_;
    if (port_ == 0) throw std::runtime_error("the TDS endpoint did not start");
}

std::vector<std::string> TdsEndpoint::Recorded(const std::string& kind) const {
    std::ifstream in(dir_ / "record" / kind, std::ios::binary);
    std::vector<std::string> texts;
    for (std::string text; std::getline(in, text, '\0');) texts.push_back(text);
    return texts;
}

int UnusedPort() { return TdsEndpoint().port(); }  // it stopped: nothing listens there now

}  // namespace dorvane::odbc::testing
