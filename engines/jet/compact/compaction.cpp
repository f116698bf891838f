#include "engines/jet/compact/compaction.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <future>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "engines/jet/check/checker.h"
#include "engines/jet/compact/compaction_seam.h"
#include "engines/jet/compact/destination.h"
#include "engines/jet/compact/encryption.h"
#include "engines/jet/compact/relocation.h"
#include "engines/jet/compact/salvager.h"
#include "engines/jet/compact/salvage_ahead.h"
#include "engines/jet/compact/source_check.h"
#include "engines/jet/compact/source_hold.h"
#include "engines/jet/compact/source_tables.h"
#include "engines/jet/compact/table.h"
#include "engines/jet/compact/table_reading.h"
#include "engines/jet/compact/verify.h"
#include "engines/jet/format/page_census.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/write/usage_maps.h"
#include "platform/native_path.h"

namespace dorvane::jet {

namespace {

using compact::SourceCheck;

// "cannot <verb> "<source>"", to which the reason is added.
ErrorText CannotText(std::string_view verb, const std::filesystem::path& source) {
    ErrorText text("cannot ");
    (text << verb << " ").Path(PathText(source));
    return text;
}

// One pass over a held source: its tables, how each is read, and the check
// that runs beside it.
struct Pass {
    const PageFile& file;
    const compact::SourceTables& tables;
    compact::TableReading& reading;
    SourceCheck& check;
};

// Every page of the copy but its length: the tables, the usage-map records,
// page 1, the holes and the header page. Returns each table's digest, for
// the verification.
std::vector<compact::TableDigest> WriteCopy(const Pass& pass, const compact::Relocation& relocation,
                                            compact::DestinationFile& out, write::PageAllocator& allocator,
                                            compact::TableCounts& counts) {
    const PageFile& file = pass.file;
    const Format& format = file.format();
    compact::EncryptingPageSink encrypted(out, file.encryption_key(), format.page_size);
    write::PageSink& sink = file.encryption_key() != 0 ? static_cast<write::PageSink&>(encrypted) : out;
    write::MapRecordPages mapRecords(format, pass.tables.map_records, allocator);
    compact::CompactionContext context{file, allocator, sink, mapRecords, relocation};
    std::vector<compact::TableDigest> digests(pass.tables.defs.size());
    for (const std::size_t i : pass.reading.WritingOrder()) {
        pass.check.RefuseIfDamageFound();
        const std::string& name = pass.tables.entries[i].name;
        const std::uint64_t rowsBefore = counts.rows;
        try {
            const std::unique_ptr<compact::TableSource> rows = pass.reading.ForCopy(i);
            digests[i] = compact::CompactTable(context, pass.tables.defs[i], name, *rows, counts);
        } catch (const Error& e) {
            if (e.number() == errc::kCorrupt) pass.check.NoteUnreadable(name);
            throw;
        }
        pass.reading.Copied(i, counts.rows - rowsBefore);
    }
    mapRecords.Write(sink);
    write::WriteGlobalMap(format, allocator, sink);
    if (file.encryption_key() != 0) {
        // Holes read as empty pages once decrypted, like everything else.
        const Bytes empty(format.page_size, 0);
        for (std::uint32_t hole : allocator.Holes()) sink.WritePage(hole, empty);
    }
    out.WritePage(0, file.raw_header());
    return digests;
}

void WriteVerified(const Pass& pass, const std::filesystem::path& destination, CompactSummary& summary,
                   const BeforeVerification& before_verification) {
    const PageFile& file = pass.file;
    const compact::SourceTables& tables = pass.tables;
    compact::DestinationFile out(destination, file.page_size());
    const compact::Relocation relocation(file.format(), tables.entries, tables.defs);
    write::PageAllocator allocator(relocation.DefinitionPages());
    compact::TableCounts counts;
    const std::vector<compact::TableDigest> digests = WriteCopy(pass, relocation, out, allocator, counts);
    out.Finish(allocator.page_count());
    if (before_verification) before_verification(destination);
    {
        // The copy goes to stable storage while it is verified from the cache.
        std::future<void> flushed = std::async(std::launch::async | std::launch::deferred, [&out] { out.Flush(); });
        const PageFile copy = PageFile::OpenCached(destination);
        compact::VerifyCopy(
            file, tables.entries, tables.defs, copy, relocation, digests,
            [&pass](std::size_t table) { return pass.reading.Again(table); }, tables.RestoredEntries());
        flushed.get();
    }
    pass.check.RefuseDamage();
    out.Commit();

    summary.source_pages = file.page_count();
    summary.copy_pages = allocator.page_count();
    summary.holes = static_cast<std::uint32_t>(allocator.Holes().size());
    summary.definitions_moved = relocation.moved();
    summary.definitions_kept = relocation.kept_reason();
    summary.tables = tables.defs.size();
    summary.rows = counts.rows;
    summary.long_values = counts.long_values;
    summary.index_entries = counts.index_entries;
    summary.peak_index_bytes = counts.peak_index_bytes;
}

// Runs `work` on the source held against other users, once it is known to
// exist and not to be the destination.
void WithHeldSource(const std::filesystem::path& source, const std::filesystem::path& destination,
                    const std::function<void(const PageFile&)>& work) {
    std::error_code ec;
    if (!std::filesystem::exists(source, ec))
        throw Error(errc::kFileNotFound, CannotText("compact", source) << ": the file does not exist");
    if (std::filesystem::equivalent(source, destination, ec))
        throw Error(errc::kFileAlreadyExists, CannotText("compact", source) << " onto itself");
    const compact::SourceHold hold(source);
    const PageFile file = PageFile::OpenCached(source);
    work(file);
}

// Every table as stored, beside the full check. Damage is refused with the
// check's findings as the reason, or (a repair's first pass) the findings
// are handed to `handed_back` and the damage thrown. `ahead`: a repair's,
// started on the table the copy failed on while the check finishes.
void CompactAsStored(const PageFile& file, const std::filesystem::path& source,
                     const std::filesystem::path& destination, CompactSummary& summary,
                     const BeforeVerification& before_verification, SourceCheck::Findings findings,
                     std::optional<CheckReport>& handed_back, compact::SalvageAhead* ahead = nullptr) {
    SourceCheck check(source, true, findings);
    std::string unfinished;
    try {
        const compact::SourceTables tables = compact::ReadTablesAsStored(file);
        compact::StoredTables stored(file, tables);
        compact::WatchedReading reading(stored);
        try {
            WriteVerified({file, tables, reading, check}, destination, summary, before_verification);
        } catch (const Error& e) {
            if (e.number() == errc::kCorrupt && reading.Unfinished())
                unfinished = tables.entries[*reading.Unfinished()].name;
            throw;
        }
    } catch (...) {
        std::exception_ptr reason = std::current_exception();
        if (ahead != nullptr && !unfinished.empty()) ahead->Start(unfinished);
        // The check's finding is the reason, where it has one. Its findings
        // go back either way: when the check stopped the copy between
        // tables, they were taken then, and without them every table,
        // sound or not, would be salvaged.
        try {
            check.RefuseDamage();
        } catch (...) {
            reason = std::current_exception();
        }
        handed_back = check.TakeFindings();
        std::rethrow_exception(reason);
    }
}

// The damaged tables salvaged, the others as stored.
void CompactSalvaging(const PageFile& file, const std::filesystem::path& source,
                      const std::filesystem::path& destination, RepairReport& report,
                      const BeforeVerification& before_verification, const std::optional<CheckReport>& findings,
                      compact::SalvageAhead& ahead) {
    SourceCheck noCheck(source, false, SourceCheck::Findings::kReported);
    const PageCensus& census = ahead.Census();
    const compact::SourceTables& tables = ahead.Tables();
    std::filesystem::path spill = destination;
    spill += ".sorting";
    compact::Salvager reading(file, tables, census, ahead.Maps(), findings, report, spill);
    ahead.OfferTo(reading);
    WriteVerified({file, tables, reading, noCheck}, destination, report.summary, before_verification);
    // Told in the catalog's order, whatever the order they were written in.
    std::map<std::string_view, std::size_t> positions;
    for (std::size_t i = 0; i < tables.entries.size(); ++i) positions.emplace(tables.entries[i].name, i);
    const auto position = [&positions](const TableRepair& table) {
        const auto found = positions.find(table.name);
        return found != positions.end() ? found->second : positions.size();
    };
    std::stable_sort(report.tables.begin(), report.tables.end(),
                     [&position](const TableRepair& a, const TableRepair& b) { return position(a) < position(b); });
}

// Callers handle dorvane::Error only; anything else is reported as one.
void WithEngineErrors(const char* verb, const std::filesystem::path& source, const std::function<void()>& run) {
    try {
        run();
    } catch (const Error&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw Error(errc::kInternal, CannotText(verb, source) << ": not enough memory");
    } catch (const std::exception& e) {
        throw Error(errc::kInternal, CannotText(verb, source) << ": internal error: " << e.what());
    }
}

}  // namespace

void CompactFile(const std::filesystem::path& source, const std::filesystem::path& destination) {
    CompactSummary summary;
    CompactFile(source, destination, summary, {});
}

void CompactFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                 CompactSummary& summary) {
    CompactFile(source, destination, summary, {});
}

