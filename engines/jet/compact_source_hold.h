#pragma once
// Keeps the source database from being opened for writing by anyone else
// while it is compacted, and refuses when someone already uses it.

#include <filesystem>

namespace dorvane::jet::compact {

class SourceHold {
public:
    // Throws kInUse naming the file when another process uses it.
    explicit SourceHold(const std::filesystem::path& source);
    ~SourceHold();
    SourceHold(const SourceHold&) = delete;
    SourceHold& operator=(const SourceHold&) = delete;

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

}  // namespace dorvane::jet::compact
