#include "core/error_state.h"
#include "core/paths.h"
#include "core/runtime.h"
#include "operations/operations.h"
#include "operations/report.h"

namespace dorvane {
namespace {

// Like CompactViaTemp, and tells why it failed.
bool CompactViaTempExplained(Runtime& rt, const std::string& source, const std::string& temporary,
                             ErrorState& error) {
    if (!RunStep(error, [&] { rt.FileDb().CompactDatabase(source, temporary); })) return false;
    // The copy is on stable storage before the temporary file goes, so a power
    // loss never leaves a half-written source without its compacted copy.
    if (!RunStep(error, [&] { rt.files.CopyFile(temporary, source); })) return false;
    if (!RunStep(error, [&] { rt.files.DeleteFile(temporary); })) return false;
    return true;
}

}  // namespace

bool CompactViaTemp(Runtime& rt, const std::string& source, const std::string& temporary) {
    ErrorState error;
    return CompactViaTempExplained(rt, source, temporary, error);
}

void OptimizeFrontEnd(Runtime& rt) {
    const std::string folder = GetSetting(rt.settings, rt.ctx.Product, "Locations", "APPPATH");
    const std::string source = JoinPath(folder, rt.ctx.FrontEndFile);
    const std::string temporary = JoinPath(folder, "Temp.bk0");
    ErrorState error;
    if (CompactViaTempExplained(rt, source, temporary, error)) {
        ReportSuccess(rt, "Application was optimized", kTitleShort, "Application was optimized");
    } else {
        ReportFailure(rt, "Unable to optimize application. It may be open", kTitleLong,
                      "Unable to optimize application", error.description);
    }
}

void RepairBackEnd(Runtime& rt) {
    const std::string folder = GetSetting(rt.settings, rt.ctx.Product, "Locations", "DbPath");
    const std::string source = JoinPath(folder, "post_db.mdb");
    const std::string temporary = JoinPath(folder, "Temp.bk0");
    ErrorState error;
    if (CompactViaTempExplained(rt, source, temporary, error)) {
        ReportSuccess(rt, "The Dbase was repaired & compacted successfully", kTitleShort,
                      "The Dbase was repaired & compacted successfully");
    } else {
        ReportFailure(rt, "Unable to Repair Dbase. It may be in use", kTitleShort,
                      "Unable to Repair Dbase", error.description);
    }
}

}  // namespace dorvane
