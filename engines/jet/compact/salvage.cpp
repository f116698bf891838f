#include "engines/jet/compact/salvage.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "core/error.h"
#include "engines/jet/compact/index_evidence.h"
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
    PageRows(const PageFile& file, const SourceMaps& source_maps, const std::vector<std::uint32_t>& listed_pages)
        : long_values(file), maps(source_maps), listed(listed_pages) {}
    std::set<RowPointer> deleted;        // slots deleted by the writer, not by damage
    std::set<RowPointer> bodies;         // slots flagged as relocated bodies
    std::set<RowPointer> pointed_at;     // where the table's overflow pointers lead
    RowBits read;                        // rows read whole, by ordinal
    RowBits known;                       // those, and the rows held whatever the pages say
    std::vector<bool> disputed_indexes;  // an entry's key differs from its row's: rebuilt
    RowSample sample;                    // of the rows read, against the definition
    LongValueReader long_values;
    const SourceMaps& maps;
    const std::vector<std::uint32_t>& listed;  // the table's pages, as its map (or their owners) give them
    std::vector<LongValueClaim> claims;        // of the rows read
    bool Listed(std::uint32_t page) const { return std::binary_search(listed.begin(), listed.end(), page); }
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

// `room`: slots the page must have a bit for whatever it holds (rows held
// whatever the pages say); `flags` what is known of it before it is read.
void SalvagePage(const PageFile& file, const TableDef& def, std::uint32_t number, const Bytes& bytes, std::size_t room,
                 std::uint8_t flags, TableSalvage& out, PageRows& seen) {
    TableSlots& slots = out.rows.slots();
    std::vector<std::size_t> unreadable;
    std::optional<DataPage> page;
    try {
        page = DataPage::ParseSalvaging(file.format(), number, bytes, unreadable);
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        ++out.pages_passed_over;  // its rows are accounted for by the cached count
        slots.AddPage(number, room, flags);
        return;
    }
    slots.AddPage(number, std::max(room, page->slots().size()), flags | TableSlots::kParsed);
    seen.read.Resize(slots.size());
    const std::size_t first = slots.Find(number)->first;
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
            const std::uint16_t slotFlags = page->slots()[slot].word & kRowDeleted;
            if (slotFlags == 0 || slotFlags == kRowOverflowPointer) ++out.rows_dropped;
            continue;
        }
        if (kind == SlotKind::kDeleted) seen.deleted.insert(header);
        if (kind == SlotKind::kOverflowTarget) seen.bodies.insert(header);
        if (kind == SlotKind::kOverflowPointer && page->slots()[slot].length() >= 4)
            seen.pointed_at.insert(RowPointer::FromU32(Le32(page->SlotBytes(slot), 0)));
        if (kind == SlotKind::kDeleted || kind == SlotKind::kOverflowTarget) continue;
        Bytes body;
        try {
            body = ResolveRowBody(file, *page, slot);
        } catch (const Error& e) {
            if (e.number() != errc::kCorrupt) throw;
            ++out.rows_dropped;
            // Into a page the table does not hold, the pointer is not one: the
            // slot offset that gave its bytes is wrong, and so are its neighbours'.
            const ByteSpan pointer = page->SlotBytes(slot);
            if (pointer.size() < 4 || !seen.Listed(RowPointer::FromU32(Le32(pointer, 0)).page)) garbled = true;
            continue;
        }
        seen.sample.Add(file.format(), def, body);
        const std::uint64_t cutBefore = out.values_cut;
        if (SalvageRow(file, def, header, body, out, seen)) {
            if (out.values_cut != cutBefore) out.rows.Change(header, std::move(body));
            out.rows.Keep(first + slot);
            seen.read.Set(first + slot);
        } else {
            ++out.rows_dropped;
            garbled = true;
        }
    }
    if (garbled || inDoubt) slots.Flag(number, TableSlots::kDamaged);
}

bool EveryIndexedColumnNull(const PageFile& file, const TableDef& def, const PhysicalIndex& index, ByteSpan body) {
    const RowFields fields = LocateFields(file.format(), def, body);
    for (const IndexColumn& ic : index.columns) {
        for (std::size_t i = 0; i < def.columns.size(); ++i)
            if (def.columns[i].number == ic.column_number && fields.spans[i].present) return false;
    }
    return true;
}

