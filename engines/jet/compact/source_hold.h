#pragma once
// Keeps the source database from being used by anyone else while it is
// compacted, and refuses when someone already uses it (the database or its
// lock file locked, or on Windows open for writing).

#include <filesystem>
#include <optional>

#include "engines/jet/lock.h"

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
    // Windows: the database open for reading with read sharing only, and its
    // lock file with no sharing. (An exclusive hold would keep out the
    // compaction's own reading of the file as well.)
    void* database_ = nullptr;
    void* lock_file_ = nullptr;
#else
    std::optional<ExclusiveHold> hold_;
#endif
};

}  // namespace dorvane::jet::compact
