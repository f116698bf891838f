#pragma once
// A set of rows as one bit per slot of each page from the lowest page added
// to the highest: membership is one look, not a search, and a row added
// twice counts once. It takes 32 bytes a page of that span however many rows
// it holds, where a node-based set takes some 40 bytes a row.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engines/jet/format/data_page.h"
#include "engines/jet/format/prefetch.h"

namespace dorvane::jet {

class RowSet {
public:
    void Add(RowPointer row) {
        if (bits_.empty()) {
            first_ = row.page;
        } else if (row.page < first_) {  // rows usually come in page order; anything else still counts
            bits_.insert(bits_.begin(), static_cast<std::size_t>(first_ - row.page) * kWordsPerPage, 0);
            first_ = row.page;
        }
        const std::size_t bit = Bit(row);
        if (bit / 64 >= bits_.size()) bits_.resize((bit / 64 / kWordsPerPage + 1) * kWordsPerPage, 0);
        std::uint64_t& word = bits_[bit / 64];
        const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
        size_ += (word & mask) == 0 ? 1 : 0;
        word |= mask;
    }
    std::size_t size() const { return size_; }
    bool Contains(RowPointer row) const {
        if (bits_.empty() || row.page < first_) return false;
        const std::size_t bit = Bit(row);
        return bit / 64 < bits_.size() && (bits_[bit / 64] >> (bit % 64) & 1) != 0;
    }

    // Starts loading what Contains(row) reads.
    void Prefetch(RowPointer row) const {
        if (bits_.empty() || row.page < first_) return;
        const std::size_t word = Bit(row) / 64;
        if (word < bits_.size()) PrefetchLine(&bits_[word]);
    }

private:
    static constexpr std::size_t kSlotsPerPage = 256;  // a row pointer's slot is one byte
    static constexpr std::size_t kWordsPerPage = kSlotsPerPage / 64;
    std::size_t Bit(RowPointer row) const {
        return static_cast<std::size_t>(row.page - first_) * kSlotsPerPage + row.row;
    }

    std::size_t size_ = 0;
    std::uint32_t first_ = 0;
    std::vector<std::uint64_t> bits_;
};

}  // namespace dorvane::jet