// A long-value row belongs to one value. Where two values name the same one
// (a pointer changed to another row's value, two chains crossed), which is
// right cannot be told: both are set to Null and counted as cut (for the rows
// that are kept). Known once the rows are read, so that a rebuilt index can
// take the key of the row as it will be copied.
using SharedLongValues = std::set<std::pair<RowPointer, std::uint16_t>>;

SharedLongValues FindSharedLongValues(PageRows& seen) {
    std::vector<LongValueClaim>& claims = seen.claims;
    std::sort(claims.begin(), claims.end(),
              [](const LongValueClaim& a, const LongValueClaim& b) { return a.long_value_row < b.long_value_row; });
    SharedLongValues shared;
    for (std::size_t i = 1; i < claims.size(); ++i) {
        if (claims[i].long_value_row != claims[i - 1].long_value_row) continue;
        shared.emplace(claims[i - 1].row, claims[i - 1].column);
        shared.emplace(claims[i].row, claims[i].column);
    }
    claims = {};
    return shared;
}

// `body` with the row's shared values set to Null; whether there were any.
bool CutShared(const PageFile& file, const TableDef& def, const SharedLongValues& shared, RowPointer header,
               Bytes& body) {
    bool cut = false;
    for (auto it = shared.lower_bound({header, 0}); it != shared.end() && it->first == header; ++it) {
        const RowFields fields = LocateFields(file.format(), def, body);
        SetNull(body, fields.column_count, it->second);
        cut = true;
    }
    return cut;
}

void ApplySharedLongValueCuts(const PageFile& file, const TableDef& def, const SharedLongValues& shared,
                              TableSalvage& out) {
    SalvagedRowReader bodies(file);
    for (auto it = shared.begin(); it != shared.end();) {
        const RowPointer header = it->first;
        auto end = it;
        while (end != shared.end() && end->first == header) ++end;
        if (out.rows.Contains(header)) {
            const ByteSpan read = bodies.Body(out.rows, header);
            Bytes body(read.begin(), read.end());
            for (; it != end; ++it) {
                const RowFields fields = LocateFields(file.format(), def, body);
                SetNull(body, fields.column_count, it->second);
                ++out.values_cut;
            }
            out.rows.Change(header, std::move(body));
        }
        it = end;
    }
}

const SourceMaps& MapsOf(const SalvageSources& sources) {
    static const SourceMaps kNone;
    return sources.maps != nullptr ? *sources.maps : kNone;
}

// What the salvage settles a table's rows and indexes from.
struct Salvaging {
    const PageFile& file;
    const TableDef& def;
    const std::string& name;
    const SalvageSources& sources;
    PageRows& seen;
    TableSalvage& out;
    std::vector<IndexEvidence> evidence;  // per physical index
    std::vector<bool> questioned;         // keys weighed on sound pages too
    SharedLongValues shared;
    std::map<RowPointer, const Bytes*> restored;
    // Per index: the kept rows no entry names that it should (see EveryIndexedColumnNull).
    std::vector<RowBits> unexcused;
    RowBits confirmed, disputed;  // by the index evidence
    // Per index, the sorter of an index rebuilt from the rows, and the rows
    // whose key it could not compute (refused only if the row is kept).
    std::vector<std::unique_ptr<write::EntrySorter>> sorters;
    std::vector<RowBits> key_failures;

    const TableSlots& slots() const { return out.rows.slots(); }
    bool OnDamagedPage(RowPointer row) const { return slots().Has(row.page, TableSlots::kDamaged); }
    bool IgnoresNulls(std::size_t index) const { return (def.physical_indexes[index].flags & kIndexIgnoresNulls) != 0; }
    std::unique_ptr<write::EntrySorter> NewSorter(std::size_t index) const {
        std::filesystem::path spill = sources.spill;
        if (!spill.empty()) {
            spill += "-";
            spill += std::to_string(index);
        }
        return std::make_unique<write::EntrySorter>(spill);
    }
    // The row as it will be copied: held, or with shared values cut.
    ByteSpan FinalBody(RowPointer header, ByteSpan read, Bytes& scratch) const {
        if (const auto held = restored.find(header); held != restored.end()) return *held->second;
        if (shared.empty() || shared.lower_bound({header, 0}) == shared.end() ||
            shared.lower_bound({header, 0})->first != header)
            return read;
        scratch.assign(read.begin(), read.end());
        CutShared(file, def, shared, header, scratch);
        return scratch;
    }
    void AddRebuiltKey(std::size_t index, std::size_t ordinal, RowPointer header, ByteSpan body, Bytes& key) {
        try {
            if (EncodeIndexKey(file.format(), def, def.physical_indexes[index], body,
                               LocateFields(file.format(), def, body), key))
                sorters[index]->Add(key, header);
        } catch (const Error&) {
            key_failures[index].Set(ordinal);
        }
    }
};

