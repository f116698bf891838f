#include <exception>

#include "core/run_control.h"
#include "core/paths.h"
#include "core/runtime.h"

namespace dorvane {

std::string ScheduleBatchLine(std::string_view appPath, std::string_view product) {
    std::string line = "\"";
    line += JoinPath(appPath, "Dorvane.exe");
    line += "\" /silent /";
    line += product;
    line += "\r\n";
    return line;
}

void WriteScheduleBatch(Runtime& rt) {
    const std::string folder = GetSetting(rt.settings, rt.ctx.Product, "Locations", "APPPATH");
    const std::string path = JoinPath(folder, "Dorvane.bat");
    try {
        rt.files.DeleteFile(path);
    } catch (const std::exception&) {
        // Appending below then adds to the old file; nothing is reported.
    }
    try {
        rt.files.AppendToFile(path, ScheduleBatchLine(folder, rt.ctx.Product), TextFile::kBatch);
    } catch (const std::exception&) {
        // No batch file is left; the caller goes on.
    }
}

}  // namespace dorvane
