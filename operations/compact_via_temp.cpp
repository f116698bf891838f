#include <memory>
#include <string>

#include "core/error.h"
#include "core/error_state.h"
#include "core/paths.h"
#include "core/runtime.h"
#include "operations/operations.h"
#include "operations/report.h"
#include "operations/step_summary.h"
#include "operations/temporary_copy.h"

namespace dorvane {
namespace {

constexpr int kKeptNamesTried = 9;

// "post_db.mdb" kept as "post_db_damaged_<stamp>.mdb"; a name without an
// extension gets the suffix at its end.
std::string DamagedName(const std::string& fileName, const std::string& stamp) {
    const std::size_t dot = fileName.rfind('.');
    const std::size_t stem = dot == std::string::npos || dot == 0 ? fileName.size() : dot;
    return fileName.substr(0, stem) + "_damaged_" + stamp + fileName.substr(stem);
}

// The engine's own words, or the counts when it gave none.
std::string LossText(const RepairLoss& loss) {
    if (!loss.summary.empty()) return loss.summary;
    std::string text = loss.rows_dropped != 0 ? "dropped " + std::to_string(loss.rows_dropped) + " rows" : "";
    if (loss.values_cut != 0) {
        text += (text.empty() ? "cut " : " and cut ") + std::to_string(loss.values_cut) + " memo/OLE values";
    }
    if (loss.rows_in_doubt != 0) {
        text += (text.empty() ? "kept " : " and kept ") + std::to_string(loss.rows_in_doubt) +
                " rows that an index disagreed with";
    }
    return text;
}

// The damaged original, copied byte for byte and on stable storage before the
// repaired copy replaces it. An earlier file of that name (a second repair in
// the same second) is never replaced: the copy takes the next free "_<n>".
std::string KeepDamagedOriginal(Runtime& rt, const std::string& folder, const std::string& fileName) {
    const std::string stamp = TimeStamp(rt);
    const std::string first = JoinPath(folder, DamagedName(fileName, stamp));
    for (int n = 1; n <= kKeptNamesTried; ++n) {
        const std::string kept =
            n == 1 ? first : JoinPath(folder, DamagedName(fileName, stamp + "_" + std::to_string(n)));
        if (rt.files.Exists(kept)) continue;
        rt.files.CopyFile(JoinPath(folder, fileName), kept);
        return kept;
    }
    throw Error(errc::kFileAlreadyExists, "the damaged file cannot be kept: " + first + " and the next " +
                                              std::to_string(kKeptNamesTried - 1) + " names are taken");
}

struct CompactionOutcome {
    RepairLoss loss;
    std::string keptAs;  // where the damaged original is kept, when anything was lost
};

// Repairs and compacts folder\fileName through Temp.bk0, stopping at the
// first failing step, and tells why it failed. When the repair lost data the
// original is kept first; if that fails the source stays as it was.
bool CompactViaTemp(Runtime& rt, const std::string& folder, const std::string& fileName, ErrorState& error,
                    CompactionOutcome& outcome) {
    const std::string source = JoinPath(folder, fileName);
    const std::string temporary = JoinPath(folder, "Temp.bk0");
    if (!RunStep(error, [&] { RefuseLeftoverTemporary(rt, temporary, fileName); })) return false;
    // Held until the copy is back: a product that wrote to the file in
    // between would have its changes replaced by the copy.
    std::unique_ptr<DatabaseHold> hold;
    if (!RunStep(error, [&] { hold = rt.FileDb().HoldDatabase(source); })) return false;
    if (!RunStep(error, [&] { outcome.loss = rt.FileDb().RepairDatabase(source, temporary); })) return false;
    if (outcome.loss.any()) {
        if (!RunStep(error, [&] { outcome.keptAs = KeepDamagedOriginal(rt, folder, fileName); })) {
            ErrorState ignored;  // the repaired copy is worth nothing without the original beside it
            RunStep(ignored, [&] { rt.files.DeleteFile(temporary); });
            return false;
        }
    }
    // The copy is on stable storage before the temporary file goes, so a power
    // loss never leaves a half-written source without its compacted copy.
    if (!CopyBack(rt, temporary, source, error)) return false;
    if (!RunStep(error, [&] { rt.files.DeleteFile(temporary); })) return false;
    return true;
}

// After the success line: what the repair lost and where the original is.
void ReportLossIfAny(Runtime& rt, const CompactionOutcome& outcome) {
    if (!outcome.loss.any()) return;
    ReportDataLoss(rt, "Repair: " + LossText(outcome.loss) + "; the damaged file is kept as " + outcome.keptAs,
                   kTitleShort);
}

}  // namespace

void OptimizeFrontEnd(Runtime& rt) {
    const std::string folder = GetSetting(rt.settings, rt.ctx.Product, "Locations", "APPPATH");
    const std::string file = JoinPath(folder, rt.ctx.FrontEndFile);
    StepSummary summary(rt, file);
    ErrorState error;
    CompactionOutcome outcome;
    if (CompactViaTemp(rt, folder, rt.ctx.FrontEndFile, error, outcome)) {
        ReportSuccess(rt, "Application was optimized", kTitleShort, "Application was optimized");
        ReportLossIfAny(rt, outcome);
    } else {
        ReportFailure(rt, "Unable to optimize application. It may be open", kTitleLong,
                      "Unable to optimize application", error.description);
    }
    summary.Print("front-end " + file, file);
}

void RepairBackEnd(Runtime& rt) {
    const std::string folder = GetSetting(rt.settings, rt.ctx.Product, "Locations", "DbPath");
    const std::string file = JoinPath(folder, "post_db.mdb");
    StepSummary summary(rt, file);
    ErrorState error;
    CompactionOutcome outcome;
    if (CompactViaTemp(rt, folder, "post_db.mdb", error, outcome)) {
        ReportSuccess(rt, "The Dbase was repaired & compacted successfully", kTitleShort,
                      "The Dbase was repaired & compacted successfully");
        ReportLossIfAny(rt, outcome);
    } else {
        ReportFailure(rt, "Unable to Repair Dbase. It may be in use", kTitleShort, "Unable to Repair Dbase",
                      error.description);
    }
    summary.Print("back-end " + file, file);
}

}  // namespace dorvane
