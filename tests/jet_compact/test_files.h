#pragma once
// The real databases the compaction tests run on, and small helpers around
// them: copies in a temporary folder and commands whose output is compared.

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace dorvane::testing {

inline std::filesystem::path TestData() { return DORVANE_TESTDATA; }

// Every non-empty .mdb under mdb/ and products/, sorted.
inline std::vector<std::filesystem::path> CompactionInputs() {
    std::vector<std::filesystem::path> out;
    for (const char* dir : {"mdb", "products"}) {
        const auto root = TestData() / dir;
        if (!std::filesystem::exists(root)) continue;
        for (const auto& e : std::filesystem::recursive_directory_iterator(root))
            if (e.is_regular_file() && e.path().extension() == ".mdb" && e.file_size() > 0) out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A writable copy of a test file in `dir`.
inline std::filesystem::path CopyInto(const TempDir& dir, const std::filesystem::path& file) {
    const auto to = dir / file.filename().string();
    std::filesystem::copy_file(file, to, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return to;
}

struct CommandResult {
    int status = -1;
    std::string output;
};

// Runs a shell command, capturing standard output (standard error is kept
// apart so that warnings do not enter a comparison).
inline CommandResult RunCommand(const std::string& command) {
    CommandResult r;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return r;
    std::array<char, 65536> buffer{};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.output.append(buffer.data(), n);
    r.status = ::pclose(pipe);
    return r;
}

inline std::string Quote(const std::filesystem::path& p) {
    std::string out = "'";
    for (char c : p.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline bool HaveCommand(const std::string& name) { return RunCommand("command -v " + name + " >/dev/null 2>&1").status == 0; }

}  // namespace dorvane::testing
