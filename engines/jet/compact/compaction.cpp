#include "engines/jet/compact/compaction.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "engines/jet/check/checker.h"
#include "engines/jet/compact/compaction_seam.h"
#include "engines/jet/compact/destination.h"
#include "engines/jet/compact/encryption.h"
#include "engines/jet/compact/relocation.h"
#include "engines/jet/compact/source_hold.h"
#include "engines/jet/compact/table.h"
#include "engines/jet/write/usage_maps.h"
#include "engines/jet/compact/verify.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/definition_check.h"
#include "engines/jet/format/page_census.h"
#include "engines/jet/format/unlisted_tables.h"
#include "engines/jet/format/source_maps.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/usage_map.h"

namespace dorvane::jet {

namespace {

std::string Quoted(const std::filesystem::path& p) { return "\"" + p.string() + "\""; }

[[noreturn]] void Damaged(const std::string& what) { throw Error(errc::kCorrupt, "damaged database: " + what); }

// Compaction rebuilds from the rows it can read; where the full check finds
// anything amiss, rows may be unreadable or unreachable, and a copy would
// drop them without a trace. Such a file is refused, never smoothed over.
// The check reads the source through a reader of its own on a second core
// while the copy is written; nothing is kept before it has found the source
// sound. A compaction reports the check's findings as its reason; a repair's
// first, strict pass hands them back, so that the salvage that follows reads
// only the tables they name and copies the others as a compaction does.
class SourceCheck {
public:
    enum class Findings { kReported, kHandedBack };

    SourceCheck(const std::filesystem::path& source, bool wanted, Findings findings)
        : signals_(std::make_shared<CheckSignals>()), findings_(findings) {
        if (wanted)
            report_ = std::async(std::launch::async | std::launch::deferred, [source, signals = signals_] {
                return CheckDatabase(PageFile::OpenHeld(source), signals.get());
            });
    }
    SourceCheck(const SourceCheck&) = delete;
    SourceCheck& operator=(const SourceCheck&) = delete;
    ~SourceCheck() { signals_->stop = true; }

