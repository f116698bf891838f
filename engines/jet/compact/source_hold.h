#pragma once
// Keeps the source database from being used by anyone else while it is
// compacted, and refuses when someone already uses it (the database or its
// lock file claimed by another program: see lock.h). The compaction's own
// reading of the file is not kept out.

#include <filesystem>

#include "engines/jet/format/lock.h"

namespace dorvane::jet::compact {

class SourceHold {
public:
    // Throws kInUse naming the file when another program uses it.
    explicit SourceHold(const std::filesystem::path& source);

private:
    ExclusiveHold hold_;
};

}  // namespace dorvane::jet::compact
