#include "engines/jet/compact/source_check.h"

#include <chrono>

#include "core/error.h"
#include "engines/jet/format/bytes.h"
#include "engines/jet/format/page_census.h"
#include "engines/jet/format/page_file.h"

namespace dorvane::jet::compact {

SourceCheck::SourceCheck(const std::filesystem::path& source, bool wanted, Findings findings)
    : signals_(std::make_shared<CheckSignals>()), findings_(findings) {
    if (wanted)
        report_ = std::async(std::launch::async | std::launch::deferred, [source, signals = signals_] {
            // The tables first, where the damage a repair must know of is
            // found; the census only once they are done, and not at all for
            // a check stopped before then.
            const PageFile file = PageFile::OpenCached(source);
            return CheckDatabase(file, signals.get(),
                                 std::async(std::launch::deferred, [&file] { return PageCensus(file); }));
        });
}

SourceCheck::~SourceCheck() { signals_->stop = true; }

void SourceCheck::RefuseIfDamageFound() {
    if (report_.valid() && signals_->problem_found) RefuseDamage();
}

void SourceCheck::RefuseIfDamageKnown() {
    if (report_.valid() && signals_->problem_found &&
        report_.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        RefuseDamage();
}

void SourceCheck::RefuseDamage() {
    if (!report_.valid()) return;
    CheckReport report = report_.get();
    if (report.ok() && unreadable_.empty()) return;
    if (findings_ == Findings::kHandedBack) {
        report.damaged_tables.insert(unreadable_.begin(), unreadable_.end());
        handed_back_ = std::move(report);
        ThrowCorrupt("the full check found a problem");
    }
    if (report.ok()) return;  // the copy's own failure is the reason
    std::string what = report.problems.front();
    if (report.problems.size() > 1) what += " (and " + std::to_string(report.problems.size() - 1) + " more problems)";
    ThrowCorrupt(what);
}

}  // namespace dorvane::jet::compact