void CompactFile(const std::filesystem::path& source, const std::filesystem::path& destination, CompactSummary& summary,
                 const BeforeVerification& before_verification) {
    WithEngineErrors("compact", source, [&] {
        WithHeldSource(source, destination, [&](const PageFile& file) {
            std::optional<CheckReport> unused;
            CompactAsStored(file, source, destination, summary, before_verification, SourceCheck::Findings::kReported,
                            unused);
        });
    });
}

// A sound source is compacted as it is; only when the check or the strict
// reading finds damage is it read again, salvaging.
void RepairFile(const std::filesystem::path& source, const std::filesystem::path& destination, RepairReport& report,
                const BeforeVerification& before_verification) {
    report = RepairReport{};
    WithEngineErrors("repair", source, [&] {
        // Held across both passes: what the first starts for the second must
        // be of the same bytes.
        WithHeldSource(source, destination, [&](const PageFile& file) {
            std::filesystem::path spill = destination;
            spill += ".sorting-ahead";
            compact::SalvageAhead ahead(file, spill);
            std::optional<CheckReport> findings;
            try {
                CompactAsStored(file, source, destination, report.summary, before_verification,
                                SourceCheck::Findings::kHandedBack, findings, &ahead);
                report.source_sound = true;
                return;
            } catch (const Error& e) {
                if (e.number() != errc::kCorrupt) throw;
            }
            report.summary = CompactSummary{};
            if (findings && !findings->complex_faults.empty())
                ThrowCorrupt("the complex columns cannot be repaired: " + findings->complex_faults.front());
            CompactSalvaging(file, source, destination, report, before_verification, findings, ahead);
        });
    });
}

void RepairFile(const std::filesystem::path& source, const std::filesystem::path& destination, RepairReport& report) {
    RepairFile(source, destination, report, {});
}

}  // namespace dorvane::jet
