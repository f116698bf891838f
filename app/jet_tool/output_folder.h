#pragma once
// Folders the tool writes exported files into.

#include <filesystem>

namespace dorvane::jet_tool {

// Made, with the folders above it, where missing. Throws kPathNotFound
// naming the folder when it cannot be made (a file in the way, no right).
void CreateFolders(const std::filesystem::path& folder);

}  // namespace dorvane::jet_tool
