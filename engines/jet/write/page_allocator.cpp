#include "engines/jet/write/page_allocator.h"

#include <algorithm>

namespace dorvane::jet::write {

PageAllocator::PageAllocator(std::set<std::uint32_t> fixed_pages) : fixed_(std::move(fixed_pages)) {
    fixed_.insert(0);
    fixed_.insert(1);
}

std::uint32_t PageAllocator::Peek() const {
    std::uint32_t p = next_;
    while (fixed_.contains(p)) ++p;
    return p;
}

std::uint32_t PageAllocator::Take() {
    std::uint32_t p = Peek();
    next_ = p + 1;
    ++taken_;
    return p;
}

std::uint32_t PageAllocator::page_count() const { return std::max(next_, *fixed_.rbegin() + 1); }

std::set<std::uint32_t> PageAllocator::Holes() const {
    std::set<std::uint32_t> holes;
    for (std::uint32_t p = next_; p < page_count(); ++p)
        if (!fixed_.contains(p)) holes.insert(p);
    return holes;
}

}  // namespace dorvane::jet::write
