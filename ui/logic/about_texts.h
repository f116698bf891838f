#pragma once
// The texts the window shows, composed from the run context and the
// program's version record.

#include <string>
#include <string_view>

namespace dorvane {
struct RunContext;
}

namespace dorvane::ui {

inline constexpr std::string_view kApplicationTitle = "Dorvane";
inline constexpr std::string_view kFileDescription = "Backup and optimize Zentro products";
inline constexpr std::string_view kWindowCaption = "Zentro Software Ltd";
inline constexpr std::string_view kCrLf = "\r\n";

// lblInfo: the three SQL Server lines for DbKind 1, else "mdb database".
std::string InfoText(const RunContext& ctx);
// lblLog: the backup folder and the log file, five lines.
std::string LogText(const RunContext& ctx);
// lblTitle: the application title followed by " for:".
std::string TitleText();
// lblVersion from a version record "major.minor.build.revision": the window
// shows major, minor and revision ("2.0.0.2" reads "Version 2.0.2"). Missing
// or non-numeric parts count as 0.
std::string VersionText(std::string_view versionRecord);
// The running program's own version record.
std::string_view ProgramVersion();

}  // namespace dorvane::ui
