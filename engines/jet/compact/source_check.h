#pragma once
// The full check of a source, run on a second core while its copy is
// written. Compaction rebuilds from the rows it can read; where the check
// finds anything amiss, rows may be unreadable or unreachable, and a copy
// would drop them without a trace, so such a file is refused, never
// smoothed over, and nothing is kept before the check has found the source
// sound. A compaction reports the check's findings as its reason; a
// repair's first, strict pass hands them back, so that the salvage that
// follows reads only the tables they name and copies the others as a
// compaction does.

#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "engines/jet/check/checker.h"

namespace dorvane::jet::compact {

class SourceCheck {
public:
    enum class Findings { kReported, kHandedBack };

    // No check runs where none is `wanted` (a salvage, which expects damage).
    SourceCheck(const std::filesystem::path& source, bool wanted, Findings findings);
    SourceCheck(const SourceCheck&) = delete;
    SourceCheck& operator=(const SourceCheck&) = delete;
    ~SourceCheck();

    // Between tables: a problem the check has found ends the copy now.
    void RefuseIfDamageFound();
    // Between tables of a repair's first pass: a problem ends the copy once
    // the check has finished. Until then the copy goes on, since what it
    // writes of the tables the check finds sound is kept.
    void RefuseIfDamageKnown();
    // A table the copy itself could not read: damaged, whatever the check says.
    void NoteUnreadable(const std::string& table) { unreadable_.insert(table); }
    // Throws the check's failure, or its first problem as damage (or hands
    // the findings back and throws); returns where the source is sound.
    void RefuseDamage();
    // What the check found, when it was handed back (nothing when it could
    // not finish: then every table is to be salvaged).
    std::optional<CheckReport> TakeFindings() { return std::move(handed_back_); }

private:
    std::shared_ptr<CheckSignals> signals_;
    Findings findings_;
    std::future<CheckReport> report_;
    std::set<std::string> unreadable_;
    std::optional<CheckReport> handed_back_;
};

}  // namespace dorvane::jet::compact
