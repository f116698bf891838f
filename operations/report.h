#pragma once
// How an operation tells its outcome: a box in an interactive run, one log
// line always; in an unattended run the reason of a failure also goes to
// standard error, where a scheduler keeps it.

#include <string>

#include "core/message_boxes.h"

namespace dorvane {

class Runtime;

inline constexpr const char* kTitleShort = "Zentro";
inline constexpr const char* kTitleLong = "Zentro Software Ltd";

void ReportSuccess(Runtime& rt, const std::string& boxText, const std::string& title, const std::string& logLine);
// A detail that changes no outcome, for the administrator of unattended runs
// (standard error); interactive runs and the log do not show it.
void ReportNote(Runtime& rt, const std::string& note);
// An operation that succeeded but could not keep all the data: a critical box
// in an interactive run, one log line, the same line on standard error in an
// unattended run; the run then ends with exit status 2.
void ReportDataLoss(Runtime& rt, const std::string& line, const std::string& title);
void ReportFailure(Runtime& rt, const std::string& boxText, const std::string& title, const std::string& logLine,
                   const std::string& reason);

}  // namespace dorvane
