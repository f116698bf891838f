#pragma once
// Hands out page numbers 2, 3, ... in increasing order, skipping the pages that
// keep their number (page 0, page 1 and every table-definition page).

#include <cstdint>
#include <set>

namespace dorvane::jet::write {

class PageAllocator {
public:
    explicit PageAllocator(std::set<std::uint32_t> fixed_pages);

    std::uint32_t Take();
    // The number the next Take() returns, without taking it.
    std::uint32_t Peek() const;
    std::uint32_t taken() const { return taken_; }
    // One past the highest page that is taken or fixed: the new file's page count.
    std::uint32_t page_count() const;
    // Pages below page_count() that are neither taken nor fixed (they lie
    // between fixed pages and stay empty).
    std::set<std::uint32_t> Holes() const;

    // Where the handing out stands: going back to it gives the pages taken
    // since then out again.
    struct Position {
        std::uint32_t next = 2;
        std::uint32_t taken = 0;
    };
    Position position() const { return {next_, taken_}; }
    void Rewind(Position to) {
        next_ = to.next;
        taken_ = to.taken;
    }

private:
    std::set<std::uint32_t> fixed_;
    std::uint32_t next_ = 2;
    std::uint32_t taken_ = 0;
};

}  // namespace dorvane::jet::write
