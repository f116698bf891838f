#pragma once
// A damaged copy of a sound file for timing a repair that must salvage: in
// the table with the most rows, one leaf page of its first index and one of
// its data pages, each from the middle, zeroed.

#include <filesystem>

namespace dorvane::bench {

// False when the file has no user table with an index and rows to damage.
bool MakeDamagedCopy(const std::filesystem::path& file, const std::filesystem::path& to);

}  // namespace dorvane::bench