    // Between tables: a problem the check has found ends the copy now.
    void RefuseIfDamageFound() {
        if (report_.valid() && signals_->problem_found) RefuseDamage();
    }
    // A table the copy itself could not read: damaged, whatever the check says.
    void NoteUnreadable(const std::string& table) { unreadable_.insert(table); }
    // After a failure: the check's finding, when there is one, is the
    // reason reported (or handed back); otherwise the failure itself is.
    void RefuseDamageAfter() {
        RefuseDamage();
    }
    // Throws the check's failure, or its first problem as damage.
    void RefuseDamage() {
        if (!report_.valid()) return;
        CheckReport report = report_.get();
        if (report.ok() && unreadable_.empty()) return;
        if (findings_ == Findings::kHandedBack) {
            report.damaged_tables.insert(unreadable_.begin(), unreadable_.end());
            handed_back_ = std::move(report);
            Damaged("the full check found a problem");
        }
        if (report.ok()) return;  // the copy's own failure is the reason
        std::string what = report.problems.front();
        if (report.problems.size() > 1)
            what += " (and " + std::to_string(report.problems.size() - 1) + " more problems)";
        Damaged(what);
    }
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

struct SourceTables {
    std::vector<CatalogEntry> entries;
    std::vector<TableDef> defs;                  // parallel to entries
    std::set<std::uint32_t> definition_pages;   // in the source
    std::size_t map_records = 0;
    // A repair's: tables kept although their catalog row no longer said so,
    // and rows on pages of definitions no catalog row names.
    std::vector<RestoredTable> restored;
    std::vector<PageCensus::Owner> unnamed;
};

// The description of a reading error without its "damaged database: ".
std::string Detail(const Error& e) {
    constexpr std::string_view kPrefix = "damaged database: ";
    const std::string& text = e.description();
    return text.starts_with(kPrefix) ? text.substr(kPrefix.size()) : text;
}

// In a repair, what cannot be read here is named: nothing is guessed about a
// catalog or a table definition.
std::vector<CatalogEntry> ReadTableList(const PageFile& file, bool repairing) {
    if (!repairing) return ReadTables(file);
    try {
        return ReadTables(file);
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        Damaged("the catalog (MSysObjects) cannot be repaired: " + Detail(e));
    }
}

// A catalog row that cannot be read would take its table with it: in a
// repair the catalog's rows, those it restores included, must all be read.
void RefuseDoubtfulCatalog(const PageFile& file, const PageCensus& census, const std::vector<RestoredTable>& restored) {
    try {
        compact::SalvageSources sources;
        sources.census = &census;
        for (const RestoredTable& r : restored) sources.restored_rows.emplace_back(r.row, r.body);
        const compact::TableSalvage catalog =
            compact::SalvageTable(file, ReadTableDef(file, kCatalogPage), "MSysObjects", sources);
        if (catalog.in_doubt()) ThrowCorrupt("its rows cannot all be read");
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        Damaged("the catalog (MSysObjects) cannot be repaired: " + Detail(e));
    }
}

TableDef ReadDefinition(const PageFile& file, const CatalogEntry& entry, bool repairing) {
    if (!repairing) return ReadTableDef(file, entry.table_page());
    const auto refuse = [&](const std::string& why) {
        Damaged("the definition of table \"" + entry.name + "\" cannot be repaired: " + why);
    };
    TableDef def;
    try {
        def = ReadTableDef(file, entry.table_page());
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        refuse(Detail(e));
    }
    if (const auto fault = DefinitionFault(def)) refuse(*fault);
    return def;
}

SourceTables ReadSourceTables(const PageFile& file, bool repairing, const PageCensus* census = nullptr) {
    SourceTables tables;
    const auto add = [&](const CatalogEntry& entry) {
        if (tables.definition_pages.contains(entry.table_page()))
            Damaged("two catalog entries name the table at page " + std::to_string(entry.table_page()));
        TableDef def = ReadDefinition(file, entry, repairing);
        for (std::uint32_t page : def.pages) {
            if (!tables.definition_pages.insert(page).second || page <= kGlobalMapPage)
                Damaged("table definitions share page " + std::to_string(page));
        }
        tables.map_records += write::MapRecordsOf(def);
        tables.entries.push_back(entry);
        tables.defs.push_back(std::move(def));
    };
    for (const CatalogEntry& entry : ReadTableList(file, repairing)) add(entry);
    if (census == nullptr) return tables;
    std::vector<std::uint32_t> known;
    for (const TableDef& def : tables.defs) known.push_back(def.page);
    std::sort(known.begin(), known.end());
    UnlistedTables unlisted = FindUnlistedTables(file, *census, known);
    for (RestoredTable& restored : unlisted.restored) {
        add(restored.entry);
        tables.restored.push_back(std::move(restored));
    }
    tables.unnamed = std::move(unlisted.unnamed);
    RefuseDoubtfulCatalog(file, *census, tables.restored);
    return tables;
}

// A repair reads each table leniently just before writing it, and lets its
// rows go after: memory holds one table's salvage at a time. The same reading
// is repeated where the verification must name a difference.
class Salvager {
public:
    // `findings`: the full check's, when it finished; the tables it names are
    // salvaged, the others read as a compaction reads them.
    Salvager(const PageFile& file, const SourceTables& tables, const PageCensus& census,
             const std::optional<CheckReport>& findings)
        : file_(file), tables_(tables), census_(census), findings_(findings) {
        sources_.maps = SourceMaps(file, tables.defs);
        sources_.census = &census;
        for (const RestoredTable& restored : tables.restored)
            catalog_rows_.emplace_back(restored.row, restored.body);
    }

    bool NeedsSalvage(std::size_t table) const {
        if (!findings_ || findings_->damaged_tables.contains(tables_.entries[table].name)) return true;
        return std::any_of(tables_.restored.begin(), tables_.restored.end(), [&](const RestoredTable& r) { return r.entry.id == tables_.entries[table].id; });
    }

    // A table the check found sound, copied as a compaction copies it.
    void ReportSound(std::size_t table, std::uint64_t rows, RepairReport& report) const {
        TableRepair& copied = report.tables.emplace_back();
        copied.name = tables_.entries[table].name;
        copied.rows_kept = rows;
    }

    std::optional<compact::TableSalvage> SalvageIfNeeded(std::size_t table) const {
        if (!NeedsSalvage(table)) return std::nullopt;
        return Salvage(table);
    }

    compact::TableSalvage Salvage(std::size_t table) const {
        const std::string& name = tables_.entries[table].name;
        compact::SalvageSources sources = sources_;
        sources.system_table = tables_.entries[table].IsSystem();
        if (tables_.defs[table].page == kCatalogPage) sources.restored_rows = catalog_rows_;
        if (findings_) {
            const auto mismatches = findings_->key_mismatches.find(name);
            sources.keys_in_question =
                mismatches != findings_->key_mismatches.end() ? mismatches->second : std::set<std::size_t>{};
        }
        return compact::SalvageTable(file_, tables_.defs[table], name, sources);
    }

