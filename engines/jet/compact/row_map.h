#pragma once
// Where each row of a table went: the pointer of its header slot in the
// source to the one in the copy. Indexes are carried over through it.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "engines/jet/format/data_page.h"

namespace dorvane::jet::compact {

class RowMap {
public:
    void Add(RowPointer from, RowPointer to) { pairs_.emplace_back(from.ToU32(), to.ToU32()); }
    // Makes the map searchable; call once, after the last Add. Where each
    // source page's rows begin is kept, so a lookup searches one page's rows.
    void Seal() {
        std::sort(pairs_.begin(), pairs_.end());
        if (pairs_.empty()) return;
        first_page_ = pairs_.front().first >> 8;
        page_starts_.resize(static_cast<std::size_t>((pairs_.back().first >> 8) - first_page_) + 2);
        std::size_t at = 0;
        for (std::size_t page = 0; page + 1 < page_starts_.size(); ++page) {
            page_starts_[page] = static_cast<std::uint32_t>(at);
            while (at < pairs_.size() && (pairs_[at].first >> 8) - first_page_ == page) ++at;
        }
        page_starts_.back() = static_cast<std::uint32_t>(pairs_.size());
    }
    std::optional<RowPointer> Find(RowPointer from) const {
        if (from.page < first_page_ || from.page - first_page_ + 1 >= page_starts_.size()) return std::nullopt;
        const auto begin = pairs_.begin() + page_starts_[from.page - first_page_];
        const auto end = pairs_.begin() + page_starts_[from.page - first_page_ + 1];
        const auto it = std::lower_bound(begin, end, std::make_pair(from.ToU32(), std::uint32_t{0}));
        if (it == end || it->first != from.ToU32()) return std::nullopt;
        return RowPointer::FromU32(it->second);
    }
    std::size_t size() const { return pairs_.size(); }

private:
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs_;
    std::uint32_t first_page_ = 0;
    std::vector<std::uint32_t> page_starts_;  // per page from first_page_, and the end
};

}  // namespace dorvane::jet::compact
