#include <cstdio>
#include <exception>

#include "core/run_control.h"
#include "core/paths.h"
#include "core/runtime.h"

namespace dorvane {

std::string FormatLogEntry(std::string_view dateTime, std::string_view message) {
    std::string entry(dateTime);
    entry += "     ";  // five blanks between the time and the message
    entry += message;
    entry += "\r\n";
    return entry;
}

// An unattended run also writes every entry to standard output, where a
// scheduler's journal keeps it, and says there once, on standard error, when
// the log cannot be written; an interactive run reports nothing.
void WriteLog(Runtime& rt, std::string_view message) {
    std::string entry;
    try {
        rt.ctx.AppPath = GetSetting(rt.settings, rt.ctx.Product, "Locations", "APPPATH");
        const std::string path = JoinPath(rt.ctx.AppPath, "Dorvane_log.txt");
        entry = FormatLogEntry(rt.clock.FormatGeneralDate(rt.clock.Now()), message);
        if (rt.ctx.Unattended()) PrintLine(std::string_view(entry).substr(0, entry.size() - 2));
        rt.files.AppendToFile(path, entry, TextFile::kLog);
    } catch (const std::exception& e) {
        if (rt.ctx.Unattended() && !rt.log_failure_said) {
            rt.log_failure_said = true;
            std::fprintf(stderr, "dorvane: the log cannot be written, its lines are only on standard output: %s\n",
                         e.what());
        }
    }
}

void PrintLine(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);  // in order with standard error, and kept if the run is killed
}

}  // namespace dorvane
