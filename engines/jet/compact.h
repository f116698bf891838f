#pragma once
// Compaction of a Jet 3 / Jet 4 file into a new file.

#include <filesystem>

namespace dorvane::jet {

// Writes a compacted copy of `source` to `destination`; the source is never
// written. Throws dorvane::Error.
void CompactFile(const std::filesystem::path& source, const std::filesystem::path& destination);

}  // namespace dorvane::jet
