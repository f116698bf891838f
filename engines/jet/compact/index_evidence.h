#pragma once
// What a salvage asks of each index tree of a damaged table, answered in one
// walk of the tree: whether it reads whole and in order, which rows its
// entries name and how often, and what its keys say of the rows. Asking each
// question in a walk of its own read a large table's trees many times over.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "engines/jet/compact/table_slots.h"
#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"

namespace dorvane::jet {
class PageFile;
}

namespace dorvane::jet::compact {

// A key as 64 bits, for weighing a row's key against its entry's without
// holding every entry's key: two different keys agree by chance about once
// in 2^64 weighings.
std::uint64_t KeyDigest(ByteSpan key);

// Keys are weighed by sums over ranges of rows: where the digests of a
// range's entries and of its rows' own keys sum alike, no key in it differs
// (but by a chance of 2^-64); only a range whose sums differ is weighed again
// entry by entry. The sums hold a few KiB however large the table.
class KeySums {
public:
    static constexpr std::size_t kRanges = 1024;
    static constexpr std::size_t kLeastRange = 64;  // rows: a range holds neighbours even in a small table
    explicit KeySums(std::size_t rows = 0) : per_range_(std::max(kLeastRange, (rows + kRanges - 1) / kRanges)) {}
    std::size_t Range(std::size_t ordinal) const { return ordinal / per_range_; }
    // A row's (or its entry's) key digest, as a term of its range's sum.
    static std::uint64_t Term(std::size_t ordinal, std::uint64_t digest);

private:
    std::size_t per_range_;
};

// The rows a salvage has read, as the walks see them.
struct ReadRows {
    const TableSlots& slots;
    const RowBits& read;   // read whole from their page
    const RowBits& known;  // read, or held whatever the pages say
    const std::set<RowPointer>& deleted;
    // An entry naming a row not read may name a row: flagged deleted, or on
    // a page of the table that could not be read whole.
    bool MayBeRow(RowPointer row) const {
        return deleted.contains(row) ||
               (slots.Has(row.page, TableSlots::kListed) &&
                (!slots.Has(row.page, TableSlots::kParsed) || slots.Has(row.page, TableSlots::kDamaged)));
    }
    bool OnDamagedPage(RowPointer row) const { return slots.Has(row.page, TableSlots::kDamaged); }
};

struct IndexEvidence {
    std::uint32_t root = 0;
    bool readable = false;  // none of the rest is asked otherwise
    std::size_t entries = 0;
    // Rows named by entries out of order with a neighbour: no change to a row
    // can put its entry out of order, so there the index is what is damaged,
    // and such an entry neither confirms nor condemns its row.
    std::set<RowPointer> disordered;
    RowBits named;                                 // known rows named, by ordinal
    RowBits named_again;                           // ... more than once
    std::map<std::size_t, std::uint32_t> extra;    // entries beyond the first, for those
    std::uint64_t naming_unknown = 0;              // entries naming no known row
    std::set<RowPointer> doubtful;                 // named: unknown but may be rows, or on a damaged page
    std::vector<std::uint64_t> entry_sums;         // by range, of rows on sound pages; when questioned
    std::map<std::size_t, std::uint64_t> damaged;  // ordinal -> key digest, of read rows on damaged pages
    // Whether it can tell which rows the table holds: read whole and in order.
    bool Tells() const { return readable && disordered.empty(); }
    // Entries naming the known row.
    std::uint32_t Names(std::size_t ordinal) const {
        if (!named.Test(ordinal)) return 0;
        const auto more = extra.find(ordinal);
        return 1 + (more == extra.end() ? 0 : more->second);
    }
};

// One walk of the tree at `root`. Keys are summed for weighing when
// `questioned`; for rows on damaged pages they are always kept, a digest
// each. The first entry naming a row is the one weighed.
IndexEvidence GatherIndexEvidence(const PageFile& file, std::uint32_t root, const ReadRows& rows, bool questioned,
                                  const KeySums& sums);

}  // namespace dorvane::jet::compact
