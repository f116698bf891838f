#include "engines/jet/compact/verify.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "core/error.h"
#include "engines/jet/check/checker.h"
#include "engines/jet/write/index_tree.h"
#include "engines/jet/compact/row_map.h"
#include "engines/jet/compact/verify_ids.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/page_census.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/usage_map.h"

namespace dorvane::jet::compact {

namespace {

constexpr const char* kMismatch = "compacted copy does not match the source";

[[noreturn]] void Mismatch(const std::string& detail) {
    throw Error(errc::kVerifyFailed, std::string(kMismatch) + ": " + detail);
}

std::string TableText(const TableDef& def) { return "table at page " + std::to_string(def.page); }

// Offsets of the definition fields compaction rewrites, as [begin, end) ranges.
std::vector<std::pair<std::size_t, std::size_t>> RewrittenFields(const TableDef& def) {
    std::vector<std::pair<std::size_t, std::size_t>> r;
    const auto add = [&r](std::size_t at, std::size_t n) { r.emplace_back(at, at + n); };
    add(def.num_rows_offset, 4);
    add(def.autonumber_offset, 4);
    if (def.complex_autonumber_offset != 0) add(def.complex_autonumber_offset, 4);
    add(def.owned_map_offset, 4);
    add(def.free_map_offset, 4);
    for (const PhysicalIndex& index : def.physical_indexes) {
        add(index.map_pointer_offset, 4);
        add(index.root_page_offset, 4);
        add(index.stats_offset, 8);
    }
    for (const LongValueMap& lv : def.long_value_maps) {
        add(lv.owned_map_offset(), 4);
        add(lv.free_map_offset(), 4);
    }
    return r;
}

void CompareDefinitions(const TableDef& source_def, const TableDef& copy_def, const Relocation& relocation) {
    if (copy_def.pages != relocation.NewPages(source_def) || source_def.stream.size() != copy_def.stream.size())
        Mismatch(TableText(source_def) + ": the definition is not where it belongs or changed length");
    if (copy_def.autonumber < source_def.autonumber)
        Mismatch(TableText(source_def) + ": its AutoNumber counter went down");
    if (copy_def.complex_autonumber < source_def.complex_autonumber)
        Mismatch(TableText(source_def) + ": its complex-column counter went down");
    Bytes expected = source_def.stream;
    PutLe32(expected, kTableDefNextPage,
            copy_def.pages.size() > 1 ? copy_def.pages[1] : 0);  // its chain is copy_def.pages, checked above
    for (std::size_t field : relocation.RelatedTableFields(source_def))
        PutLe32(expected, field, relocation.NewId(Le32(source_def.stream, field)));
    std::vector<bool> skip(source_def.stream.size(), false);
    for (auto [from, to] : RewrittenFields(source_def))
        for (std::size_t i = from; i < to && i < skip.size(); ++i) skip[i] = true;
    for (std::size_t i = 0; i < source_def.stream.size(); ++i)
        if (!skip[i] && expected[i] != copy_def.stream[i])
            Mismatch(TableText(source_def) + ": the definition differs at byte " + std::to_string(i));
}

// Rows equal byte for byte, except where a long value's pointer and the
// dword after it live; the values themselves are compared in full.
// `skip` is the caller's, reused from row to row.
void CompareRows(const PageFile& source, const PageFile& copy, const TableDef& def, const TableRow& source_row,
                 const TableRow& copy_row, std::uint64_t ordinal, std::vector<bool>& skip) {
    const auto where = [&] { return TableText(def) + ", row " + std::to_string(ordinal + 1); };
    if (source_row.body.size() != copy_row.body.size()) Mismatch(where() + " changed length");
    skip.assign(source_row.body.size(), false);
    const RowFields source_fields = LocateFields(source.format(), def, source_row.body);
    const RowFields copy_fields = LocateFields(copy.format(), def, copy_row.body);
    for (std::size_t c = 0; c < def.columns.size(); ++c) {
        const FieldSpan& in_source = source_fields.spans[c];
        const FieldSpan& in_copy = copy_fields.spans[c];
        if (in_source.present != in_copy.present || in_source.offset != in_copy.offset ||
            in_source.length != in_copy.length)
            Mismatch(where() + ", column \"" + def.columns[c].name + "\" differs");
        if (!def.columns[c].IsLongValue() || !in_source.present || in_source.length == 0) continue;
        const ByteSpan source_field = FieldBytes(source_row.body, in_source);
        const ByteSpan copy_field = FieldBytes(copy_row.body, in_copy);
        if (ParseLongValueField(source_field).kind == LongValueKind::kInline) continue;
        if (ParseLongValueField(copy_field).kind != ParseLongValueField(source_field).kind)
            Mismatch(where() + ", column \"" + def.columns[c].name + "\" changed storage");
        if (ReadLongValue(source, source_field) != ReadLongValue(copy, copy_field))
            Mismatch(where() + ", the long value of column \"" + def.columns[c].name + "\" differs");
        for (std::size_t i = kLongValueFieldPointer; i < kLongValueFieldHeader; ++i) skip[in_source.offset + i] = true;
    }
    for (std::size_t i = 0; i < source_row.body.size(); ++i)
        if (!skip[i] && source_row.body[i] != copy_row.body[i])
            Mismatch(where() + " differs at byte " + std::to_string(i));
}

void CompareIndex(const TableSource& expectedRows, const PageFile& copy, const TableDef& source_def,
                  const TableDef& copy_def, std::size_t i, const RowMap& moved, const Relocation& relocation) {
    const std::string where = TableText(source_def) + ", index " + std::to_string(i);
    write::IndexEntryList expected;
    Bytes key;
    bool stray = false;  // told after the walk, which reports a damaged page first
    const auto expect = [&](ByteSpan entryKey, RowPointer row) {
        const std::optional<RowPointer> to = moved.Find(row);
        if (!to) {
            stray = true;
            return;
        }
        relocation.RewriteKey(source_def, i, entryKey, key);
        expected.Add(key, *to);
    };
    expectedRows.Entries(i, expect);
    if (stray) Mismatch(where + " names a row the copy lacks");
    expected.Sort();
    // The copy's entries against the expected ones as they come; a count or
    // an entry that differs is told once the whole tree has been read.
    std::size_t count = 0;
    std::optional<std::size_t> differs;
    Bytes full;
    const IndexWalk walk =
        VisitIndex(copy, copy_def.physical_indexes[i].root_page, [&](ByteSpan entryKey, RowPointer row) {
            if (count < expected.size() && !differs) {
                full.assign(entryKey.begin(), entryKey.end());
                AppendIndexRowRef(full, row);
                const ByteSpan want = expected.Entry(count);
                if (!std::equal(full.begin(), full.end(), want.begin(), want.end())) differs = count;
            }
            ++count;
        });
    if (count != expected.size()) Mismatch(where + " has a different number of entries");
    if (differs) Mismatch(where + ", entry " + std::to_string(*differs + 1) + " differs");
    std::vector<std::uint32_t> pages = walk.pages;
    std::sort(pages.begin(), pages.end());
    if (ReadUsageMap(copy, RowPointer::FromU32(copy_def.physical_indexes[i].map_pointer)).pages != pages)
        Mismatch(where + ": its page map does not list exactly its pages");
}

void CompareTable(const PageFile& source, const TableDef& source_def, const TableSource& expected, const PageFile& copy,
                  const Relocation& relocation) {
    const TableDef copy_def = ReadTableDef(copy, relocation.NewId(source_def.page));
    CompareDefinitions(source_def, copy_def, relocation);

    RowMap moved;
    RowCursor copy_rows(copy, copy_def);
    TableRow copy_row;
    std::vector<bool> skip;
    Bytes source_body;  // the source's row, with the ids it holds moved as the copy must have them
    expected.Rows([&](RowPointer header, ByteSpan body) {
        if (!copy_rows.Next(copy_row)) Mismatch(TableText(source_def) + " has a different number of rows");
        source_body.assign(body.begin(), body.end());
        relocation.RewriteRow(source_def, source_body);
        CompareRows(source, copy, source_def, TableRow{header, source_body}, copy_row, moved.size(), skip);
        moved.Add(header, copy_row.header);
    });
    if (copy_rows.Next(copy_row)) Mismatch(TableText(source_def) + " has a different number of rows");
    if (copy_def.num_rows != moved.size()) Mismatch(TableText(source_def) + ": the row count is not recorded");
    moved.Seal();
    for (std::size_t i = 0; i < source_def.physical_indexes.size(); ++i)
        CompareIndex(expected, copy, source_def, copy_def, i, moved, relocation);
}

// What the check of the copy read of one table, fingerprinted as the
// compaction fingerprinted what it wrote. Fed by the thread that checks the
// table, read once the check is over.
class ReadBack final : public TableWitness {
public:
    explicit ReadBack(std::size_t indexes) : digest_(indexes), indexes_(indexes) {}

