#pragma once
// The file operations on the machine's own file system.

#include "core/components/file_system.h"

namespace dorvane {

class LocalFileSystem final : public FileSystem {
public:
    bool Exists(const std::string& path) override;
    std::optional<std::uint64_t> FileSize(const std::string& path) override;
    void CopyFile(const std::string& source, const std::string& destination) override;
    void DeleteFile(const std::string& path) override;
    void RenameReplace(const std::string& from, const std::string& to) override;
    std::vector<std::string> ListMatching(const std::string& folder, std::string_view pattern) override;
    void AppendToFile(const std::string& path, std::string_view text, TextFile kind) override;
};

// "*" any run, "?" one character; ASCII letters match without regard to case.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace dorvane
