#pragma once
// Where each row of a table went: the pointer of its header slot in the
// source to the one in the copy. Indexes are carried over through it.

#include <algorithm>
#include <array>
#include <bit>
#include <memory>
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
    // go straight into the lookup; only rows given out of order are held as
    // pairs until Seal sorts them. Where they went is kept as runs while the
    // rows fill the copy's pages one after another, slot by slot, as a copy
    // writes them: a few bytes a page instead of four a row.
    void Add(RowPointer from, RowPointer to) {
        ++added_;
        if (pairs_.empty() && (placed_ == 0 || from.ToU32() > last_from_)) {
            Place(from, to.ToU32());
            return;
        }
        if (pairs_.empty() && from.ToU32() == last_from_) return;  // the first pointer given counts
        if (pairs_.empty()) TakeApart();
        pairs_.emplace_back(from.ToU32(), to.ToU32());
    }
    // Makes the map searchable; call once, after the last Add.
    void Seal() {
        if (!pairs_.empty()) {
            // Stable, by source pointer only: of a row given twice, the first
            // pointer given counts.
            std::stable_sort(pairs_.begin(), pairs_.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            for (std::size_t at = 0; at < pairs_.size(); ++at) {
                if (at > 0 && pairs_[at].first == pairs_[at - 1].first) continue;
                Place(RowPointer::FromU32(pairs_[at].first), pairs_[at].second);
            }
            pairs_ = {};
        }
        if (listed_) return;
        run_of_block_.resize((placed_ + kBlockRows - 1) / kBlockRows);
        for (std::size_t run = 0, block = 0; block < run_of_block_.size(); ++block) {
            while (run + 1 < runs_.size() && runs_[run + 1].first_rank <= block * kBlockRows) ++run;
            run_of_block_[block] = static_cast<std::uint32_t>(run);
        }
    }
    std::optional<RowPointer> Find(RowPointer from) const {
        const PageSlots* page = SlotsOf(from);
        if (page == nullptr || !Has(*page, from.row)) return std::nullopt;
        return RowPointer::FromU32(To(page->start + Rank(*page, from.row)));
    }
    // Starts loading what Find(from) reads: round 0 its page's slots, round 1
    // (once those are under way) where its row went.
    void Prefetch(RowPointer from, int round) const {
        const PageSlots* page = SlotsOf(from);
        if (page == nullptr) return;
        if (round == 0) {
            PrefetchLine(page);
            return;
        }
        const std::size_t at = page->start + Rank(*page, from.row);
        if (listed_ && at < to_.size()) PrefetchLine(&to_[at]);
        if (!listed_ && at / kBlockRows < run_of_block_.size()) PrefetchLine(&run_of_block_[at / kBlockRows]);
    }
    // Rows added, a row given twice counted twice.
    std::size_t size() const { return added_; }

private:
    // Each source page from the first to the last gets a bit per slot and
    // where its rows begin, so a lookup is a bit test and a count, not a search.
    // Slots past the first 64 are rare (only pages of very short rows have
    // them): their bits are kept apart, so a page takes 16 bytes, not 40.
    struct PageSlots {
        std::uint64_t low = 0;    // a bit per slot below 64 that has a row here
        std::uint32_t start = 0;  // the rank of its first row
        std::uint32_t high = 0;   // 1 + its place in high_, 0 while no slot from 64 on has a row
    };
    using HighSlots = std::array<std::uint64_t, 3>;  // slots 64 to 255
    // Rows placed one after another from slot 0 of a copy page.
    struct Run {
        std::uint32_t first_rank;
        std::uint32_t page;
    };
    static constexpr std::size_t kBlockRows = 64;

    const PageSlots* SlotsOf(RowPointer from) const {
        if (from.page < first_page_ || from.page - first_page_ >= span_) return nullptr;
        return &PageAt(from.page - first_page_);
    }
    // The bits of the page's slots from 64 * word on.
    std::uint64_t Word(const PageSlots& page, std::size_t word) const {
        if (word == 0) return page.low;
        return page.high == 0 ? 0 : high_[page.high - 1][word - 1];
    }
    bool Has(const PageSlots& page, std::uint8_t row) const { return (Word(page, row / 64) >> (row % 64) & 1) != 0; }
    // The page's rows before slot `row`.
    std::size_t Rank(const PageSlots& page, std::uint8_t row) const {
        const std::size_t word = row / 64;
        auto rank = static_cast<std::size_t>(std::popcount(Word(page, word) & ((std::uint64_t{1} << (row % 64)) - 1)));
        for (std::size_t w = 0; w < word; ++w) rank += static_cast<std::size_t>(std::popcount(Word(page, w)));
        return rank;
    }
    // Where the row of `rank` went (after Seal, for runs).
    std::uint32_t To(std::size_t rank) const {
        if (listed_) return to_[rank];
        std::size_t run = run_of_block_[rank / kBlockRows];
        while (run + 1 < runs_.size() && runs_[run + 1].first_rank <= rank) ++run;
        return RowPointer{runs_[run].page, static_cast<std::uint8_t>(rank - runs_[run].first_rank)}.ToU32();
    }
    // `from` after every row placed so far.
    void Place(RowPointer from, std::uint32_t to) {
        if (placed_ == 0) first_page_ = from.page;
        if (from.page - first_page_ >= span_) Span(from.page - first_page_ + 1);
        PageSlots& page = PageAt(from.page - first_page_);
        if (page.low == 0 && page.high == 0) page.start = placed_;
        const std::uint64_t bit = std::uint64_t{1} << (from.row % 64);
        if (from.row < 64) {
            page.low |= bit;
        } else {
            if (page.high == 0) {
                high_.emplace_back();
                page.high = static_cast<std::uint32_t>(high_.size());
            }
            high_[page.high - 1][from.row / 64 - 1] |= bit;
        }
        PlaceTo(RowPointer::FromU32(to));
        last_from_ = from.ToU32();
    }
    void PlaceTo(RowPointer to) {
        if (!listed_) {
            if (!runs_.empty() && to.page == runs_.back().page && to.row == placed_ - runs_.back().first_rank) {
                ++placed_;
                return;
            }
            if (to.row == 0 && (runs_.empty() || to.page != runs_.back().page)) {
                runs_.push_back({placed_, to.page});
                ++placed_;
                return;
            }
            List();
        }
        to_.push_back(to.ToU32());
        ++placed_;
    }
    // From runs to a pointer a row, once a row goes elsewhere.
    void List() {
        to_.reserve(placed_ + 1);
        for (std::size_t run = 0; run < runs_.size(); ++run) {
            const std::uint32_t end = run + 1 < runs_.size() ? runs_[run + 1].first_rank : placed_;
            for (std::uint32_t rank = runs_[run].first_rank; rank < end; ++rank)
                to_.push_back(
                    RowPointer{runs_[run].page, static_cast<std::uint8_t>(rank - runs_[run].first_rank)}.ToU32());
        }
        runs_ = {};
        listed_ = true;
    }
    // Back to pairs, once a row comes out of order.
    void TakeApart() {
        if (!listed_) List();
        for (std::size_t p = 0; p < span_; ++p) {
            std::size_t at = PageAt(p).start;
            for (unsigned row = 0; row < 256; ++row)
                if (Has(PageAt(p), static_cast<std::uint8_t>(row)))
                    pairs_.emplace_back(
                        RowPointer{first_page_ + static_cast<std::uint32_t>(p), static_cast<std::uint8_t>(row)}.ToU32(),
                        to_[at++]);
        }
        chunks_.clear();
        high_ = {};
        span_ = 0;
        to_ = {};
        placed_ = 0;
        listed_ = false;
    }

    std::size_t added_ = 0;
    std::uint32_t placed_ = 0;  // rows in the lookup
    std::uint32_t last_from_ = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs_;
    std::uint32_t first_page_ = 0;
    // The pages from first_page_ on, in chunks: the span grows a page at a
    // time, and a vector grown by doubling holds up to twice what it needs,
    // and while it grows three times.
    static constexpr std::size_t kChunkPages = 512;
    using Chunk = std::array<PageSlots, kChunkPages>;
    PageSlots& PageAt(std::size_t at) { return (*chunks_[at / kChunkPages])[at % kChunkPages]; }
    const PageSlots& PageAt(std::size_t at) const { return (*chunks_[at / kChunkPages])[at % kChunkPages]; }
    void Span(std::size_t pages) {
        while (chunks_.size() * kChunkPages < pages) chunks_.push_back(std::make_unique<Chunk>());
        span_ = pages;
    }
    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::vector<HighSlots> high_;
    std::size_t span_ = 0;
    // Where each row went, by rank: as runs, or (`listed_`) one pointer a row.
    bool listed_ = false;
    std::vector<Run> runs_;
    std::vector<std::uint32_t> run_of_block_;  // the run of every kBlockRows-th rank
    std::vector<std::uint32_t> to_;
};

}  // namespace dorvane::jet::compact
