#include "operations/report.h"

#include <cstdio>

#include "core/run_control.h"
#include "core/runtime.h"

namespace dorvane {

void ReportSuccess(Runtime& rt, const std::string& boxText, const std::string& title, const std::string& logLine) {
    rt.ShowBox(boxText, BoxIcon::Information, title);
    WriteLog(rt, logLine);
}

void ReportNote(Runtime& rt, const std::string& note) {
    if (rt.ctx.Unattended()) std::fprintf(stderr, "dorvane: %s\n", note.c_str());
}

void ReportDataLoss(Runtime& rt, const std::string& line, const std::string& title) {
    rt.data_not_all_kept = true;
    rt.ShowBox(line, BoxIcon::Critical, title);
    WriteLog(rt, line);
    if (rt.ctx.Unattended()) std::fprintf(stderr, "dorvane: %s\n", line.c_str());
}

void ReportFailure(Runtime& rt, const std::string& boxText, const std::string& title, const std::string& logLine,
                   const std::string& reason) {
    rt.any_operation_failed = true;
    rt.ShowBox(boxText, BoxIcon::Critical, title);
    WriteLog(rt, logLine);
    if (rt.ctx.Unattended() && !reason.empty()) {
        std::fprintf(stderr, "dorvane: %s: %s\n", logLine.c_str(), reason.c_str());
    }
}

}  // namespace dorvane