// Each row read once: its keys weighed against the entries naming it, its
// keys for the indexes that must be rebuilt whatever the rows (their trees
// cannot be read), and for rows an index does not name, whether it should.
void WeighRows(Salvaging& s, KeySums sums, std::vector<std::vector<std::uint64_t>>& row_sums,
               std::vector<std::vector<bool>>& reweigh) {
    const TableDef& def = s.def;
    const Format& format = s.file.format();
    const std::size_t indexes = def.physical_indexes.size();
    SalvagedRowReader bodies(s.file);
    Bytes key, scratch;
    s.slots().ForEach(s.seen.known, [&](RowPointer header, std::size_t ordinal) {
        const bool read = s.seen.read.Test(ordinal);
        // A row held whatever its slot says is not read from it.
        const ByteSpan body = read ? bodies.Body(s.out.rows, header) : ByteSpan(*s.restored.at(header));
        const bool damaged = s.OnDamagedPage(header);
        std::optional<RowFields> fields;
        for (std::size_t i = 0; i < indexes && read; ++i) {
            const IndexEvidence& ev = s.evidence[i];
            if (!ev.readable) continue;
            if (!ev.named.Test(ordinal)) {
                if (!s.IgnoresNulls(i) || !EveryIndexedColumnNull(s.file, def, def.physical_indexes[i], body))
                    s.unexcused[i].Set(ordinal);
                continue;
            }
            if (!ev.disordered.empty() || (!damaged && !s.questioned[i])) continue;
            try {
                if (!fields) fields = LocateFields(format, def, body);
                if (!EncodeIndexKey(format, def, def.physical_indexes[i], body, *fields, key)) {
                    if (!damaged) reweigh[i][sums.Range(ordinal)] = true;
                    continue;
                }
            } catch (const Error&) {
                if (!damaged) reweigh[i][sums.Range(ordinal)] = true;
                continue;
            }
            const std::uint64_t digest = KeyDigest(key);
            if (!damaged) {
                row_sums[i][sums.Range(ordinal)] += KeySums::Term(ordinal, digest);
                continue;
            }
            const auto entry = ev.damaged.find(ordinal);
            if (entry == ev.damaged.end()) continue;
            if (entry->second == digest) {
                s.confirmed.Set(ordinal);
            } else {
                s.disputed.Set(ordinal);
                s.seen.disputed_indexes[i] = true;
            }
        }
        for (std::size_t i = 0; i < indexes; ++i)
            if (s.sorters[i]) s.AddRebuiltKey(i, ordinal, header, s.FinalBody(header, body, scratch), key);
    });
}

