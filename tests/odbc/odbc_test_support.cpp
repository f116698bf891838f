#include "tests/odbc/odbc_test_support.h"

#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <utility>
#include <stdexcept>

extern char** environ;

namespace dorvane::odbc::testing {
namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate =
            fs::temp_directory_path() / ("dorvane-odbc-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("no temporary folder could be made");
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) saved_ = old;
    if (value)
        setenv(name_.c_str(), value->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
    if (saved_)
        setenv(name_.c_str(), saved_->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

void RegisterTestDrivers(const std::string& sqlServerDriver) {
    // Lives until the process ends: unixODBC reads these files at every connect.
    static TempDir config;
    std::ofstream(config.path() / "odbcinst.ini")
        << "[SQL Server]\nDriver=" << sqlServerDriver << "\n\n"
        << "[SQLite3]\nDriver=" << DORVANE_TEST_SQLITE_DRIVER << "\n";
    std::ofstream(config.path() / "odbc.ini") << "";
    std::ofstream(config.path() / "freetds.conf") << "";
    setenv("ODBCSYSINI", config.path().c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", (config.path() / "odbc.ini").c_str(), 1);
    setenv("FREETDSCONF", (config.path() / "freetds.conf").c_str(), 1);
    // One protocol attempt per connect, no fall-back to TDS 5.0.
    setenv("TDSVER", "7.4", 1);
    unsetenv("TDSPORT");
    unsetenv("DORVANE_SQL_USER");
    unsetenv("DORVANE_SQL_PASSWORD");
}

TdsEndpoint::TdsEndpoint(const Options& options) {
    fs::create_directory(disk());
    std::vector<std::string> args = {"python3",  DORVANE_TEST_TDS_ENDPOINT,
                                     "--record", (dir_.path() / "record").string(),
                                     "--disk-root", disk().string(),
                                     "--login",  options.login,
                                     "--reply",  options.reply,
                                     "--rows",   options.rows};
    if (!options.message.empty()) {
        args.push_back("--message");
        args.push_back(options.message);
    }
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const int rc = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        throw std::runtime_error("python3 could not be started");
    }
    FILE* out = fdopen(pipeFds[0], "r");
    char line[64] = {};
    const bool got = out != nullptr && std::fgets(line, sizeof line, out) != nullptr &&
                     std::sscanf(line, "PORT %d", &port_) == 1;
    if (out != nullptr) std::fclose(out);
    if (!got) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        throw std::runtime_error("the TDS endpoint did not start");
    }
}

TdsEndpoint::~TdsEndpoint() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

std::string TdsEndpoint::ConnectionString(const std::string& database) const {
    return "driver={SQL Server};server=127.0.0.1," + std::to_string(port_) +
           ";database=" + database;
}

std::vector<std::string> TdsEndpoint::Recorded(const std::string& kind) const {
    std::ifstream in(dir_.path() / "record", std::ios::binary);
    std::vector<std::string> texts;
    std::string k;
    std::size_t length = 0;
    while (in >> k >> length) {
        in.get();  // the line break after the count
        std::string text(length, '\0');
        in.read(text.data(), static_cast<std::streamsize>(length));
        in.get();
        if (k == kind) texts.push_back(text);
    }
    return texts;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(fs::file_size(path)), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    return text;
}

int UnusedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);  // nothing listens there now
    return ntohs(address.sin_port);
}

}  // namespace dorvane::odbc::testing
