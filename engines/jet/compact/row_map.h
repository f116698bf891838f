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

namespace dorvane::jet::compact {

class RowMap {
public:
    void Add(RowPointer from, RowPointer to) { pairs_.emplace_back(from.ToU32(), to.ToU32()); }
    // Makes the map searchable; call once, after the last Add. Each source
    // page from the first to the last gets a bit per slot and where its rows
    // begin, so a lookup is a bit test and a count, not a search.
    void Seal() {
        std::sort(pairs_.begin(), pairs_.end());
        if (pairs_.empty()) return;
        first_page_ = pairs_.front().first >> 8;
        pages_.assign(static_cast<std::size_t>((pairs_.back().first >> 8) - first_page_) + 1, PageSlots{});
        to_.reserve(pairs_.size());
        for (std::size_t at = 0; at < pairs_.size(); ++at) {
            if (at > 0 && pairs_[at].first == pairs_[at - 1].first) continue;  // the first pointer given counts
            const RowPointer from = RowPointer::FromU32(pairs_[at].first);
            PageSlots& page = pages_[from.page - first_page_];
            if (page.slots == std::array<std::uint64_t, 4>{}) page.start = static_cast<std::uint32_t>(to_.size());
            page.slots[from.row / 64] |= std::uint64_t{1} << (from.row % 64);
            to_.push_back(pairs_[at].second);
        }
    }
    std::optional<RowPointer> Find(RowPointer from) const {
        if (from.page < first_page_ || from.page - first_page_ >= pages_.size()) return std::nullopt;
        const PageSlots& page = pages_[from.page - first_page_];
        const std::size_t word = from.row / 64;
        if ((page.slots[word] >> (from.row % 64) & 1) == 0) return std::nullopt;
        auto rank =
            static_cast<std::size_t>(std::popcount(page.slots[word] & ((std::uint64_t{1} << (from.row % 64)) - 1)));
        for (std::size_t w = 0; w < word; ++w) rank += static_cast<std::size_t>(std::popcount(page.slots[w]));
        return RowPointer::FromU32(to_[page.start + rank]);
    }
    std::size_t size() const { return pairs_.size(); }

private:
    struct PageSlots {
        std::array<std::uint64_t, 4> slots{};  // a bit per slot that has a row here
        std::uint32_t start = 0;               // its first row in to_
    };
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs_;
    std::uint32_t first_page_ = 0;
    std::vector<PageSlots> pages_;   // from first_page_ on
    std::vector<std::uint32_t> to_;  // where each row went, by page and slot
};

}  // namespace dorvane::jet::compact