// The index's keys weighed entry by entry, over the ranges of rows its sums
// could not clear (all of them, where its entries are out of order: then
// only the entries in order count).
void WeighEntryByEntry(Salvaging& s, std::size_t index, const KeySums& sums, const std::vector<bool>& ranges) {
    const IndexEvidence& ev = s.evidence[index];
    const bool disordered = !ev.disordered.empty();
    const auto weighs = [&](RowPointer row, std::size_t ordinal) {
        if (!ranges[sums.Range(ordinal)]) return false;
        const bool damaged = s.OnDamagedPage(row);
        return disordered ? (s.questioned[index] || damaged) : (s.questioned[index] && !damaged);
    };
    std::vector<std::pair<std::uint32_t, std::uint64_t>> named;  // ordinal -> the digest of its first entry's key
    RowBits seenOnce;
    seenOnce.Resize(s.slots().size());
    VisitIndex(s.file, ev.root, [&](ByteSpan key, RowPointer row) {
        const auto ordinal = s.slots().Ordinal(row);
        if (!ordinal || !s.seen.read.Test(*ordinal) || ev.disordered.contains(row) || seenOnce.Test(*ordinal)) return;
        seenOnce.Set(*ordinal);
        if (weighs(row, *ordinal)) named.emplace_back(static_cast<std::uint32_t>(*ordinal), KeyDigest(key));
    });
    std::sort(named.begin(), named.end());
    SalvagedRowReader bodies(s.file);
    Bytes key;
    std::size_t at = 0;
    s.slots().ForEach(s.seen.read, [&](RowPointer header, std::size_t ordinal) {
        while (at < named.size() && named[at].first < ordinal) ++at;
        if (at == named.size() || named[at].first != ordinal) return;
        const ByteSpan body = bodies.Body(s.out.rows, header);
        try {
            if (!EncodeIndexKey(s.file.format(), s.def, s.def.physical_indexes[index], body,
                                LocateFields(s.file.format(), s.def, body), key))
                return;
        } catch (const Error&) {
            return;
        }
        if (KeyDigest(key) == named[at].second) {
            s.confirmed.Set(ordinal);
        } else {
            s.disputed.Set(ordinal);
            s.seen.disputed_indexes[index] = true;
        }
    });
}

// Only a row's own page can condemn it. Bytes that happen to decode on a page
// whose slots, free space or rows did not hold are not a row unless an index
// confirms them (a broken overflow chain costs only its own row; a bad slot
// offset the row and its neighbour in an indexed table, the page's rows in a
// table without an index that can tell). Anywhere else an index that
// disagrees with a row is what is damaged: the row is kept, counted as
// disputed, and the index rebuilt from the rows.
// A row is weighed against a questioned index, and against every index
// where its page is damaged. An index whose key cannot be computed here
// says nothing.
void WeighIndexEvidence(Salvaging& s) {
    const std::size_t indexes = s.def.physical_indexes.size();
    const KeySums sums(s.slots().size());
    std::vector<std::vector<std::uint64_t>> rowSums(indexes);
    std::vector<std::vector<bool>> reweigh(indexes);
    for (std::size_t i = 0; i < indexes; ++i) {
        if (s.questioned[i]) rowSums[i].assign(KeySums::kRanges, 0);
        reweigh[i].assign(KeySums::kRanges, false);
    }
    WeighRows(s, sums, rowSums, reweigh);
    for (std::size_t i = 0; i < indexes; ++i) {
        const IndexEvidence& ev = s.evidence[i];
        if (!ev.readable) continue;
        if (!ev.disordered.empty()) {
            WeighEntryByEntry(s, i, sums, std::vector<bool>(KeySums::kRanges, true));
            continue;
        }
        if (!s.questioned[i]) continue;
        bool any = false;
        for (std::size_t r = 0; r < KeySums::kRanges; ++r) {
            if (rowSums[i][r] != ev.entry_sums[r]) reweigh[i][r] = true;
            any = any || reweigh[i][r];
        }
        if (any) WeighEntryByEntry(s, i, sums, reweigh[i]);
    }
    s.slots().ForEach(s.seen.read, [&](RowPointer header, std::size_t ordinal) {
        if (s.OnDamagedPage(header) && !s.confirmed.Test(ordinal)) {
            ++s.out.rows_dropped;
            s.out.rows.Drop(ordinal);
            return;
        }
        if (s.disputed.Test(ordinal)) ++s.out.rows_disputed;
    });
}

