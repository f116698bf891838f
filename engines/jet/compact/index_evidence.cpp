#include "engines/jet/compact/index_evidence.h"

#include <algorithm>

#include "core/error.h"
#include "engines/jet/format/index_key.h"
#include "engines/jet/format/index_walk.h"

namespace dorvane::jet::compact {

namespace {

std::uint64_t Mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}

}  // namespace

std::uint64_t KeyDigest(ByteSpan key) {
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (const std::uint8_t byte : key) h = (h ^ byte) * 0x100000001B3ull;
    return Mix(h ^ key.size());
}

// The row is mixed in, so that two rows' keys trading places still change the sums.
std::uint64_t KeySums::Term(std::size_t ordinal, std::uint64_t digest) {
    return Mix(digest ^ Mix(ordinal + 0x9E3779B97F4A7C15ull));
}

IndexEvidence GatherIndexEvidence(const PageFile& file, std::uint32_t root, const ReadRows& rows, bool questioned,
                                  const KeySums& sums) {
    IndexEvidence found;
    found.root = root;
    found.named.Resize(rows.slots.size());
    found.named_again.Resize(rows.slots.size());
    if (questioned) found.entry_sums.assign(KeySums::kRanges, 0);
    Bytes previous, current;
    RowPointer previousRow;
    try {
        VisitIndex(file, root, [&](ByteSpan key, RowPointer row) {
            current.assign(key.begin(), key.end());
            AppendIndexRowRef(current, row);
            if (found.entries++ > 0 && !std::ranges::lexicographical_compare(previous, current)) {
                found.disordered.insert(previousRow);
                found.disordered.insert(row);
            }
            previous.swap(current);
            previousRow = row;

            const auto ordinal = rows.slots.Ordinal(row);
            if (!ordinal || !rows.known.Test(*ordinal)) {
                ++found.naming_unknown;
                if (rows.MayBeRow(row)) found.doubtful.insert(row);
                return;
            }
            const bool damaged = rows.OnDamagedPage(row);
            if (damaged) found.doubtful.insert(row);
            if (found.named.Test(*ordinal)) {
                found.named_again.Set(*ordinal);
                ++found.extra[*ordinal];
                return;
            }
            found.named.Set(*ordinal);
            if (!rows.read.Test(*ordinal)) return;
            if (damaged)
                found.damaged.emplace(*ordinal, KeyDigest(key));
            else if (questioned)
                found.entry_sums[sums.Range(*ordinal)] += KeySums::Term(*ordinal, KeyDigest(key));
        });
        found.readable = true;
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        IndexEvidence unreadable;
        unreadable.root = root;
        return unreadable;
    }
    return found;
}

}  // namespace dorvane::jet::compact
