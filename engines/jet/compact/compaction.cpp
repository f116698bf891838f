#include "engines/jet/compact/compaction.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "engines/jet/check/checker.h"
#include "engines/jet/compact/compaction_seam.h"
#include "engines/jet/compact/copy_writer.h"
#include "engines/jet/compact/destination.h"
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
    // A repair's first pass: the first table that cannot be read is told
    // here and left to the second pass, and the copy goes on with the others
    // until the check has finished, for the second pass to keep.
    std::function<void(std::size_t table)> put_off = {};
};

// Every page of the copy, the tables from the `kept`-th of the writing order
// on (those before it are written already).
void WriteCopy(const Pass& pass, compact::CopyWriter& writer, std::size_t kept) {
    const std::vector<std::size_t> order = pass.reading.WritingOrder();
    bool putOff = false;
    for (std::size_t at = kept; at < order.size(); ++at) {
        if (pass.put_off)
            pass.check.RefuseIfDamageKnown();
        else
            pass.check.RefuseIfDamageFound();
        const std::size_t i = order[at];
        const std::string& name = pass.tables.entries[i].name;
        try {
            const std::unique_ptr<compact::TableSource> rows = pass.reading.ForCopy(i);
            writer.Write(i, pass.tables.defs[i], name, *rows);
        } catch (const Error& e) {
            if (e.number() != errc::kCorrupt) throw;
            pass.check.NoteUnreadable(name);
            if (!pass.put_off || putOff) throw;
            putOff = true;
            pass.put_off(i);
            continue;
        }
        pass.reading.Copied(i, writer.written().back().rows);
    }
    if (putOff) pass.check.RefuseDamage();  // throws: a table could not be read
    // A repair's first pass does not verify a copy the check will refuse.
    if (pass.put_off) pass.check.RefuseIfDamageFound();
    writer.Finish();
}

void WriteVerified(const Pass& pass, compact::CopyWriter& writer, std::size_t kept, CompactSummary& summary,
                   const BeforeVerification& before_verification) {
    const PageFile& file = pass.file;
    const compact::SourceTables& tables = pass.tables;
    WriteCopy(pass, writer, kept);
    compact::DestinationFile& out = writer.destination();
    if (before_verification) before_verification(out.path());
    {
        // The copy goes to stable storage while it is verified from the cache.
        std::future<void> flushed = std::async(std::launch::async | std::launch::deferred, [&out] { out.Flush(); });
        try {
            const PageFile copy = PageFile::OpenCached(out.path());
            compact::VerifyCopy(
                file, tables.entries, tables.defs, copy, writer.relocation(), writer.digests(),
                [&pass](std::size_t table) { return pass.reading.Again(table); }, tables.RestoredEntries());
        } catch (...) {
            writer.Distrust();
            throw;
        }
        flushed.get();
    }
    pass.check.RefuseDamage();
    out.Commit();

    const write::PageAllocator& allocator = writer.allocator();
    const compact::TableCounts& counts = writer.counts();
    summary.source_pages = file.page_count();
    summary.copy_pages = allocator.page_count();
    summary.holes = static_cast<std::uint32_t>(allocator.Holes().size());
    summary.definitions_moved = writer.relocation().moved();
    summary.definitions_kept = writer.relocation().kept_reason();
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
// started on the first table the copy cannot read, while the copy goes on
// with the others; what the copy wrote is then handed to `kept`.
void CompactAsStored(const PageFile& file, const std::filesystem::path& source,
                     const std::filesystem::path& destination, CompactSummary& summary,
                     const BeforeVerification& before_verification, SourceCheck::Findings findings,
                     std::optional<CheckReport>& handed_back, compact::SalvageAhead* ahead = nullptr,
                     std::unique_ptr<compact::CopyWriter>* kept = nullptr) {
    SourceCheck check(source, true, findings);
    std::unique_ptr<compact::CopyWriter> writer;
    try {
        const compact::SourceTables tables = compact::ReadTablesAsStored(file);
        compact::StoredTables stored(file, tables);
        std::function<void(std::size_t)> putOff;
        if (ahead != nullptr)
            putOff = [&](std::size_t table) {
                writer->destination().HoldWriteBack();
                ahead->Start(tables.entries[table].name);
            };
        writer = std::make_unique<compact::CopyWriter>(file, tables, destination);
        WriteVerified({file, tables, stored, check, putOff}, *writer, 0, summary, before_verification);
    } catch (...) {
        std::exception_ptr reason = std::current_exception();
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
        if (kept != nullptr && writer && writer->trusted()) *kept = std::move(writer);
        std::rethrow_exception(reason);
    }
}

// The damaged tables salvaged, the others as stored. `first`: what the
// first pass wrote, if anything; the tables it wrote as this pass would
// write them, in the same order from the first on, are kept.
void CompactSalvaging(const PageFile& file, const std::filesystem::path& source,
                      const std::filesystem::path& destination, RepairReport& report,
                      const BeforeVerification& before_verification, const std::optional<CheckReport>& findings,
                      compact::SalvageAhead& ahead, std::unique_ptr<compact::CopyWriter> first) {
    SourceCheck noCheck(source, false, SourceCheck::Findings::kReported);
    const PageCensus& census = ahead.Census();
    const compact::SourceTables& tables = ahead.Tables();
    std::filesystem::path spill = destination;
    spill += ".sorting";
    compact::Salvager reading(file, tables, census, ahead.Maps(), findings, report, spill);
    ahead.OfferTo(reading);
    std::size_t kept = 0;
    if (first && first->IsFor(tables)) {
        const std::vector<std::size_t> order = reading.WritingOrder();
        const std::vector<compact::CopyWriter::Written>& written = first->written();
        while (kept < written.size() && kept < order.size() && written[kept].table == order[kept] &&
               reading.CopiesAsStored(order[kept]))
            ++kept;
        first->KeepFirst(kept);
        // All the first pass wrote stays: flushed beside this pass, it no
        // longer waits for the flush at the end.
        if (kept > 0 && kept == written.size()) first->destination().FlushWritten();
        for (std::size_t at = 0; at < kept; ++at) reading.Copied(written[at].table, written[at].rows);
    } else {
        first.reset();  // removes its file, before the name is taken again
        first = std::make_unique<compact::CopyWriter>(file, tables, destination);
    }
    // No check of the source runs beside this pass.
    first->destination().WriteBehind();
    WriteVerified({file, tables, reading, noCheck}, *first, kept, report.summary, before_verification);
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
            std::unique_ptr<compact::CopyWriter> first;
            try {
                CompactAsStored(file, source, destination, report.summary, before_verification,
                                SourceCheck::Findings::kHandedBack, findings, &ahead, &first);
                report.source_sound = true;
                return;
            } catch (const Error& e) {
                if (e.number() != errc::kCorrupt) throw;
            }
            report.summary = CompactSummary{};
            if (findings && !findings->complex_faults.empty())
                ThrowCorrupt("the complex columns cannot be repaired: " + findings->complex_faults.front());
            CompactSalvaging(file, source, destination, report, before_verification, findings, ahead, std::move(first));
        });
    });
}

void RepairFile(const std::filesystem::path& source, const std::filesystem::path& destination, RepairReport& report) {
    RepairFile(source, destination, report, {});
}

}  // namespace dorvane::jet
