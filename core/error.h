#pragma once
// Errors as the components report them: a number and a description. Every
// component (engine, SQL client, file system) throws dorvane::Error; the
// operations catch it step by step into their ErrorState.

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane {

// A path an error names: its text as written into the description, and where.
struct PathMention {
    std::size_t at;
    std::string text;
};

// An error's words with the paths they name kept apart, so that a caller can
// restate a path (as the settings hold it) without reading the prose.
class ErrorText {
public:
    ErrorText() = default;
    explicit ErrorText(std::string_view words) : text_(words) {}
    ErrorText& operator<<(std::string_view words) {
        text_ += words;
        return *this;
    }
    ErrorText& operator<<(const ErrorText& more) {
        for (const PathMention& path : more.paths_) paths_.push_back({text_.size() + path.at, path.text});
        text_ += more.text_;
        return *this;
    }
    // The path's text in double quotes.
    ErrorText& Path(std::string_view path_text) {
        text_ += '"';
        paths_.push_back({text_.size(), std::string(path_text)});
        text_ += path_text;
        text_ += '"';
        return *this;
    }
    const std::string& text() const noexcept { return text_; }
    const std::vector<PathMention>& paths() const noexcept { return paths_; }

private:
    std::string text_;
    std::vector<PathMention> paths_;
};

class Error : public std::runtime_error {
public:
    Error(long number, const std::string& description) : std::runtime_error(description), number_(number) {}
    Error(long number, const ErrorText& description)
        : std::runtime_error(description.text()), number_(number), paths_(description.paths()) {}
    // `context` says what is wrong in general ("damaged database"), `detail`
    // the particulars; the description joins them. A caller that words its
    // own context takes the detail alone, and never cuts the text apart.
    Error(long number, const std::string& context, const std::string& detail)
        : Error(number, context, ErrorText(detail)) {}
    Error(long number, const std::string& context, const ErrorText& detail)
        : std::runtime_error(context + ": " + detail.text()),
          number_(number),
          detail_at_(context.size() + 2),
          paths_(detail.paths()) {
        for (PathMention& path : paths_) path.at += detail_at_;
    }
    long number() const noexcept { return number_; }
    std::string description() const { return what(); }
    std::string detail() const { return description().substr(detail_at_); }
    // The paths the description names, in order.
    const std::vector<PathMention>& paths() const noexcept { return paths_; }
    // The same error with each path the description names as `restate` gives
    // it (std::nullopt: unchanged).
    template <typename Restate>
    Error WithPaths(Restate restate) const {
        const std::string words = description();
        ErrorText text;
        std::size_t from = 0;
        std::size_t detail_at = detail_at_;
        for (const PathMention& path : paths_) {
            const std::optional<std::string> restated = restate(path.text);
            const std::string& shown = restated ? *restated : path.text;
            text << std::string_view(words).substr(from, path.at - 1 - from);
            text.Path(shown);
            from = path.at + path.text.size() + 1;
            if (path.at < detail_at_) detail_at += shown.size() - path.text.size();
        }
        text << std::string_view(words).substr(from);
        Error restated(number_, text);
        restated.detail_at_ = detail_at;
        return restated;
    }

private:
    long number_;
    std::size_t detail_at_ = 0;
    std::vector<PathMention> paths_;
};

// Numbers of our own layer's errors. The descriptions carry the detail; the
// numbers only group them.
namespace errc {
inline constexpr long kFileNotFound = 53;
inline constexpr long kFileAlreadyExists = 58;
inline constexpr long kDiskFull = 61;
inline constexpr long kPermissionDenied = 70;
inline constexpr long kPathNotFound = 76;
inline constexpr long kInUse = 3045;         // database is open elsewhere
inline constexpr long kNotADatabase = 3343;  // unrecognised database format
inline constexpr long kCorrupt = 3049;       // damaged or truncated database
inline constexpr long kNoCurrentRecord = 3021;
inline constexpr long kItemNotFound = 3265;  // no such field or table
inline constexpr long kSyntax = 3075;        // unsupported SQL
inline constexpr long kNotAvailable = 429;   // component missing in this build
inline constexpr long kVerifyFailed = 3112;  // compacted copy differs
inline constexpr long kIoError = 57;
inline constexpr long kSqlClient = -2147467259;  // 0x80004005, as ADO reports
inline constexpr long kNullValue = 94;           // invalid use of Null
inline constexpr long kInternal = 51;
inline constexpr long kOutOfMemory = 7;
inline constexpr long kInvalidArgument = 5;  // a setting of the wrong kind
inline constexpr long kObjectClosed = 3704;  // a closed connection or recordset used
inline constexpr long kObjectOpen = 3705;    // opened twice
inline constexpr long kValueRefused = 3421;  // a value that does not fit its column
}  // namespace errc

}  // namespace dorvane
