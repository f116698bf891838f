#pragma once
// The real Access files of the test data, and temporary copies of them.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/error.h"

namespace dorvane::jet::testing {

std::filesystem::path TestDataFolder();
// Every non-empty .mdb under mdb/jet3, mdb/jet4 and products/, sorted.
std::vector<std::filesystem::path> AllTestDatabases();
std::filesystem::path ProductFile(const std::string& name);

// A fresh folder under the system temp folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Copies `file` into the folder (writable) and returns the copy's path.
    std::filesystem::path Copy(const std::filesystem::path& file, const std::string& name = {}) const;

private:
    std::filesystem::path path_;
};

// Output of a shell command (stdout), and its exit status.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const std::string& command);
std::string ShellQuote(const std::string& text);

// The number of the dorvane::Error `action` throws (and its description), or 0.
inline long ErrorNumberOf(const std::function<void()>& action, std::string* description = nullptr) {
    try {
        action();
    } catch (const Error& error) {
        if (description != nullptr) *description = error.description();
        return error.number();
    }
    return 0;
}

}  // namespace dorvane::jet::testing
