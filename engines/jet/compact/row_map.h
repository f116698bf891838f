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
    // Makes the map searchable; call once, after the last Add.
    void Seal() { std::sort(pairs_.begin(), pairs_.end()); }
    std::optional<RowPointer> Find(RowPointer from) const {
        const auto it = std::lower_bound(pairs_.begin(), pairs_.end(), std::make_pair(from.ToU32(), std::uint32_t{0}));
        if (it == pairs_.end() || it->first != from.ToU32()) return std::nullopt;
        return RowPointer::FromU32(it->second);
    }
    std::size_t size() const { return pairs_.size(); }

private:
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs_;
};

}  // namespace dorvane::jet::compact