// Rows found live on sound pages that no index names, in a user table whose
// cached count leaves them out: deleted rows whose flag was cleared, or a
// page written back from before its rows were deleted. The writer's last
// word (the count and the indexes) is that they are deleted, and so they stay,
// counted as in doubt. Only where the indexes that can tell name none of
// them, and the count is short by at least as many: the rows the table holds
// by the count are those read, with those an index names that were not (lost
// on a damaged page, or flagged deleted).
void KeepResurrectedRowsDeleted(Salvaging& s, const ReadRows& rows) {
    if (s.sources.system_table || s.def.table_type == kSystemTable) return;
    std::vector<std::size_t> telling;
    for (std::size_t i = 0; i < s.evidence.size(); ++i)
        if (s.evidence[i].Tells()) telling.push_back(i);
    if (telling.empty()) return;
    std::uint64_t namedUnread = 0;  // by the index that names the most such rows
    for (std::size_t index : telling) {
        std::uint64_t unread = 0;
        for (const RowPointer& row : s.evidence[index].doubtful)
            unread += !s.out.rows.Contains(row) && rows.MayBeRow(row) ? 1u : 0u;
        namedUnread = std::max(namedUnread, unread);
    }
    const std::uint64_t counted = s.out.rows.size() + namedUnread;
    if (s.def.num_rows >= counted) return;
    std::vector<std::size_t> unnamed;
    s.out.rows.ForEach([&](RowPointer header) {
        if (s.OnDamagedPage(header)) return;
        const std::size_t ordinal = *s.slots().Ordinal(header);
        bool expected = false;  // some index would hold an entry for it
        bool found = false;
        for (std::size_t index : telling) {
            found = found || s.evidence[index].named.Test(ordinal);
            expected = expected || s.unexcused[index].Test(ordinal);
        }
        if (expected && !found) unnamed.push_back(ordinal);
    });
    if (unnamed.empty() || unnamed.size() > counted - s.def.num_rows) return;
    for (std::size_t ordinal : unnamed) s.out.rows.Drop(ordinal);
    s.out.rows_resurrected = unnamed.size();
}

// Whether an index should name a row is asked again of the rows whose
// shared values were cut: the copy holds them so.
void RecheckCutRows(Salvaging& s) {
    SalvagedRowReader bodies(s.file);
    for (const auto& [header, column] : s.shared) {
        if (!s.out.rows.Contains(header)) continue;
        const std::size_t ordinal = *s.slots().Ordinal(header);
        const ByteSpan body = bodies.Body(s.out.rows, header);
        for (std::size_t i = 0; i < s.evidence.size(); ++i) {
            if (!s.evidence[i].readable || s.evidence[i].named.Test(ordinal)) continue;
            if (!s.IgnoresNulls(i) || !EveryIndexedColumnNull(s.file, s.def, s.def.physical_indexes[i], body))
                s.unexcused[i].Set(ordinal);
            else
                s.unexcused[i].Clear(ordinal);
        }
    }
}

void HoldRestoredRows(Salvaging& s) {
    if (s.sources.restored_rows.empty()) return;
    for (const auto& [header, body] : s.sources.restored_rows) {
        s.out.rows.Keep(*s.slots().Ordinal(header));
        s.out.rows.Change(header, body);
    }
    s.seen.disputed_indexes.assign(s.seen.disputed_indexes.size(), true);
}

// Rows index entries name that were not kept: flagged deleted, or not read.
struct NamedButNotKept {
    std::set<RowPointer> deleted;
    std::set<RowPointer> missing;
};

// The index's own entries for the kept rows when they match the rows one for
// one (stale entries dropped) and no key disagrees with its row; otherwise
// rebuilt from the rows (returns false).
bool KeepsItsTree(Salvaging& s, std::size_t number, NamedButNotKept& gone) {
    const IndexEvidence& ev = s.evidence[number];
    if (!ev.readable) return false;
    const SalvagedRows& kept = s.out.rows;
    bool whole = true;
    s.out.stale_entries += ev.naming_unknown;
    s.slots().ForEach(ev.named, [&](RowPointer, std::size_t ordinal) {
        if (!kept.Kept(ordinal)) s.out.stale_entries += ev.Names(ordinal);
    });
    // A deletion flag on a damaged page may be the damage. A row named on a
    // sound page of the table that has no such row, or on a page that is not
    // the table's, is the entry's damage.
    for (const RowPointer& row : ev.doubtful) {
        if (kept.Contains(row)) continue;
        const bool deleted = s.seen.deleted.contains(row) && !s.OnDamagedPage(row);
        const bool unreadPage = s.slots().Has(row.page, TableSlots::kListed) &&
                                (!s.slots().Has(row.page, TableSlots::kParsed) || s.OnDamagedPage(row));
        if (deleted)
            gone.deleted.insert(row);
        else if (unreadPage)
            gone.missing.insert(row);
    }
    s.slots().ForEach(kept.bits(), [&](RowPointer, std::size_t ordinal) {
        if (!whole) return;
        if (ev.named_again.Test(ordinal)) whole = false;  // a row listed twice
        if (!ev.named.Test(ordinal) && (!s.seen.read.Test(ordinal) || s.unexcused[number].Test(ordinal))) whole = false;
    });
    return whole && ev.Tells() && !s.seen.disputed_indexes[number];
}

