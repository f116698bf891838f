#pragma once
// Run control below the operations: the command line, the activity log and
// the scheduled-run batch file.

#include <string>
#include <string_view>
#include <vector>

namespace dorvane {

class Runtime;
struct RunContext;

inline constexpr std::string_view kSeparatorLine = "-------------------------------------";

// Sets ctx.Product and ctx.FrontEndFile; returns the RunMode ("s" or empty).
std::string ParseCommandLine(RunContext& ctx, std::string_view arguments);
// Arguments handed over as a list are joined by single blanks.
std::string JoinArguments(const std::vector<std::string>& arguments);

// One log entry: date and time, five blanks, the message, CR LF; appended to
// APPPATH\Dorvane_log.txt. In an unattended run the entry also goes to
// standard output, and a log that cannot be written is said once on standard
// error; otherwise nothing is reported.
void WriteLog(Runtime& rt, std::string_view message);
// One line on standard output, flushed.
void PrintLine(std::string_view line);
std::string FormatLogEntry(std::string_view dateTime, std::string_view message);

// APPPATH\Dorvane.bat holding the one line that starts an unattended run.
void WriteScheduleBatch(Runtime& rt);
std::string ScheduleBatchLine(std::string_view appPath, std::string_view product);

}  // namespace dorvane
