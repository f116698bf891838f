#include "core/ascii.h"
#include "engines/files/local_file_system.h"

#include <cstdint>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/paths.h"
#include "platform/ansi_text.h"
#include "platform/file.h"
#include "platform/native_path.h"

namespace dorvane {
namespace {

namespace fs = std::filesystem;

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool LocalFileSystem::Exists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(ToNativePath(path), ec);
}

std::optional<std::uint64_t> LocalFileSystem::FileSize(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(ToNativePath(path), ec);
    if (ec) return std::nullopt;
    return static_cast<std::uint64_t>(size);
}

// The copy replaces the destination only once it is complete and on disk
// (platform::Replacement), so a failure part-way leaves the destination as
// it was, and a destination that a product has open is refused.
void LocalFileSystem::CopyFile(const std::string& source, const std::string& destination) {
    bool unchanged = true;
    try {
        NamingPathsAsGiven({source, destination}, [&] {
            platform::File in = platform::File::Open(ToNativePath(source), platform::Access::kRead);
            std::error_code ec;
            const fs::perms sourcePermissions = fs::status(in.path(), ec).permissions() & fs::perms::mask;
            platform::Replacement out(ToNativePath(destination), static_cast<unsigned>(sourcePermissions));
            std::vector<std::uint8_t> buffer(1 << 20);
            while (const std::size_t got = in.Read(buffer)) {
                out.file().Write(std::string_view(reinterpret_cast<const char*>(buffer.data()), got));
            }
            try {
                out.Commit();
            } catch (const Error&) {
                unchanged = out.TargetUnchanged();
                throw;
            }
        });
    } catch (const Error& e) {
        if (!unchanged) throw;
        throw DestinationUnchanged(e);
    }
}

void LocalFileSystem::DeleteFile(const std::string& path) {
    NamingPathsAsGiven({path}, [&] { platform::RemoveFile(ToNativePath(path)); });
}

void LocalFileSystem::RenameReplace(const std::string& from, const std::string& to) {
    NamingPathsAsGiven({from, to}, [&] { platform::RenameFile(ToNativePath(from), ToNativePath(to)); });
}

void LocalFileSystem::AppendToFile(const std::string& path, std::string_view text, TextFile kind) {
    const std::string bytes = SystemTextFileBytes(text, kind == TextFile::kBatch ? CodePage::kOem : CodePage::kAnsi);
    NamingPathsAsGiven({path}, [&] {
        platform::File file = platform::File::OpenForAppend(ToNativePath(path));
        file.Write(bytes);
        file.Close();
    });
}

// Every name is matched here rather than by the system's own wildcards,
// which on Windows also match the short 8.3 names.
std::vector<std::string> LocalFileSystem::ListMatching(const std::string& folder, std::string_view pattern) {
    std::vector<std::string> matches;
    std::error_code ec;
    fs::directory_iterator it(ToNativePath(folder.empty() ? std::string("\\") : folder), ec);
    if (ec) return matches;
    for (const auto& entry : it) {
        std::error_code typeError;
        if (!entry.is_regular_file(typeError)) continue;
        const std::string name = PathText(entry.path().filename());
        if (WildcardMatch(pattern, name)) matches.push_back(JoinPath(folder, name));
    }
    return matches;
}

}  // namespace dorvane