// The keys of the indexes rebuilt for what the rows showed, all in one
// reading of the rows.
void RebuildFromRows(Salvaging& s, const std::vector<std::size_t>& indexes) {
    if (indexes.empty()) return;
    SalvagedRowReader bodies(s.file);
    Bytes key;
    s.out.rows.ForEach([&](RowPointer header) {
        const std::size_t ordinal = *s.slots().Ordinal(header);
        const ByteSpan body = bodies.Body(s.out.rows, header);
        for (std::size_t index : indexes) s.AddRebuiltKey(index, ordinal, header, body, key);
    });
}

// An index must be rebuilt but a row's key cannot be computed: an index with
// missing entries is never written. The first such row kept is named, its
// key computed again for the reason.
void RefuseUnbuildableIndexes(const Salvaging& s) {
    SalvagedRowReader bodies(s.file);
    Bytes key;
    for (std::size_t index : s.out.rebuilt_indexes) {
        if (s.key_failures[index].Count() == 0) continue;
        s.slots().ForEach(s.key_failures[index], [&](RowPointer header, std::size_t ordinal) {
            if (!s.out.rows.Kept(ordinal)) return;
            const ByteSpan body = bodies.Body(s.out.rows, header);
            try {
                EncodeIndexKey(s.file.format(), s.def, s.def.physical_indexes[index], body,
                               LocateFields(s.file.format(), s.def, body), key);
            } catch (const Error& e) {
                throw Error(e.number(), "table \"" + s.name + "\": index " + std::to_string(index) +
                                            " is damaged and cannot be rebuilt from the rows: " + e.description());
            }
        });
    }
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
        const auto lister = MapsOf(sources).DataPageTable(page);
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

ByteSpan SalvagedRowReader::Body(RowPointer row, const Bytes* changed) {
    if (changed != nullptr) return *changed;
    if (!page_ || page_->number() != row.page) {
        page_.reset();
        std::vector<std::size_t> unreadable;
        page_ = DataPage::ParseSalvaging(file_.format(), row.page, file_.ReadPage(row.page), unreadable);
    }
    body_ = ResolveRowBody(file_, *page_, row.row);
    return body_;
}

TableSalvage SalvageTable(const PageFile& file, const TableDef& def, const std::string& name,
                          const SalvageSources& sources) {
    TableSalvage out;
    TablePages table_pages = ListedPages(file, def, sources, out);
    // The slots are numbered in page order; a damaged map must not list a page twice.
    std::vector<std::uint32_t>& pages = table_pages.pages;
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    PageRows seen(file, MapsOf(sources), pages);
    // Rows held whatever the pages say need a bit on their page.
    std::map<std::uint32_t, std::size_t> heldRoom;
    for (const auto& [header, body] : sources.restored_rows)
        heldRoom[header.page] = std::max<std::size_t>(heldRoom[header.page], header.row + 1u);
    const auto room = [&heldRoom](std::uint32_t page) {
        const auto it = heldRoom.find(page);
        return it == heldRoom.end() ? std::size_t{0} : it->second;
    };
    TableSlots& slots = out.rows.slots();
    auto held = heldRoom.begin();
    Bytes bytes;
    for (std::uint32_t page : pages) {
        for (; held != heldRoom.end() && held->first < page; ++held) slots.AddPage(held->first, held->second, 0);
        // Rows on a page another table's map lists too are kept only where
        // an index confirms them: either table may be the one whose map is wrong.
        const bool doubtful = table_pages.unlisted.contains(page) || MapsOf(sources).DataPageListedTwice(page);
        const std::uint8_t flags = TableSlots::kListed | (doubtful ? TableSlots::kDamaged : 0);
        if (page >= file.page_count()) {  // cut off the end of the file
            ++out.pages_passed_over;
            slots.AddPage(page, room(page), flags);
            continue;
        }
        file.ReadPage(page, bytes);
        if (!IsDataPageOf(file, def.page, bytes)) {
            ++out.pages_passed_over;
            slots.AddPage(page, room(page), flags);
            continue;
        }
        SalvagePage(file, def, page, bytes, room(page), flags, out, seen);
    }
    for (; held != heldRoom.end(); ++held) slots.AddPage(held->first, held->second, 0);
    if (const auto fault = seen.sample.Fault())
        throw Error(errc::kCorrupt, "damaged database: the definition of table \"" + name +
                                        "\" cannot be repaired: its rows do not fit it: " + *fault);
    seen.read.Resize(slots.size());
    seen.known = seen.read;
    for (const auto& [header, body] : sources.restored_rows) seen.known.Set(*slots.Ordinal(header));

    const std::size_t indexes = def.physical_indexes.size();
    Salvaging s{file, def, name, sources, seen, out, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    // On a sound page a row can disagree only with an index the check found
    // disagreeing, unless the check did not read the table's pages as found here.
    s.questioned.assign(indexes, true);
    if (sources.keys_in_question && !out.map_lost)
        for (std::size_t i = 0; i < indexes; ++i) s.questioned[i] = sources.keys_in_question->contains(i);
    const ReadRows rows{slots, seen.read, seen.known, seen.deleted};
    const KeySums sums(slots.size());
    for (std::size_t i = 0; i < indexes; ++i)
        s.evidence.push_back(GatherIndexEvidence(file, def.physical_indexes[i].root_page, rows, s.questioned[i], sums));
    s.shared = FindSharedLongValues(seen);
    for (const auto& [header, body] : sources.restored_rows) s.restored.emplace(header, &body);
    s.unexcused.resize(indexes);
    for (RowBits& bits : s.unexcused) bits.Resize(slots.size());
    s.confirmed.Resize(slots.size());
    s.disputed.Resize(slots.size());
    s.sorters.resize(indexes);
    s.key_failures.resize(indexes);
    for (RowBits& bits : s.key_failures) bits.Resize(slots.size());
    seen.disputed_indexes.assign(indexes, false);
    // A tree that cannot be read is rebuilt whatever the rows show: its keys
    // are taken in the same reading of the rows as the weighing.
    for (std::size_t i = 0; i < indexes; ++i)
        if (!s.evidence[i].readable) s.sorters[i] = s.NewSorter(i);

    WeighIndexEvidence(s);
    KeepResurrectedRowsDeleted(s, rows);
    ApplySharedLongValueCuts(file, def, s.shared, out);
    RecheckCutRows(s);
    HoldRestoredRows(s);

    NamedButNotKept gone;
    std::vector<std::size_t> fromRows;
    out.indexes.resize(indexes);
    for (std::size_t i = 0; i < indexes; ++i) {
        if (KeepsItsTree(s, i, gone)) {
            out.indexes[i].tree_root = def.physical_indexes[i].root_page;
            continue;
        }
        out.rebuilt_indexes.push_back(i);
        if (!s.sorters[i]) {
            s.sorters[i] = s.NewSorter(i);
            fromRows.push_back(i);
        }
    }
    RebuildFromRows(s, fromRows);
    RefuseUnbuildableIndexes(s);
    for (std::size_t i = 0; i < indexes; ++i) out.indexes[i].rebuilt = std::move(s.sorters[i]);
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
    // whatever the count says. Rows kept deleted because the count leaves
    // them out do not stand in for rows it counts.
    std::uint64_t unexplained = std::max(out.missing_named, out.orphan_bodies);
    const std::uint64_t found = out.rows.size();
    if (def.num_rows > found) {
        const std::uint64_t excess = def.num_rows - found;
        out.rows_kept_deleted = std::min<std::uint64_t>(excess, gone.deleted.size());
        unexplained = std::max(unexplained, excess - out.rows_kept_deleted);
    }
    out.possibly_lost = unexplained > out.rows_dropped ? unexplained - out.rows_dropped : 0;
    return out;
}

}  // namespace dorvane::jet::compact