    // A system table holds forms, modules, queries and permissions: dropping
    // any of it would break the product silently, so a system table that
    // lost anything is refused. What the copy lacks is counted off the
    // census of the source's pages, not off the salvage's own view.
    compact::TableSalvage SalvageForCopy(std::size_t table, RepairReport& report) const {
        const CatalogEntry& entry = tables_.entries[table];
        compact::TableSalvage salvage = Salvage(table);
        if (entry.IsSystem() && salvage.in_doubt())
            Damaged("system table \"" + entry.name + "\" cannot be repaired: its rows cannot all be read");
        TableRepair& repaired = report.tables.emplace_back();
        repaired.name = entry.name;
        repaired.rows_kept = salvage.rows.size();
        const std::uint64_t missing = Missing(tables_.defs[table].page, salvage);
        const std::uint64_t deliberate = salvage.rows_resurrected;
        repaired.rows_dropped = std::max(salvage.rows_dropped, missing > deliberate ? missing - deliberate : 0);
        repaired.possibly_lost = salvage.possibly_lost;
        repaired.values_cut = salvage.values_cut;
        repaired.stale_entries = salvage.stale_entries;
        repaired.rows_disputed = salvage.rows_disputed;
        repaired.rows_kept_deleted = salvage.rows_kept_deleted;
        repaired.rows_resurrected = salvage.rows_resurrected;
        repaired.rebuilt_indexes = salvage.rebuilt_indexes;
        return salvage;
    }

    // What the report says of the tables themselves.
    void ReportTables(RepairReport& report) const {
        for (const RestoredTable& restored : tables_.restored)
            report.restored_tables.push_back({restored.entry.name, restored.why});
        for (const PageCensus::Owner& owner : tables_.unnamed)
            report.lost_tables.push_back("the table defined at page " + std::to_string(owner.table) + " (" +
                                         std::to_string(owner.rows) + " rows), which no catalog row names");
    }

private:
    // Live rows on the table's pages, as the census counts them, that the
    // salvage does not hold.
    std::uint64_t Missing(std::uint32_t table, const compact::TableSalvage& salvage) const {
        std::vector<RowPointer> kept;
        kept.reserve(salvage.rows.size());
        for (const compact::SalvagedRow& row : salvage.rows) kept.push_back(row.header);
        std::sort(kept.begin(), kept.end());
        std::uint64_t missing = 0;
        auto row = kept.begin();
        for (std::uint32_t page : census_.PagesOwnedBy(table)) {
            while (row != kept.end() && row->page < page) ++row;
            std::uint64_t here = 0;
            for (; row != kept.end() && row->page == page; ++row) ++here;
            if (census_.LiveRows(page) > here) missing += census_.LiveRows(page) - here;
        }
        return missing;
    }

