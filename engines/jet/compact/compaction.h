#pragma once
// Compaction of a Jet 3 / Jet 4 file into a new file.

#include <cstdint>
#include <filesystem>

namespace dorvane::jet {

// What a compaction did, for the companion tool and the benchmark.
struct CompactSummary {
    std::uint32_t source_pages = 0;
    std::uint32_t copy_pages = 0;
    std::uint32_t holes = 0;  // empty pages left between table definitions
    std::size_t tables = 0;
    std::uint64_t rows = 0;
    std::uint64_t long_values = 0;
    std::uint64_t index_entries = 0;
    std::uint64_t peak_index_bytes = 0;
};

// Writes a compacted copy of `source` to `destination` and checks it against
// the source before returning; the source is never written and is held
// against other users throughout. The destination is created exclusively and
// removed again on any failure. Throws dorvane::Error.
void CompactFile(const std::filesystem::path& source, const std::filesystem::path& destination);
void CompactFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                 CompactSummary& summary);

}  // namespace dorvane::jet
