#include "tests/jet/test_files.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#else
#include <sys/wait.h>
#endif

namespace dorvane::jet::testing {

std::filesystem::path TestDataFolder() {
    if (const char* folder = std::getenv("DORVANE_TESTDATA"); folder != nullptr && *folder != '\0') return folder;
    return DORVANE_TESTDATA;
}

std::vector<std::filesystem::path> AllTestDatabases() {
    std::vector<std::filesystem::path> files;
    for (const char* sub : {"mdb/jet3", "mdb/jet4", "products"}) {
        const auto folder = TestDataFolder() / sub;
        if (!std::filesystem::exists(folder)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension() == ".mdb" && entry.file_size() > 0) files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::filesystem::path ProductFile(const std::string& name) { return TestDataFolder() / "products" / name; }

TempFolder::TempFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("dorvane-jet-test-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempFolder::Copy(const std::filesystem::path& file, const std::string& name) const {
    const auto target = path_ / (name.empty() ? file.filename().string() : name);
    std::filesystem::copy_file(file, target, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return target;
}

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 65536> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), got);
    const int status = ::pclose(pipe);
#ifdef _WIN32
    result.status = status;
#else
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return result;
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

}  // namespace dorvane::jet::testing
