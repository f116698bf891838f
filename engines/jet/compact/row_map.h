#pragma once
// Where each row of a table went: the pointer of its header slot in the
// source to the one in the copy. Indexes are carried over through it.

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "engines/jet/format/data_page.h"
#include "engines/jet/format/prefetch.h"

namespace dorvane::jet::compact {

class RowMap {
public:
    // Rows copied in the order of their pointers (a table read as stored)
    // go straight into the lookup, four bytes each; only rows given out of
    // order are held as pairs until Seal sorts them.
    void Add(RowPointer from, RowPointer to) {
        ++added_;
        if (pairs_.empty() && (to_.empty() || from.ToU32() > last_from_)) {
            Place(from, to.ToU32());
            return;
        }
        if (pairs_.empty() && from.ToU32() == last_from_) return;  // the first pointer given counts
        if (pairs_.empty()) TakeApart();
        pairs_.emplace_back(from.ToU32(), to.ToU32());
    }
    // Room for `rows` rows before the first Add: a lookup grown by doubling
    // holds its old copy and its new one at once, half again of the table's
    // four bytes a row unused, and that was the compaction's peak.
    void Reserve(std::size_t rows) { to_.reserve(rows); }
    // Makes the map searchable; call once, after the last Add.
    void Seal() {
        if (pairs_.empty()) return;
        std::sort(pairs_.begin(), pairs_.end());
        for (std::size_t at = 0; at < pairs_.size(); ++at) {
            if (at > 0 && pairs_[at].first == pairs_[at - 1].first) continue;  // the first pointer given counts
            Place(RowPointer::FromU32(pairs_[at].first), pairs_[at].second);
        }
        pairs_ = {};
    }
    std::optional<RowPointer> Find(RowPointer from) const {
        const PageSlots* page = SlotsOf(from);
        if (page == nullptr || (page->slots[from.row / 64] >> (from.row % 64) & 1) == 0) return std::nullopt;
        return RowPointer::FromU32(to_[page->start + Rank(*page, from.row)]);
    }
    // Starts loading what Find(from) reads: round 0 its page's slots, round 1
    // (once those are under way) where its row went.
    void Prefetch(RowPointer from, int round) const {
        const PageSlots* page = SlotsOf(from);
        if (page == nullptr) return;
        if (round == 0) {  // it may straddle two lines
            PrefetchLine(&page->slots.front());
            PrefetchLine(&page->start);
            return;
        }
        const std::size_t at = page->start + Rank(*page, from.row);
        if (at < to_.size()) PrefetchLine(&to_[at]);
    }
    // Rows added, a row given twice counted twice.
    std::size_t size() const { return added_; }

private:
    // Each source page from the first to the last gets a bit per slot and
    // where its rows begin, so a lookup is a bit test and a count, not a search.
    struct PageSlots {
        std::array<std::uint64_t, 4> slots{};  // a bit per slot that has a row here
        std::uint32_t start = 0;               // its first row in to_
    };

    const PageSlots* SlotsOf(RowPointer from) const {
        if (from.page < first_page_ || from.page - first_page_ >= pages_.size()) return nullptr;
        return &pages_[from.page - first_page_];
    }
    // The page's rows before slot `row`.
    static std::size_t Rank(const PageSlots& page, std::uint8_t row) {
        const std::size_t word = row / 64;
        auto rank = static_cast<std::size_t>(std::popcount(page.slots[word] & ((std::uint64_t{1} << (row % 64)) - 1)));
        for (std::size_t w = 0; w < word; ++w) rank += static_cast<std::size_t>(std::popcount(page.slots[w]));
        return rank;
    }
    // `from` after every row placed so far.
    void Place(RowPointer from, std::uint32_t to) {
        if (to_.empty()) first_page_ = from.page;
        if (from.page - first_page_ >= pages_.size()) pages_.resize(from.page - first_page_ + 1);
        PageSlots& page = pages_[from.page - first_page_];
        if (page.slots == std::array<std::uint64_t, 4>{}) page.start = static_cast<std::uint32_t>(to_.size());
        page.slots[from.row / 64] |= std::uint64_t{1} << (from.row % 64);
        to_.push_back(to);
        last_from_ = from.ToU32();
    }
    // Back to pairs, once a row comes out of order.
    void TakeApart() {
        for (std::size_t p = 0; p < pages_.size(); ++p) {
            std::size_t at = pages_[p].start;
            for (unsigned row = 0; row < 256; ++row)
                if (pages_[p].slots[row / 64] >> (row % 64) & 1)
                    pairs_.emplace_back(
                        RowPointer{first_page_ + static_cast<std::uint32_t>(p), static_cast<std::uint8_t>(row)}.ToU32(),
                        to_[at++]);
        }
        pages_ = {};
        to_ = {};
    }

    std::size_t added_ = 0;
    std::uint32_t last_from_ = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs_;
    std::uint32_t first_page_ = 0;
    std::vector<PageSlots> pages_;   // from first_page_ on
    std::vector<std::uint32_t> to_;  // where each row went, by page and slot
};

}  // namespace dorvane::jet::compact
