#include <string>
#include <string_view>

#include "core/ascii.h"
#include "core/error_state.h"
#include "core/paths.h"
#include "core/runtime.h"
#include "operations/operations.h"
#include "operations/report.h"
#include "operations/step_summary.h"

namespace dorvane {
namespace {

// The backup is compacted under this name first; it does not match the
// pattern of finished backups, so a failed run never counts as a backup.
constexpr const char* kBackupInProgress = "post_db_backup.tmp";
constexpr const char* kBackupPattern = "post_db_*.mdb";

// A damaged back-end kept by a repair ("post_db_damaged_<stamp>.mdb") matches
// the backups' pattern when the backup folder is the database's own; it may
// hold the only copy of rows the repair lost, so it is never deleted here.
bool IsKeptDamagedOriginal(const std::string& path) {
    constexpr std::string_view kPrefix = "post_db_damaged_";
    const std::size_t slash = path.find_last_of("\\/");
    const std::string_view name = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    return StartsWithIgnoringAsciiCase(name, kPrefix);
}

}  // namespace

std::string TimeStamp(Runtime& rt) {
    const LocalTime t = rt.clock.Now();
    return std::to_string(t.day) + std::to_string(t.month) + std::to_string(t.year) + std::to_string(t.hour) +
           std::to_string(t.minute) + std::to_string(t.second);
}

// The earlier backups are deleted only once the new one is complete under its
// final name, so the folder always holds a complete backup.
bool BackupAccessDb(Runtime& rt) {
    bool result = false;
    ErrorState error;
    RunStep(error, [&] { rt.ctx.DbPath = GetSetting(rt.settings, rt.ctx.Product, "Locations", "DBpath"); });
    RunStep(error, [&] { rt.ctx.BkPath = GetSetting(rt.settings, rt.ctx.Product, "Locations", "BKpath", "NA"); });
    const std::string inProgress = JoinPath(rt.ctx.BkPath, kBackupInProgress);
    RunStep(error, [&] { rt.files.DeleteFile(inProgress); });  // left by an interrupted run

    error.Clear();
    const std::string source = JoinPath(rt.ctx.DbPath, "post_db.mdb");
    const std::string target = JoinPath(rt.ctx.BkPath, "post_db_" + TimeStamp(rt) + ".mdb");
    StepSummary summary(rt, source);
    const bool compacted = RunStep(error, [&] { rt.FileDb().CompactDatabase(source, inProgress); });
    if (compacted && !RunStep(error, [&] { rt.files.RenameReplace(inProgress, target); })) {
        ErrorState ignored;
        RunStep(ignored, [&] { rt.files.DeleteFile(inProgress); });
    }

    if (!error.failed()) {
        result = true;
        ErrorState ignored;  // an old backup that cannot be deleted does not fail the new one
        std::vector<std::string> earlier;
        RunStep(ignored, [&] { earlier = rt.files.ListMatching(rt.ctx.BkPath, kBackupPattern); });
        for (const auto& path : earlier) {
            if (path != target && !IsKeptDamagedOriginal(path) &&
                !RunStep(ignored, [&] { rt.files.DeleteFile(path); })) {
                ReportNote(rt, "an earlier backup stays: " + ignored.description);
            }
        }
        ReportSuccess(rt, "Backup was created\r\n" + target, kTitleLong, "Backup was created   " + target);
    } else {
        ReportFailure(rt, "Operation Failed\r\n" + error.description, kTitleLong,
                      "Operation Failed   " + error.description, std::string());
    }
    summary.Print("backup " + source + " -> " + target, target);
    return result;
}

}  // namespace dorvane
