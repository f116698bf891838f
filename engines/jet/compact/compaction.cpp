#include "engines/jet/compact/compaction.h"

#include <exception>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "core/error.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/checker.h"
#include "engines/jet/compact/destination.h"
#include "engines/jet/compact/encryption.h"
#include "engines/jet/compact/layout.h"
#include "engines/jet/compact/source_hold.h"
#include "engines/jet/compact/table.h"
#include "engines/jet/compact/usage_maps.h"
#include "engines/jet/compact/verify.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

namespace {

compact::PageLayout LayoutOf(const PageFile& file) {
    return file.version() == Version::kJet3 ? compact::PageLayout::Jet3() : compact::PageLayout::Jet4();
}

std::string Quoted(const std::filesystem::path& p) { return "\"" + p.string() + "\""; }

// Compaction rebuilds from the rows it can read; where the full check finds
// anything amiss, rows may be unreadable or unreachable, and a copy would
// drop them without a trace. Such a file is refused, never smoothed over.
void RefuseDamage(const PageFile& file) {
    const CheckReport report = CheckDatabase(file);
    if (report.ok()) return;
    std::string what = report.problems.front();
    if (report.problems.size() > 1) what += " (and " + std::to_string(report.problems.size() - 1) + " more problems)";
    throw Error(errc::kCorrupt, "damaged database: " + what);
}

void CompactInto(const std::filesystem::path& source, const std::filesystem::path& destination,
                 CompactSummary& summary);

}  // namespace

void CompactFile(const std::filesystem::path& source, const std::filesystem::path& destination) {
    CompactSummary summary;
    CompactFile(source, destination, summary);
}

void CompactFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                 CompactSummary& summary) {
    // Callers handle dorvane::Error only; anything else is reported as one.
    try {
        CompactInto(source, destination, summary);
    } catch (const Error&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw Error(errc::kInternal, "cannot compact " + Quoted(source) + ": not enough memory");
    } catch (const std::exception& e) {
        throw Error(errc::kInternal, "cannot compact " + Quoted(source) + ": internal error: " + e.what());
    }
}

namespace {

void CompactInto(const std::filesystem::path& source, const std::filesystem::path& destination,
                 CompactSummary& summary) {
    std::error_code ec;
    if (!std::filesystem::exists(source, ec))
        throw Error(errc::kFileNotFound, "cannot compact " + Quoted(source) + ": the file does not exist");
    if (std::filesystem::equivalent(source, destination, ec))
        throw Error(errc::kFileAlreadyExists, "cannot compact " + Quoted(source) + " onto itself");

    const compact::SourceHold hold(source);
    const PageFile file = PageFile::Open(source);
    const compact::PageLayout layout = LayoutOf(file);
    RefuseDamage(file);

    // Table definitions keep their page numbers: they are the tables' ids.
    std::vector<CatalogEntry> entries;
    std::vector<TableDef> tables;
    std::set<std::uint32_t> fixed;
    std::size_t records = 0;
    for (const CatalogEntry& entry : ReadTables(file)) {
        if (fixed.contains(entry.table_page()))
            throw Error(errc::kCorrupt, "damaged database: two catalog entries name the table at page " +
                                            std::to_string(entry.table_page()));
        TableDef def = ReadTableDef(file, entry.table_page());
        for (std::uint32_t page : def.pages) {
            if (!fixed.insert(page).second || page < 2)
                throw Error(errc::kCorrupt, "damaged database: table definitions share page " + std::to_string(page));
        }
        records += compact::MapRecordsOf(def);
        entries.push_back(entry);
        tables.push_back(std::move(def));
    }

    compact::DestinationFile out(destination, layout.pageSize);
    compact::EncryptingPageSink encrypted(out, file.encryption_key(), layout.pageSize);
    compact::PageSink& sink = file.encryption_key() != 0 ? static_cast<compact::PageSink&>(encrypted) : out;
    compact::PageAllocator allocator(fixed);
    compact::MapRecordPages mapRecords(layout, records, allocator);
    compact::CompactTarget target{file, layout, allocator, sink, mapRecords};
    compact::TableCounts counts;
    for (std::size_t i = 0; i < tables.size(); ++i) compact::CompactTable(target, tables[i], entries[i].name, counts);
    mapRecords.Write(sink);
    compact::WriteGlobalMap(layout, allocator, sink);
    if (file.encryption_key() != 0) {
        // Holes read as empty pages once decrypted, like everything else.
        const std::vector<std::uint8_t> empty(layout.pageSize, 0);
        for (std::uint32_t hole : allocator.Holes()) sink.WritePage(hole, empty);
    }
    out.WritePage(0, file.raw_header());
    out.Finish(allocator.PageCount());

    {
        const PageFile copy = PageFile::Open(destination);
        compact::VerifyCopy(file, tables, copy);
    }
    out.Commit();

    summary.sourcePages = file.page_count();
    summary.copyPages = allocator.PageCount();
    summary.holes = static_cast<std::uint32_t>(allocator.Holes().size());
    summary.tables = tables.size();
    summary.rows = counts.rows;
    summary.longValues = counts.longValues;
    summary.indexEntries = counts.indexEntries;
    summary.peakIndexBytes = counts.peakIndexBytes;
}

}  // namespace

}  // namespace dorvane::jet
