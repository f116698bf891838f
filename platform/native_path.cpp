#include "platform/native_path.h"

#include <optional>

namespace dorvane {

Error WithPathsAsGiven(const Error& error, std::initializer_list<std::string_view> texts) {
    return error.WithPaths([&](const std::string& named) -> std::optional<std::string> {
        for (const std::string_view text : texts) {
            const std::filesystem::path native = ToNativePath(text);
            if (PathText(native) == named) return std::string(text);
        }
        // A file beside one of them: its lock file, a copy being written.
        for (const std::string_view text : texts) {
            const std::size_t lastSeparator = text.find_last_of("\\/");
            if (lastSeparator == std::string_view::npos || lastSeparator == 0) continue;
            const std::string folder = PathText(ToNativePath(text).parent_path() / "");
            const std::string_view name = std::string_view(named).substr(std::min(folder.size(), named.size()));
            if (named.starts_with(folder) && !name.empty() && name.find_first_of("\\/") == std::string_view::npos)
                return std::string(text.substr(0, lastSeparator + 1)) + std::string(name);
        }
        return std::nullopt;
    });
}

}  // namespace dorvane
