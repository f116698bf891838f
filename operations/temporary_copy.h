#pragma once
// Temp.bk0, the compacted copy that a compaction writes beside its file
// before copying it back. What protects the file and what merely blocks the
// next run differs with who made it.

#include <string>

namespace dorvane {

class Runtime;
struct ErrorState;

// A Temp.bk0 found before the compaction starts may be the only good copy of
// the file (a run stopped while copying it back): it blocks the compaction,
// and the reason says what it may hold and how to clear it.
void RefuseLeftoverTemporary(Runtime& rt, const std::string& temporary, const std::string& fileName);

// Copies the temporary file over the source. When that fails with the source
// known to be as it was, the copy this run made protects nothing and is
// deleted, so that one full disk does not block every later run; when the
// source may have changed, it stays. False on failure, with the reason.
bool CopyBack(Runtime& rt, const std::string& temporary, const std::string& source, ErrorState& error);

}  // namespace dorvane
