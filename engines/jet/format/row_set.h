#pragma once
// A set of rows as one bit per slot of each page that holds one, found
// through a number for every page from the lowest page added to the highest:
// membership is two looks, not a search, and a row added twice counts once.
// It takes four bytes a page of that span and 32 a page with rows, where a
// node-based set takes some 40 bytes a row; a table's pages may lie far apart
// between pages of memo/OLE values.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engines/jet/format/data_page.h"
#include "engines/jet/format/prefetch.h"

namespace dorvane::jet {

class RowSet {
public:
    void Add(RowPointer row) {
        if (index_.empty()) {
            first_ = row.page;
        } else if (row.page < first_) {  // rows usually come in page order; anything else still counts
            index_.insert(index_.begin(), first_ - row.page, kNoRows);
            first_ = row.page;
        }
        const std::size_t at = row.page - first_;
        if (at >= index_.size()) index_.resize(at + 1, kNoRows);
        if (index_[at] == kNoRows) {
            index_[at] = static_cast<std::uint32_t>(slots_.size());
            slots_.emplace_back();
        }
        std::uint64_t& word = slots_[index_[at]][row.row / 64];
        const std::uint64_t mask = std::uint64_t{1} << (row.row % 64);
        size_ += (word & mask) == 0 ? 1 : 0;
        word |= mask;
    }
    std::size_t size() const { return size_; }
    bool Contains(RowPointer row) const {
        const std::uint32_t* page = PageOf(row);
        return page != nullptr && *page != kNoRows && (slots_[*page][row.row / 64] >> (row.row % 64) & 1) != 0;
    }
    // Starts loading what Contains(row) reads: round 0 its page's number,
    // round 1 (once that is under way) the page's slots.
    void Prefetch(RowPointer row, int round) const {
        const std::uint32_t* page = PageOf(row);
        if (page == nullptr) return;
        if (round == 0)
            PrefetchLine(page);
        else if (*page != kNoRows)
            PrefetchLine(&slots_[*page][row.row / 64]);
    }

private:
    static constexpr std::uint32_t kNoRows = 0xFFFFFFFF;
    using PageSlots = std::array<std::uint64_t, 4>;  // a bit per slot: a row pointer's slot is one byte

    const std::uint32_t* PageOf(RowPointer row) const {
        if (row.page < first_ || row.page - first_ >= index_.size()) return nullptr;
        return &index_[row.page - first_];
    }

    std::size_t size_ = 0;
    std::uint32_t first_ = 0;
    std::vector<std::uint32_t> index_;  // per page from first_ on: its slots, or kNoRows
    std::vector<PageSlots> slots_;
};

}  // namespace dorvane::jet
