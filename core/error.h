#pragma once
// Errors as the components report them: a number and a description. Every
// component (engine, SQL client, file system) throws dorvane::Error; the
// operations catch it step by step into their ErrorState.

#include <stdexcept>
#include <string>

namespace dorvane {

class Error : public std::runtime_error {
public:
    Error(long number, const std::string& description)
        : std::runtime_error(description), number_(number), detail_(description) {}
    // `context` says what is wrong in general ("damaged database"), `detail`
    // the particulars; the description joins them. A caller that words its
    // own context takes the detail alone, and never cuts the text apart.
    Error(long number, const std::string& context, const std::string& detail)
        : std::runtime_error(context + ": " + detail), number_(number), detail_(detail) {}
    long number() const noexcept { return number_; }
    std::string description() const { return what(); }
    const std::string& detail() const noexcept { return detail_; }

private:
    long number_;
    std::string detail_;
};

// Numbers of our own layer's errors. The descriptions carry the detail; the
// numbers only group them.
namespace errc {
inline constexpr long kFileNotFound = 53;
inline constexpr long kFileAlreadyExists = 58;
inline constexpr long kDiskFull = 61;
inline constexpr long kPermissionDenied = 70;
inline constexpr long kPathNotFound = 76;
inline constexpr long kInUse = 3045;          // database is open elsewhere
inline constexpr long kNotADatabase = 3343;   // unrecognised database format
inline constexpr long kCorrupt = 3049;        // damaged or truncated database
inline constexpr long kNoCurrentRecord = 3021;
inline constexpr long kItemNotFound = 3265;   // no such field or table
inline constexpr long kSyntax = 3075;         // unsupported SQL
inline constexpr long kNotAvailable = 429;    // component missing in this build
inline constexpr long kVerifyFailed = 3112;   // compacted copy differs
inline constexpr long kIoError = 57;
inline constexpr long kSqlClient = -2147467259;  // 0x80004005, as ADO reports
inline constexpr long kNullValue = 94;        // invalid use of Null
inline constexpr long kInternal = 51;
}  // namespace errc

}  // namespace dorvane
