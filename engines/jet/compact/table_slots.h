#pragma once
// The slots of a table's pages numbered in pointer order, so that what a
// salvage must know of each row (read, kept, named by an index) takes one bit
// of a RowBits rather than an entry in a list: a table of millions of rows
// then costs a few hundred KiB per question instead of bytes per row.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "engines/jet/format/data_page.h"

namespace dorvane::jet::compact {

// Bits past the last one set by Resize read as clear. Memory is taken at
// the first Set: of the questions a salvage asks of each row, most (an
// index's keys that failed, rows it names twice) are answered for no row at
// all in a table of millions.
class RowBits {
public:
    void Resize(std::size_t bits) {
        words_wanted_ = (bits + 63) / 64;
        if (!words_.empty()) words_.resize(words_wanted_, 0);
    }
    void Set(std::size_t bit) {
        if (words_.empty()) words_.resize(words_wanted_, 0);
        words_[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
    void Clear(std::size_t bit) {
        if (bit / 64 < words_.size()) words_[bit / 64] &= ~(std::uint64_t{1} << (bit % 64));
    }
    bool Test(std::size_t bit) const { return bit / 64 < words_.size() && (words_[bit / 64] >> (bit % 64) & 1) != 0; }
    // Bits set in [from, to).
    std::size_t Count(std::size_t from, std::size_t to) const {
        std::size_t n = 0;
        for (std::size_t bit = from; bit < to; ++bit) n += Test(bit) ? 1u : 0u;
        return n;
    }
    std::size_t Count() const {
        std::size_t n = 0;
        for (const std::uint64_t word : words_) n += static_cast<std::size_t>(std::popcount(word));
        return n;
    }
    // Bytes it holds.
    std::size_t held_bytes() const { return words_.capacity() * sizeof(std::uint64_t); }

private:
    std::size_t words_wanted_ = 0;
    std::vector<std::uint64_t> words_;
};

class TableSlots {
public:
    enum Flag : std::uint8_t {
        kListed = 1,   // the table's map (or the pages' owners) gives it
        kParsed = 2,   // read as one of the table's data pages
        kDamaged = 4,  // its slots, free space or rows did not hold
    };
    struct Page {
        std::uint32_t number = 0;
        std::uint32_t first = 0;  // its first slot's ordinal
        std::uint16_t slots = 0;
        std::uint8_t flags = 0;
    };

    // Pages come in ascending order; a page given again only gains room and flags.
    void AddPage(std::uint32_t number, std::size_t slots, std::uint8_t flags) {
        if (!pages_.empty() && number == pages_.back().number) {
            Page& last = pages_.back();
            if (slots > last.slots) {
                total_ += slots - last.slots;
                last.slots = static_cast<std::uint16_t>(slots);
            }
            last.flags |= flags;
            return;
        }
        if (pages_.empty()) first_page_ = number;
        pages_.push_back(Page{number, static_cast<std::uint32_t>(total_), static_cast<std::uint16_t>(slots), flags});
        total_ += slots;
        const std::size_t at = number - first_page_;
        if (at >= positions_.size()) positions_.resize(at + 1, 0);
        positions_[at] = static_cast<std::uint32_t>(pages_.size());
    }
    void Flag(std::uint32_t number, std::uint8_t flag) {
        if (Page* page = FindPage(number)) page->flags |= flag;
    }
    bool Has(std::uint32_t number, std::uint8_t flag) const {
        const Page* page = Find(number);
        return page != nullptr && (page->flags & flag) != 0;
    }
    // Ordinals run from 0 to size().
    std::size_t size() const { return total_; }
    std::optional<std::size_t> Ordinal(RowPointer row) const {
        const Page* page = Find(row.page);
        if (page == nullptr || row.row >= page->slots) return std::nullopt;
        return std::size_t{page->first} + row.row;
    }
    const Page* Find(std::uint32_t number) const {
        const std::size_t position = Position(number);
        return position == 0 ? nullptr : &pages_[position - 1];
    }
    const std::vector<Page>& pages() const { return pages_; }
    // Each set bit's row, in pointer order.
    template <typename Visit>
    void ForEach(const RowBits& bits, Visit&& visit) const {
        for (const Page& page : pages_)
            for (std::size_t slot = 0; slot < page.slots; ++slot)
                if (bits.Test(page.first + slot))
                    visit(RowPointer{page.number, static_cast<std::uint8_t>(slot)}, page.first + slot);
    }

private:
    Page* FindPage(std::uint32_t number) {
        const std::size_t position = Position(number);
        return position == 0 ? nullptr : &pages_[position - 1];
    }
    std::size_t Position(std::uint32_t number) const {
        if (pages_.empty() || number < first_page_ || number - first_page_ >= positions_.size()) return 0;
        return positions_[number - first_page_];
    }

    std::uint32_t first_page_ = 0;
    std::size_t total_ = 0;
    std::vector<Page> pages_;
    std::vector<std::uint32_t> positions_;  // by page from first_page_: 1 + its place in pages_, 0: none
};

}  // namespace dorvane::jet::compact
