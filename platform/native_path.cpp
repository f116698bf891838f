#include "platform/native_path.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace dorvane {
namespace {

// Replaces `native` where a quote opens it, as messages quote their paths.
void ReplaceQuoted(std::string& message, const std::string& native, std::string_view given) {
    for (std::size_t at = message.find(native); at != std::string::npos; at = message.find(native, at)) {
        if (at > 0 && (message[at - 1] == '"' || message[at - 1] == '\'')) {
            message.replace(at, native.size(), given);
            at += given.size();
        } else {
            at += native.size();
        }
    }
}

}  // namespace

Error WithPathsAsGiven(const Error& error, std::initializer_list<std::string_view> texts) {
    std::vector<std::pair<std::string, std::string_view>> forms;  // native text, given text
    for (const std::string_view text : texts) {
        const std::filesystem::path native = ToNativePath(text);
        if (PathText(native) == text) continue;
        forms.emplace_back(PathText(native), text);
        // The folder with its separator, so that only names inside it match;
        // never the bare root, which every absolute path starts with.
        const std::size_t lastSeparator = text.find_last_of("\\/");
        if (lastSeparator != std::string_view::npos && lastSeparator > 0)
            forms.emplace_back(PathText(native.parent_path() / ""), text.substr(0, lastSeparator + 1));
    }
    // The longest first: a file before its folder, a folder before the one it is in.
    std::stable_sort(forms.begin(), forms.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    std::string message = error.description();
    for (const auto& [native, given] : forms) ReplaceQuoted(message, native, given);
    return Error(error.number(), message);
}

}  // namespace dorvane
