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

void WriteLog(Runtime& rt, std::string_view message) {
    try {
        rt.ctx.AppPath = GetSetting(rt.settings, rt.ctx.Product, "Locations", "APPPATH");
        const std::string path = JoinPath(rt.ctx.AppPath, "Dorvane_log.txt");
        const std::string entry = FormatLogEntry(rt.clock.FormatGeneralDate(rt.clock.Now()), message);
        rt.files.AppendToFile(path, entry, TextFile::kLog);
    } catch (const std::exception&) {
        // The log reports nothing: an entry that cannot be written is lost.
    }
}

}  // namespace dorvane