    // Handed out once: a table listed twice is read back by one check only.
    TableWitness* Claim() { return claimed_.exchange(true) ? nullptr : this; }

    void LongValue(ByteSpan value) override { digest_.AddLongValue(value); }
    void Row(ByteSpan body, RowPointer where) override {
        digest_.AddRow(body, where);
        ++rows_;
    }
    void IndexEntry(std::size_t index, ByteSpan entry) override {
        if (index < indexes_)
            digest_.AddIndexEntry(index, entry);
        else
            extra_index_ = true;  // a definition that differs, told by the comparison of definitions
    }

    bool Holds(const TableDigest& written, const TableDef& copy_def) const {
        if (!claimed_ || extra_index_ || rows_ != copy_def.num_rows || !digest_.SameRows(written)) return false;
        for (std::size_t i = 0; i < indexes_; ++i)
            if (!digest_.SameIndex(written, i)) return false;
        return true;
    }

private:
    TableDigest digest_;
    std::size_t indexes_;
    std::uint64_t rows_ = 0;
    bool extra_index_ = false;
    std::atomic<bool> claimed_{false};
};

}  // namespace

void VerifyCopy(const PageFile& source, const std::vector<CatalogEntry>& tables,
                const std::vector<TableDef>& source_tables, const PageFile& copy, const Relocation& relocation,
                const std::vector<TableDigest>& written, const TableSourceOf& source_of,
                const std::vector<CatalogEntry>& restored) {
    // Only a sound source is compacted, and a repair writes only what it
    // salvaged, so the copy must be sound too. Its check reads every table,
    // and what it reads is what the copy must hold: the check fingerprints
    // it on the way, and the copy is read once. A copy on disk is checked
    // through a reader of its own on a second core, while this one compares
    // the definitions and takes the check's page census.
    std::deque<ReadBack> read_back;
    std::map<std::uint32_t, ReadBack*> by_definition;
    for (const TableDef& def : source_tables) {
        read_back.emplace_back(def.physical_indexes.size());
        by_definition.emplace(relocation.NewId(def.page), &read_back.back());
    }
    const TableWitnesses witnesses = [&by_definition](std::uint32_t page) -> TableWitness* {
        const auto found = by_definition.find(page);
        return found == by_definition.end() ? nullptr : found->second->Claim();
    };
    std::promise<PageCensus> taking;
    auto check = [&copy, &witnesses, census = taking.get_future()]() mutable {
        return copy.path().empty()
                   ? CheckDatabase(copy, std::move(census), TableReaders::kOne, witnesses)
                   : CheckDatabase(PageFile::OpenCached(copy.path()), std::move(census), TableReaders::kTwo, witnesses);
    };
    std::future<CheckReport> checked = copy.path().empty()
                                           ? std::async(std::launch::deferred, std::move(check))
                                           : std::async(std::launch::async | std::launch::deferred, std::move(check));
    // After `checked`: a verification that stops early abandons the census
    // before it waits for the check.
    std::promise<PageCensus> census = std::move(taking);
    std::vector<TableDef> copy_tables;
    try {
        const auto names = [](const std::vector<CatalogEntry>& entries, const Relocation* moved) {
            std::vector<std::pair<std::string, std::uint32_t>> out;
            for (const CatalogEntry& e : entries) {
                const auto id = static_cast<std::uint32_t>(e.id);
                out.emplace_back(e.name, moved != nullptr ? moved->NewId(id) : id);
            }
            std::sort(out.begin(), out.end());
            return out;
        };
        if (names(tables, &relocation) != names(ReadTables(copy), nullptr)) Mismatch("the list of tables differs");
        if (copy.raw_header() != source.raw_header()) Mismatch("the header page differs");
        for (const TableDef& source_def : source_tables) {
            copy_tables.push_back(ReadTableDef(copy, relocation.NewId(source_def.page)));
            CompareDefinitions(source_def, copy_tables.back(), relocation);
        }
        VerifyTableIds(source, copy, restored);
    } catch (const Error& e) {
        if (e.number() == errc::kVerifyFailed) throw;
        Mismatch(e.description());
    }
    try {
        census.set_value(PageCensus(copy));
    } catch (...) {
        census.set_exception(std::current_exception());
    }
    CheckReport report;
    try {
        report = checked.get();
    } catch (const Error& e) {
        Mismatch(e.description());
    }
    for (std::size_t t = 0; t < source_tables.size(); ++t) {
        if (read_back[t].Holds(written.at(t), copy_tables[t])) continue;
        // Where the copy differs is found by comparing it with the source again.
        const TableDef& source_def = source_tables[t];
        try {
            CompareTable(source, source_def, *source_of(t), copy, relocation);
        } catch (const Error& e) {
            if (e.number() == errc::kVerifyFailed) throw;
            Mismatch(e.description());
        }
        Mismatch(TableText(source_def) + " does not hold what was written");
    }
    if (!report.ok()) Mismatch(report.problems.front());
}

}  // namespace dorvane::jet::compact
