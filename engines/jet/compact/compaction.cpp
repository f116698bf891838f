#include "engines/jet/compact/compaction.h"

#include <exception>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "core/error.h"
#include "engines/jet/checker.h"
#include "engines/jet/compact/compaction_seam.h"
#include "engines/jet/compact/destination.h"
#include "engines/jet/compact/encryption.h"
#include "engines/jet/compact/source_hold.h"
#include "engines/jet/compact/table.h"
#include "engines/jet/compact/usage_maps.h"
#include "engines/jet/compact/verify.h"
#include "engines/jet/format/catalog.h"
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
void RefuseDamage(const PageFile& file) {
    const CheckReport report = CheckDatabase(file);
    if (report.ok()) return;
    std::string what = report.problems.front();
    if (report.problems.size() > 1) what += " (and " + std::to_string(report.problems.size() - 1) + " more problems)";
    Damaged(what);
}

struct SourceTables {
    std::vector<CatalogEntry> entries;
    std::vector<TableDef> defs;                  // parallel to entries
    std::set<std::uint32_t> definition_pages;   // they keep their numbers: they are the tables' ids
    std::size_t map_records = 0;
};

SourceTables ReadSourceTables(const PageFile& file) {
    SourceTables tables;
    for (const CatalogEntry& entry : ReadTables(file)) {
        if (tables.definition_pages.contains(entry.table_page()))
            Damaged("two catalog entries name the table at page " + std::to_string(entry.table_page()));
        TableDef def = ReadTableDef(file, entry.table_page());
        for (std::uint32_t page : def.pages) {
            if (!tables.definition_pages.insert(page).second || page <= kGlobalMapPage)
                Damaged("table definitions share page " + std::to_string(page));
        }
        tables.map_records += compact::MapRecordsOf(def);
        tables.entries.push_back(entry);
        tables.defs.push_back(std::move(def));
    }
    return tables;
}

// Every page of the copy but its length: the tables, the usage-map records,
// page 1, the holes and the header page.
void WriteCopy(const PageFile& file, const SourceTables& tables, compact::DestinationFile& out,
               compact::PageAllocator& allocator, compact::TableCounts& counts) {
    const Format& format = file.format();
    compact::EncryptingPageSink encrypted(out, file.encryption_key(), format.page_size);
    compact::PageSink& sink = file.encryption_key() != 0 ? static_cast<compact::PageSink&>(encrypted) : out;
    compact::MapRecordPages mapRecords(format, tables.map_records, allocator);
    compact::CompactionContext context{file, allocator, sink, mapRecords};
    for (std::size_t i = 0; i < tables.defs.size(); ++i)
        compact::CompactTable(context, tables.defs[i], tables.entries[i].name, counts);
    mapRecords.Write(sink);
    compact::WriteGlobalMap(format, allocator, sink);
    if (file.encryption_key() != 0) {
        // Holes read as empty pages once decrypted, like everything else.
        const Bytes empty(format.page_size, 0);
        for (std::uint32_t hole : allocator.Holes()) sink.WritePage(hole, empty);
    }
    out.WritePage(0, file.raw_header());
}

void CompactInto(const std::filesystem::path& source, const std::filesystem::path& destination,
                 CompactSummary& summary, const BeforeVerification& before_verification) {
    std::error_code ec;
    if (!std::filesystem::exists(source, ec))
        throw Error(errc::kFileNotFound, "cannot compact " + Quoted(source) + ": the file does not exist");
    if (std::filesystem::equivalent(source, destination, ec))
        throw Error(errc::kFileAlreadyExists, "cannot compact " + Quoted(source) + " onto itself");

    const compact::SourceHold hold(source);
    const PageFile file = PageFile::Open(source);
    RefuseDamage(file);
    const SourceTables tables = ReadSourceTables(file);

    compact::DestinationFile out(destination, file.page_size());
    compact::PageAllocator allocator(tables.definition_pages);
    compact::TableCounts counts;
    WriteCopy(file, tables, out, allocator, counts);
    out.Finish(allocator.page_count());
    if (before_verification) before_verification(destination);
    {
        const PageFile copy = PageFile::Open(destination);
        compact::VerifyCopy(file, tables.defs, copy);
    }
    out.Commit();

    summary.source_pages = file.page_count();
    summary.copy_pages = allocator.page_count();
    summary.holes = static_cast<std::uint32_t>(allocator.Holes().size());
    summary.tables = tables.defs.size();
    summary.rows = counts.rows;
    summary.long_values = counts.long_values;
    summary.index_entries = counts.index_entries;
    summary.peak_index_bytes = counts.peak_index_bytes;
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
    // Callers handle dorvane::Error only; anything else is reported as one.
    try {
        CompactInto(source, destination, summary, before_verification);
    } catch (const Error&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw Error(errc::kInternal, "cannot compact " + Quoted(source) + ": not enough memory");
    } catch (const std::exception& e) {
        throw Error(errc::kInternal, "cannot compact " + Quoted(source) + ": internal error: " + e.what());
    }
}

}  // namespace dorvane::jet
