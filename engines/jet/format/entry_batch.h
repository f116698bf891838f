#pragma once
// Index entries held back a few dozen at a time on their way from a tree
// walk to whatever handles them. An index in key order names rows all over
// its table, so each lookup of a row in a table-sized map waits on memory;
// held back, the lookups of a whole batch are started first, and the waits
// overlap. Entries still reach the handler one by one in walk order.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"

namespace dorvane::jet {

// `prefetch(row, round)` is called in round 0 for each entry as it comes,
// and in round 1 (a lookup of two steps starts its second once its first is
// under way) a few entries before `handle(key, row)` is called for it.
template <typename Prefetch, typename Handle>
class EntryBatch {
public:
    EntryBatch(Prefetch prefetch, Handle handle) : prefetch_(std::move(prefetch)), handle_(std::move(handle)) {
        keys_.reserve(kEntries * 32);
        ends_.reserve(kEntries);
        rows_.reserve(kEntries);
    }
    EntryBatch(const EntryBatch&) = delete;
    EntryBatch& operator=(const EntryBatch&) = delete;

    void Add(ByteSpan key, RowPointer row) {
        prefetch_(row, 0);
        keys_.insert(keys_.end(), key.begin(), key.end());
        ends_.push_back(keys_.size());
        rows_.push_back(row);
        if (rows_.size() == kEntries) Flush();
    }
    // Hands over what is held; call after the walk's last entry.
    void Flush() {
        // One loop for both: a loop of prefetches alone does nothing the
        // compiler must keep.
        std::size_t begin = 0;
        for (std::size_t i = 0; i < rows_.size() + kLead; ++i) {
            if (i < rows_.size()) prefetch_(rows_[i], 1);
            if (i < kLead) continue;
            const std::size_t at = i - kLead;
            if (at >= rows_.size()) break;
            handle_(ByteSpan(keys_).subspan(begin, ends_[at] - begin), rows_[at]);
            begin = ends_[at];
        }
        keys_.clear();
        ends_.clear();
        rows_.clear();
    }

private:
    // Enough lookups in flight to keep the memory system busy.
    static constexpr std::size_t kEntries = 64;
    static constexpr std::size_t kLead = 16;

    Prefetch prefetch_;
    Handle handle_;
    Bytes keys_;
    std::vector<std::size_t> ends_;
    std::vector<RowPointer> rows_;
};

}  // namespace dorvane::jet