    const PageFile& file_;
    const SourceTables& tables_;
    const PageCensus& census_;
    const std::optional<CheckReport>& findings_;
    compact::SalvageSources sources_;
    std::vector<std::pair<RowPointer, Bytes>> catalog_rows_;
};

// Every page of the copy but its length: the tables, the usage-map records,
// page 1, the holes and the header page.
// Returns each table's digest, for the verification.
std::vector<compact::TableDigest> WriteCopy(const PageFile& file, const SourceTables& tables,
                                            const compact::Relocation& relocation, compact::DestinationFile& out,
                                            write::PageAllocator& allocator, compact::TableCounts& counts,
                                            const Salvager* salvager, RepairReport* repair, SourceCheck& check) {
    const Format& format = file.format();
    compact::EncryptingPageSink encrypted(out, file.encryption_key(), format.page_size);
    write::PageSink& sink = file.encryption_key() != 0 ? static_cast<write::PageSink&>(encrypted) : out;
    write::MapRecordPages mapRecords(format, tables.map_records, allocator);
    compact::CompactionContext context{file, allocator, sink, mapRecords, relocation};
    std::vector<compact::TableDigest> digests;
    for (std::size_t i = 0; i < tables.defs.size(); ++i) {
        check.RefuseIfDamageFound();
        if (salvager == nullptr || !salvager->NeedsSalvage(i)) {
            const std::uint64_t rowsBefore = counts.rows;
            try {
                digests.push_back(compact::CompactTable(context, tables.defs[i], tables.entries[i].name, counts));
            } catch (const Error& e) {
                if (e.number() == errc::kCorrupt) check.NoteUnreadable(tables.entries[i].name);
                throw;
            }
            if (salvager != nullptr) salvager->ReportSound(i, counts.rows - rowsBefore, *repair);
            continue;
        }
        const compact::TableSalvage salvage = salvager->SalvageForCopy(i, *repair);
        digests.push_back(compact::CompactTable(context, tables.defs[i], tables.entries[i].name, counts, &salvage));
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

void WriteVerified(const PageFile& file, const std::filesystem::path& destination, CompactSummary& summary,
                   const BeforeVerification& before_verification, RepairReport* repair,
                   const std::optional<CheckReport>& findings, SourceCheck& check) {
    std::optional<PageCensus> census;
    if (repair != nullptr) census.emplace(file);
    const SourceTables tables = ReadSourceTables(file, repair != nullptr, census ? &*census : nullptr);
    std::optional<Salvager> salvager;
    if (repair != nullptr) {
        salvager.emplace(file, tables, *census, findings);
        salvager->ReportTables(*repair);
    }
    const Salvager* salvaging = salvager ? &*salvager : nullptr;

    compact::DestinationFile out(destination, file.page_size());
    const compact::Relocation relocation(file.format(), tables.entries, tables.defs);
    write::PageAllocator allocator(relocation.DefinitionPages());
    compact::TableCounts counts;
    const std::vector<compact::TableDigest> digests =
        WriteCopy(file, tables, relocation, out, allocator, counts, salvaging, repair, check);
    out.Finish(allocator.page_count());
    if (before_verification) before_verification(destination);
    {
        // The copy goes to stable storage while it is verified from the cache.
        std::future<void> flushed = std::async(std::launch::async | std::launch::deferred, [&out] { out.Flush(); });
        const PageFile copy = PageFile::OpenHeld(destination);
        compact::SalvageOf salvaged;
        if (salvaging != nullptr) salvaged = [salvaging](std::size_t table) { return salvaging->SalvageIfNeeded(table); };
        std::vector<CatalogEntry> restored;
        for (const RestoredTable& r : tables.restored) restored.push_back(r.entry);
        compact::VerifyCopy(file, tables.entries, tables.defs, copy, relocation, digests, salvaged, restored);
        flushed.get();
    }
    check.RefuseDamage();
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

// A salvage when `repair` is given: damage is salvaged instead of refused,
// in the tables `findings` name (all when there are none). Without it,
// damage is refused, with the check's findings as the reason, or handed
// back to `handed_back` for a repair to salvage.
void CompactInto(const std::filesystem::path& source, const std::filesystem::path& destination,
                 CompactSummary& summary, const BeforeVerification& before_verification, RepairReport* repair,
                 const std::optional<CheckReport>& findings = std::nullopt,
                 std::optional<CheckReport>* handed_back = nullptr) {
    std::error_code ec;
    if (!std::filesystem::exists(source, ec))
        throw Error(errc::kFileNotFound, "cannot compact " + Quoted(source) + ": the file does not exist");
    if (std::filesystem::equivalent(source, destination, ec))
        throw Error(errc::kFileAlreadyExists, "cannot compact " + Quoted(source) + " onto itself");

    const compact::SourceHold hold(source);
    const PageFile file = PageFile::OpenHeld(source);
    SourceCheck check(source, repair == nullptr,
                      handed_back != nullptr ? SourceCheck::Findings::kHandedBack : SourceCheck::Findings::kReported);
    try {
        WriteVerified(file, destination, summary, before_verification, repair, findings, check);
    } catch (...) {
        try {
            check.RefuseDamageAfter();
        } catch (...) {
            if (handed_back != nullptr) *handed_back = check.TakeFindings();
            throw;
        }
        throw;
    }
}

// Callers handle dorvane::Error only; anything else is reported as one.
void Guarded(const char* verb, const std::filesystem::path& source, const std::function<void()>& run) {
    try {
        run();
    } catch (const Error&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw Error(errc::kInternal, std::string("cannot ") + verb + " " + Quoted(source) + ": not enough memory");
    } catch (const std::exception& e) {
        throw Error(errc::kInternal,
                    std::string("cannot ") + verb + " " + Quoted(source) + ": internal error: " + e.what());
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

void CompactFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                 CompactSummary& summary, const BeforeVerification& before_verification) {
    Guarded("compact", source, [&] { CompactInto(source, destination, summary, before_verification, nullptr); });
}

// A sound source is compacted as it is; only when the check or the strict
// reading finds damage is it read again, salvaging.
void RepairFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                RepairReport& report, const BeforeVerification& before_verification) {
    report = RepairReport{};
    Guarded("repair", source, [&] {
        std::optional<CheckReport> findings;
        try {
            CompactInto(source, destination, report.summary, before_verification, nullptr, std::nullopt, &findings);
            report.source_sound = true;
            return;
        } catch (const Error& e) {
            if (e.number() != errc::kCorrupt) throw;
        }
        report.summary = CompactSummary{};
        CompactInto(source, destination, report.summary, before_verification, &report, findings);
    });
}

void RepairFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                RepairReport& report) {
    RepairFile(source, destination, report, {});
}


}  // namespace dorvane::jet
