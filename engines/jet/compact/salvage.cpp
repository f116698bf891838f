#include "engines/jet/compact/salvage.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "core/error.h"
#include "engines/jet/format/definition_check.h"
#include "engines/jet/format/index_key.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/usage_map.h"
#include "engines/jet/format/value.h"

namespace dorvane::jet::compact {

namespace {

// Clears the column's bit in the row's null mask, the last bytes of the row.
void SetNull(Bytes& body, std::uint16_t column_count, std::uint16_t column_number) {
    const std::size_t maskSize = (column_count + 7u) / 8u;
    body[body.size() - maskSize + column_number / 8] &= static_cast<std::uint8_t>(~(1u << (column_number % 8)));
}

// A value's long-value row and the column and row that name it.
struct LongValueClaim {
    std::uint32_t long_value_row;
    RowPointer row;
    std::uint16_t column;
};

struct PageRows {
    PageRows(const PageFile& file, const SourceMaps& source_maps) : long_values(file), maps(source_maps) {}
    std::set<RowPointer> deleted;           // slots deleted by the writer, not by damage
    std::set<RowPointer> bodies;            // slots flagged as relocated bodies
    std::set<RowPointer> pointed_at;        // where the table's overflow pointers lead
    std::set<std::uint32_t> damaged_pages;  // see WeighIndexEvidence
    std::set<std::uint32_t> listed;         // the table's pages, as its map (or their owners) give them
    std::set<std::uint32_t> parsed;         // listed pages read as the table's data pages
    std::vector<bool> disputed_indexes;     // an entry's key differs from its row's: rebuilt
    RowSample sample;                       // of the rows read, against the definition
    LongValueReader long_values;
    const SourceMaps& maps;
    std::vector<LongValueClaim> claims;  // of the rows read
};

// Whether every column of the row decodes. A memo/OLE value that cannot be
// read whole, or that lies on a page another column's map lists, is set to
// Null rather than cut to what can be read: a cut text reads like a complete
// one, a Null is plainly missing, and the loss is reported either way. The
// long-value rows of the values kept are claimed for the row.
bool SalvageRow(const PageFile& file, const TableDef& def, RowPointer header, Bytes& body, TableSalvage& out,
                PageRows& seen) {
    const std::size_t claimed = seen.claims.size();
    try {
        const RowFields fields = LocateFields(file.format(), def, body);
        for (std::size_t i = 0; i < def.columns.size(); ++i) {
            const Column& column = def.columns[i];
            const FieldSpan& span = fields.spans[i];
            if (!column.IsLongValue()) {
                // What a value's reading can find wrong: fewer bytes than its type takes.
                if (span.present && !column.IsBoolean() && span.length < FixedValueSize(column.type))
                    ThrowCorrupt("column '" + column.name + "' holds fewer bytes than its type needs");
                continue;
            }
            if (!span.present || span.length == 0) continue;
            const std::size_t before = seen.claims.size();
            try {
                for (const RowPointer& at : seen.long_values.Rows(FieldBytes(body, span))) {
                    const auto owner = seen.maps.LongValueColumn(at.page);
                    if (owner && !(*owner == SourceMaps::ColumnOf{def.page, column.number}))
                        ThrowCorrupt("a memo or OLE value lies on another column's page " + std::to_string(at.page));
                    seen.claims.push_back({at.ToU32(), header, column.number});
                }
            } catch (const Error& e) {
                if (e.number() != errc::kCorrupt) throw;
                seen.claims.resize(before);
                SetNull(body, fields.column_count, column.number);
                ++out.values_cut;
            }
        }
        return true;
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        seen.claims.resize(claimed);
        return false;
    }
}

void SalvagePage(const PageFile& file, const TableDef& def, std::uint32_t number, const Bytes& bytes, TableSalvage& out,
                 PageRows& seen) {
    std::vector<std::size_t> unreadable;
    std::optional<DataPage> page;
    try {
        page = DataPage::ParseSalvaging(file.format(), number, bytes, unreadable);
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        ++out.pages_passed_over;  // its rows are accounted for by the cached count
        return;
    }
    seen.parsed.insert(number);
    bool garbled = !unreadable.empty();
    // Writers keep a page's free-space figure exact; a slot count changed
    // (rows hidden, or bytes read as a row) shows as other room than the page
    // records. Such a page is treated as damaged.
    const bool inDoubt = page->stored_free_space() != page->ComputedFreeSpace();
    if (inDoubt) ++out.pages_in_doubt;
    for (std::size_t slot = 0; slot < page->slots().size(); ++slot) {
        const SlotKind kind = page->slots()[slot].kind;
        const RowPointer header{number, static_cast<std::uint8_t>(slot)};
        const bool damaged = std::find(unreadable.begin(), unreadable.end(), slot) != unreadable.end();
        if (damaged) {
            // A row or an overflow pointer is lost; a relocated body is
            // counted through its pointer, a deleted slot costs nothing.
            const std::uint16_t flags = page->slots()[slot].word & kRowDeleted;
            if (flags == 0 || flags == kRowOverflowPointer) ++out.rows_dropped;
            continue;
        }
        if (kind == SlotKind::kDeleted) seen.deleted.insert(header);
        if (kind == SlotKind::kOverflowTarget) seen.bodies.insert(header);
        if (kind == SlotKind::kOverflowPointer && page->slots()[slot].length() >= 4)
            seen.pointed_at.insert(RowPointer::FromU32(Le32(page->SlotBytes(slot), 0)));
        if (kind == SlotKind::kDeleted || kind == SlotKind::kOverflowTarget) continue;
        SalvagedRow row{header, {}};
        Bytes body;
        try {
            body = ResolveRowBody(file, *page, slot);
        } catch (const Error& e) {
            if (e.number() != errc::kCorrupt) throw;
            ++out.rows_dropped;
            // Into a page the table does not hold, the pointer is not one: the
            // slot offset that gave its bytes is wrong, and so are its neighbours'.
            const ByteSpan pointer = page->SlotBytes(slot);
            if (pointer.size() < 4 || !seen.listed.contains(RowPointer::FromU32(Le32(pointer, 0)).page)) garbled = true;
            continue;
        }
        seen.sample.Add(file.format(), def, body);
        const std::uint64_t cutBefore = out.values_cut;
        if (SalvageRow(file, def, header, body, out, seen)) {
            if (out.values_cut != cutBefore) row.changed = std::make_unique<Bytes>(std::move(body));
            out.rows.push_back(std::move(row));
        } else {
            ++out.rows_dropped;
            garbled = true;
        }
    }
    if (garbled || inDoubt) seen.damaged_pages.insert(number);
}

// Each index's entries, read from its tree whenever they are needed rather
// than held: a large table's indexes take more memory than its rows. The
// first reading tells which trees read whole and which entries are out of
// order; the source is held, so every reading gives the same entries.
class Walks {
public:
    Walks(const PageFile& file, const TableDef& def) : file_(file) {
        Bytes previous, current;
        for (const PhysicalIndex& index : def.physical_indexes) {
            Walk& walk = walks_.emplace_back();
            walk.root = index.root_page;
            RowPointer previousRow;
            std::size_t count = 0;
            try {
                VisitIndex(file, index.root_page, [&](ByteSpan key, RowPointer row) {
                    current.assign(key.begin(), key.end());
                    AppendIndexRowRef(current, row);
                    // No change to a row can put its entry out of order, so
                    // there the index is what is damaged, and such an entry
                    // neither confirms nor condemns its row.
                    if (count++ > 0 && !std::ranges::lexicographical_compare(previous, current)) {
                        walk.disordered.insert(previousRow);
                        walk.disordered.insert(row);
                    }
                    previous.swap(current);
                    previousRow = row;
                    ++walk.entries;
                });
                walk.readable = true;
            } catch (const Error& e) {
                if (e.number() != errc::kCorrupt) throw;
                walk.disordered.clear();
            }
        }
    }
    std::size_t size() const { return walks_.size(); }
    // Whether the tree reads whole; none of the rest is asked otherwise.
    bool Readable(std::size_t index) const { return walks_[index].readable; }
    // Whether it can tell which rows the table holds: read whole and in order.
    bool Tells(std::size_t index) const { return Readable(index) && walks_[index].disordered.empty(); }
    // Rows named by entries out of order with a neighbour.
    const std::set<RowPointer>& Disordered(std::size_t index) const { return walks_[index].disordered; }
    std::uint32_t Root(std::size_t index) const { return walks_[index].root; }
    std::size_t Entries(std::size_t index) const { return walks_[index].entries; }
    void Visit(std::size_t index, const IndexEntryVisitor& visit) const {
        VisitIndex(file_, walks_[index].root, visit);
    }

private:
    struct Walk {
        std::uint32_t root = 0;
        bool readable = false;
        std::size_t entries = 0;
        std::set<RowPointer> disordered;
    };
    const PageFile& file_;
    std::vector<Walk> walks_;
};

// Values by row, sorted once: a fraction of a std::map's memory for a large
// table (eight bytes a row for a four-byte value). Where a row is given
// twice, the first value given is the one found.
template <typename Value>
class RowIndexed {
public:
    void Reserve(std::size_t count) { pairs_.reserve(count); }
    void Add(RowPointer row, Value value) { pairs_.emplace_back(row.ToU32(), std::move(value)); }
    void Seal() {
        std::stable_sort(pairs_.begin(), pairs_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    bool empty() const { return pairs_.empty(); }
    // The same as Find for rows asked in ascending order, each step going on
    // from the last instead of searching the whole: `at` starts at 0.
    const Value* FindFrom(RowPointer row, std::size_t& at) const {
        while (at < pairs_.size() && pairs_[at].first < row.ToU32()) ++at;
        return at < pairs_.size() && pairs_[at].first == row.ToU32() ? &pairs_[at].second : nullptr;
    }
    const Value* Find(RowPointer row) const {
        const auto it = std::lower_bound(pairs_.begin(), pairs_.end(), row.ToU32(),
                                         [](const auto& pair, std::uint32_t r) { return pair.first < r; });
        return it != pairs_.end() && it->first == row.ToU32() ? &it->second : nullptr;
    }

private:
    std::vector<std::pair<std::uint32_t, Value>> pairs_;
};

// A key as 64 bits, for weighing a row's key against its entry's without
// holding every entry's key: two different keys agree by chance about once
// in 2^64 weighings.
std::uint64_t KeyDigest(ByteSpan key) {
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (const std::uint8_t byte : key) h = (h ^ byte) * 0x100000001B3ull;
    h ^= key.size();
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}

struct RowEvidence {
    bool confirmed = false;  // an index holds the key its values give
    bool disputed = false;   // an index holds another key for it
};

// Moves `row` down to place `kept` of the rows kept so far; never onto itself,
// which would empty it.
void Keep(std::vector<SalvagedRow>& rows, std::size_t& kept, SalvagedRow& row) {
    if (&rows[kept] != &row) rows[kept] = std::move(row);
    ++kept;
}

// Only a row's own page can condemn it. Bytes that happen to decode on a page
// whose slots, free space or rows did not hold are not a row unless an index
// confirms them (a broken overflow chain costs only its own row; a bad slot
// offset the row and its neighbour in an indexed table, the page's rows in a
// table without an index that can tell). Anywhere else an index that
// disagrees with a row is what is damaged: the row is kept, counted as
// disputed, and the index rebuilt from the rows.
void WeighIndexEvidence(const PageFile& file, const TableDef& def, const Walks& walks,
                        const std::optional<std::set<std::size_t>>& keys_in_question, PageRows& seen,
                        TableSalvage& out) {
    seen.disputed_indexes.assign(walks.size(), false);
    // On a sound page a row can disagree only with an index the check found
    // disagreeing, unless the check did not read the table's pages as found here.
    std::vector<bool> questioned(walks.size(), true);
    if (keys_in_question && !out.map_lost)
        for (std::size_t i = 0; i < questioned.size(); ++i) questioned[i] = keys_in_question->contains(i);
    // A row is weighed against a questioned index, and against every index
    // where its page is damaged. An index whose key cannot be computed here
    // says nothing. One index at a time, so that only one index's entries
    // are held; each row's evidence gathers over the passes.
    const auto weighs = [&](std::size_t i, RowPointer row) {
        return questioned[i] || seen.damaged_pages.contains(row.page);
    };
    std::vector<RowEvidence> evidence(out.rows.size());
    SalvagedRowReader bodies(file);
    Bytes key;
    for (std::size_t i = 0; i < walks.size(); ++i) {
        if (!walks.Readable(i)) continue;
        RowIndexed<std::uint64_t> named;                     // row -> the digest of its entry's key
        if (questioned[i]) named.Reserve(walks.Entries(i));  // not twice that while it grows
        const std::set<RowPointer>& disordered = walks.Disordered(i);
        walks.Visit(i, [&](ByteSpan entryKey, RowPointer row) {
            if (weighs(i, row) && !disordered.contains(row)) named.Add(row, KeyDigest(entryKey));
        });
        if (named.empty()) continue;
        named.Seal();
        std::size_t at = 0;  // the rows are in pointer order
        for (std::size_t r = 0; r < out.rows.size(); ++r) {
            const RowPointer header = out.rows[r].header;
            const std::uint64_t* entry = weighs(i, header) ? named.FindFrom(header, at) : nullptr;
            if (entry == nullptr) continue;
            const ByteSpan body = bodies.Body(out.rows[r]);
            try {
                if (!EncodeIndexKey(file.format(), def, def.physical_indexes[i], body,
                                    LocateFields(file.format(), def, body), key))
                    continue;
            } catch (const Error&) {
                continue;
            }
            if (KeyDigest(key) == *entry) {
                evidence[r].confirmed = true;
            } else {
                evidence[r].disputed = true;
                seen.disputed_indexes[i] = true;
            }
        }
    }
    std::size_t kept = 0;  // the rows kept, moved down over those dropped
    for (std::size_t r = 0; r < out.rows.size(); ++r) {
        SalvagedRow& row = out.rows[r];
        if (seen.damaged_pages.contains(row.header.page) && !evidence[r].confirmed) {
            ++out.rows_dropped;
            continue;
        }
        if (evidence[r].disputed) ++out.rows_disputed;
        Keep(out.rows, kept, row);
    }
    out.rows.resize(kept);
}

RowPointer HeaderOf(const SalvagedRow& row) { return row.header; }
RowPointer HeaderOf(RowPointer row) { return row; }

bool EveryIndexedColumnNull(const PageFile& file, const TableDef& def, const PhysicalIndex& index, ByteSpan body);

void HoldRestoredRows(const std::vector<std::pair<RowPointer, Bytes>>& restored, PageRows& seen, TableSalvage& out) {
    if (restored.empty()) return;
    for (const auto& [header, body] : restored) {
        const auto at = std::lower_bound(out.rows.begin(), out.rows.end(), header,
                                         [](const SalvagedRow& row, RowPointer h) { return row.header < h; });
        if (at != out.rows.end() && at->header == header)
            at->changed = std::make_unique<Bytes>(body);
        else
            out.rows.insert(at, SalvagedRow{header, std::make_unique<Bytes>(body)});
    }
    seen.disputed_indexes.assign(seen.disputed_indexes.size(), true);
}

// Rows found live on sound pages that no index names, in a user table whose
// cached count leaves them out: deleted rows whose flag was cleared, or a
// page written back from before its rows were deleted. The writer's last
// word (the count and the indexes) is that they are deleted, and so they stay,
// counted as in doubt. Only where the indexes that can tell name none of
// them, and the count is short by at least as many: the rows the table holds
// by the count are those read, with those an index names that were not (lost
// on a damaged page, or flagged deleted).
void KeepResurrectedRowsDeleted(const PageFile& file, const TableDef& def, const Walks& walks, bool system,
                                const PageRows& seen, TableSalvage& out) {
    if (system || def.table_type == kSystemTable) return;
    std::vector<std::size_t> telling;
    for (std::size_t i = 0; i < walks.size(); ++i)
        if (walks.Tells(i)) telling.push_back(i);
    if (telling.empty()) return;
    // The rows one index names, four bytes each, held for one index at a time.
    const auto namedBy = [&walks](std::size_t index) {
        std::vector<std::uint32_t> rows;
        walks.Visit(index, [&rows](ByteSpan, RowPointer row) { rows.push_back(row.ToU32()); });
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        return rows;
    };
    // The rows read are in stored order, which is pointer order.
    const auto read = [&out](RowPointer row) {
        return std::binary_search(out.rows.begin(), out.rows.end(), row,
                                  [](const auto& a, const auto& b) { return HeaderOf(a) < HeaderOf(b); });
    };
    // Rows an index names that were not read but may be rows: flagged deleted,
    // or on a page of the table that could not be read whole. An entry naming
    // no row on a sound page is the index's damage, not a row.
    const auto mayBeRow = [&](const RowPointer& row) {
        return seen.deleted.contains(row) ||
               (seen.listed.contains(row.page) &&
                (!seen.parsed.contains(row.page) || seen.damaged_pages.contains(row.page)));
    };
    std::uint64_t namedUnread = 0;  // by the index that names the most such rows
    for (std::size_t index : telling) {
        std::uint64_t unread = 0;
        for (std::uint32_t named : namedBy(index)) {
            const RowPointer row = RowPointer::FromU32(named);
            unread += !read(row) && mayBeRow(row) ? 1u : 0u;
        }
        namedUnread = std::max(namedUnread, unread);
    }
    const std::uint64_t counted = out.rows.size() + namedUnread;
    if (def.num_rows >= counted) return;
    SalvagedRowReader bodies(file);
    std::vector<bool> expected(out.rows.size(), false);  // some index would hold an entry for it
    std::vector<bool> found(out.rows.size(), false);
    for (std::size_t index : telling) {
        const std::vector<std::uint32_t> named = namedBy(index);
        const PhysicalIndex& physical = def.physical_indexes[index];
        const bool ignoresNulls = (physical.flags & kIndexIgnoresNulls) != 0;
        for (std::size_t r = 0; r < out.rows.size(); ++r) {
            const SalvagedRow& row = out.rows[r];
            if (seen.damaged_pages.contains(row.header.page)) continue;
            if (std::binary_search(named.begin(), named.end(), row.header.ToU32()))
                found[r] = true;
            else if (!ignoresNulls || !EveryIndexedColumnNull(file, def, physical, bodies.Body(row)))
                expected[r] = true;
        }
    }
    std::vector<bool> unnamed(out.rows.size(), false);
    std::size_t count = 0;
    for (std::size_t r = 0; r < out.rows.size(); ++r) {
        if (expected[r] && !found[r]) {
            unnamed[r] = true;
            ++count;
        }
    }
    if (count == 0 || count > counted - def.num_rows) return;
    std::vector<SalvagedRow> kept;
    for (std::size_t r = 0; r < out.rows.size(); ++r)
        if (!unnamed[r]) kept.push_back(std::move(out.rows[r]));
    out.rows = std::move(kept);
    out.rows_resurrected = count;
}

// A long-value row belongs to one value. Where two values name the same one
// (a pointer changed to another row's value, two chains crossed), which is
// right cannot be told: both are set to Null and counted as cut.
void CutSharedLongValues(const PageFile& file, const TableDef& def, PageRows& seen, TableSalvage& out) {
    std::vector<LongValueClaim>& claims = seen.claims;
    std::sort(claims.begin(), claims.end(),
              [](const LongValueClaim& a, const LongValueClaim& b) { return a.long_value_row < b.long_value_row; });
    std::set<std::pair<RowPointer, std::uint16_t>> shared;
    for (std::size_t i = 1; i < claims.size(); ++i) {
        if (claims[i].long_value_row != claims[i - 1].long_value_row) continue;
        shared.emplace(claims[i - 1].row, claims[i - 1].column);
        shared.emplace(claims[i].row, claims[i].column);
    }
    claims = {};
    if (shared.empty()) return;
    SalvagedRowReader bodies(file);
    for (SalvagedRow& row : out.rows) {
        for (auto it = shared.lower_bound({row.header, 0}); it != shared.end() && it->first == row.header; ++it) {
            const ByteSpan read = bodies.Body(row);
            Bytes body(read.begin(), read.end());
            const RowFields fields = LocateFields(file.format(), def, body);
            SetNull(body, fields.column_count, it->second);
            row.changed = std::make_unique<Bytes>(std::move(body));
            ++out.values_cut;
        }
    }
}

bool EveryIndexedColumnNull(const PageFile& file, const TableDef& def, const PhysicalIndex& index, ByteSpan body) {
    const RowFields fields = LocateFields(file.format(), def, body);
    for (const IndexColumn& ic : index.columns) {
        for (std::size_t i = 0; i < def.columns.size(); ++i)
            if (def.columns[i].number == ic.column_number && fields.spans[i].present) return false;
    }
    return true;
}

// The index's own entries for the kept rows when they match the rows one for
// one (stale entries dropped) and no key disagrees with its row; otherwise
// rebuilt from the rows.
// What every index of a table is weighed against once its rows are settled.
struct SettledTable {
    const PageFile& file;
    const TableDef& def;
    const std::string& name;
    const PageRows& seen;
    const RowIndexed<std::uint32_t>& kept;  // row pointer -> position in the kept rows
    const std::filesystem::path& spill;
};

// Rows index entries name that were not kept: flagged deleted, or not read.
struct NamedButNotKept {
    std::set<RowPointer> deleted;
    std::set<RowPointer> missing;
};

SalvagedIndex SalvageIndex(const SettledTable& table, std::size_t number, const Walks& walks, NamedButNotKept& gone,
                           TableSalvage& out) {
    const PageFile& file = table.file;
    const TableDef& def = table.def;
    const PageRows& seen = table.seen;
    const PhysicalIndex& index = def.physical_indexes[number];
    bool whole = walks.Readable(number);
    SalvagedRowReader bodies(file);
    if (whole) {
        std::vector<bool> named(out.rows.size(), false);
        walks.Visit(number, [&](ByteSpan, RowPointer entryRow) {
            const std::uint32_t* row = table.kept.Find(entryRow);
            if (row == nullptr) {
                ++out.stale_entries;
                // A deletion flag on a damaged page may be the damage. A row
                // named on a sound page of the table that has no such row, or
                // on a page that is not the table's, is the entry's damage.
                const bool deleted = seen.deleted.contains(entryRow) && !seen.damaged_pages.contains(entryRow.page);
                const bool unreadPage =
                    seen.listed.contains(entryRow.page) &&
                    (!seen.parsed.contains(entryRow.page) || seen.damaged_pages.contains(entryRow.page));
                if (deleted)
                    gone.deleted.insert(entryRow);
                else if (unreadPage)
                    gone.missing.insert(entryRow);
                return;
            }
            if (named[*row]) whole = false;  // a row listed twice
            named[*row] = true;
        });
        const bool ignoresNulls = (index.flags & kIndexIgnoresNulls) != 0;
        for (std::size_t r = 0; r < named.size() && whole; ++r)
            if (!named[r] && !(ignoresNulls && EveryIndexedColumnNull(file, def, index, bodies.Body(out.rows[r]))))
                whole = false;
    }
    if (whole && walks.Tells(number) && !seen.disputed_indexes[number]) return {walks.Root(number), {}};
    SalvagedIndex rebuilt;
    std::filesystem::path spill = table.spill;
    if (!spill.empty()) {
        spill += "-";
        spill += std::to_string(number);
    }
    rebuilt.rebuilt = std::make_unique<write::EntrySorter>(spill);
    out.rebuilt_indexes.push_back(number);
    SalvagedRowReader rows(file);
    for (const SalvagedRow& row : out.rows) {
        try {
            std::optional<Bytes> key = EncodeIndexKey(file.format(), def, index, rows.Body(row));
            if (key) rebuilt.rebuilt->Add(*key, row.header);
        } catch (const Error& e) {
            throw Error(e.number(), "table \"" + table.name + "\": index " + std::to_string(number) +
                                        " is damaged and cannot be rebuilt from the rows: " + e.description());
        }
    }
    return rebuilt;
}

struct TablePages {
    std::vector<std::uint32_t> pages;  // ascending, as the map lists them
    // Pages the map leaves out though they name the table as their owner, are
    // in use and no other map lists them: a map bit lost to damage, or a
    // page that was never the table's. Their rows are taken only where an
    // index confirms them.
    std::set<std::uint32_t> unlisted;
};

// The pages the table's map lists; when the map is lost or lists nothing,
// the data pages the file holds for the table, found by their owner (the map
// is derived from them, in the same ascending order), but none that another
// table's map lists: a changed owner must not carry another table's rows in.
TablePages ListedPages(const PageFile& file, const TableDef& def, const SalvageSources& sources, TableSalvage& out) {
    const auto ours = [&](std::uint32_t page) {
        const auto lister = sources.maps.DataPageTable(page);
        return !lister || *lister == def.page;
    };
    TablePages found;
    try {
        found.pages = ReadUsageMap(file, RowPointer::FromU32(def.owned_map)).pages;
        if (sources.census == nullptr) return found;
        if (!found.pages.empty()) {
            for (std::uint32_t page : sources.census->PagesOwnedBy(def.page))
                if (!sources.census->IsFree(page) && ours(page) &&
                    !std::binary_search(found.pages.begin(), found.pages.end(), page))
                    found.unlisted.insert(page);
            found.pages.insert(found.pages.end(), found.unlisted.begin(), found.unlisted.end());
            std::sort(found.pages.begin(), found.pages.end());
            return found;
        }
        if (sources.census->PagesOwnedBy(def.page).empty()) return found;
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
    }
    out.map_lost = true;
    found.pages.clear();
    if (sources.census != nullptr) {
        for (std::uint32_t page : sources.census->PagesOwnedBy(def.page))
            if (ours(page)) found.pages.push_back(page);
        return found;
    }
    Bytes bytes;
    for (std::uint32_t page = 1; page < file.page_count(); ++page) {
        file.ReadPage(page, bytes);
        if (ours(page) && IsDataPageOf(file, def.page, bytes)) found.pages.push_back(page);
    }
    return found;
}

}  // namespace

ByteSpan SalvagedRowReader::Body(const SalvagedRow& row) {
    if (row.changed) return *row.changed;
    if (!page_ || page_->number() != row.header.page) {
        page_.reset();
        std::vector<std::size_t> unreadable;
        page_ = DataPage::ParseSalvaging(file_.format(), row.header.page, file_.ReadPage(row.header.page), unreadable);
    }
    body_ = ResolveRowBody(file_, *page_, row.header.row);
    return body_;
}

TableSalvage SalvageTable(const PageFile& file, const TableDef& def, const std::string& name,
                          const SalvageSources& sources) {
    TableSalvage out;
    PageRows seen(file, sources.maps);
    Bytes bytes;
    const TablePages table_pages = ListedPages(file, def, sources, out);
    const std::vector<std::uint32_t>& pages = table_pages.pages;
    seen.listed.insert(pages.begin(), pages.end());
    seen.damaged_pages.insert(table_pages.unlisted.begin(), table_pages.unlisted.end());
    if (sources.census != nullptr) {  // room for the rows at once: not twice that while they come
        std::size_t live = 0;
        for (std::uint32_t page : pages) live += sources.census->LiveRows(page);
        out.rows.reserve(live);
    }
    for (std::uint32_t page : pages) {
        if (page >= file.page_count()) {  // cut off the end of the file
            ++out.pages_passed_over;
            continue;
        }
        file.ReadPage(page, bytes);
        if (!IsDataPageOf(file, def.page, bytes)) {
            ++out.pages_passed_over;
            continue;
        }
        SalvagePage(file, def, page, bytes, out, seen);
    }
    if (const auto fault = seen.sample.Fault())
        throw Error(errc::kCorrupt, "damaged database: the definition of table \"" + name +
                                        "\" cannot be repaired: its rows do not fit it: " + *fault);

    const Walks walks(file, def);
    WeighIndexEvidence(file, def, walks, sources.keys_in_question, seen, out);
    KeepResurrectedRowsDeleted(file, def, walks, sources.system_table, seen, out);
    CutSharedLongValues(file, def, seen, out);
    HoldRestoredRows(sources.restored_rows, seen, out);

    RowIndexed<std::uint32_t> kept;
    for (std::size_t r = 0; r < out.rows.size(); ++r) kept.Add(out.rows[r].header, static_cast<std::uint32_t>(r));
    kept.Seal();
    const SettledTable settled{file, def, name, seen, kept, sources.spill};
    NamedButNotKept gone;
    for (std::size_t i = 0; i < def.physical_indexes.size(); ++i)
        out.indexes.push_back(SalvageIndex(settled, i, walks, gone, out));
    for (const SalvagedRow& row : out.rows) out.kept_rows.Add(row.header);
    out.missing_named = gone.missing.size();
    for (const RowPointer& body : seen.bodies)
        if (!seen.pointed_at.contains(body)) ++out.orphan_bodies;

    // Access keeps a user table's cached count exact and lets a system
    // table's lag below its rows, never above: a count above the rows found
    // means rows that could not be reached. Rows flagged deleted that an index
    // still names account for the excess: a delete cut short, or a flag set
    // by damage. Which it was cannot be told, so they stay deleted and are
    // counted as in doubt. Entries naming rows that are gone otherwise, and
    // relocated bodies no row points at, are rows that may be lost too,
    // whatever the count says.
    std::uint64_t unexplained = std::max(out.missing_named, out.orphan_bodies);
    const std::uint64_t found = out.rows.size() + out.rows_resurrected;
    if (def.num_rows > found) {
        const std::uint64_t excess = def.num_rows - found;
        out.rows_kept_deleted = std::min<std::uint64_t>(excess, gone.deleted.size());
        unexplained = std::max(unexplained, excess - out.rows_kept_deleted);
    }
    out.possibly_lost = unexplained > out.rows_dropped ? unexplained - out.rows_dropped : 0;
    return out;
}

}  // namespace dorvane::jet::compact
