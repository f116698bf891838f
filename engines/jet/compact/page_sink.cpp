#include "engines/jet/compact/page_sink.h"

#include <algorithm>
#include <stdexcept>

namespace dorvane::jet::compact {

void MemoryPageSink::WritePage(std::uint32_t page, ConstBytes bytes) {
    pages_[page].assign(bytes.begin(), bytes.end());
}

void MemoryPageSink::PatchPage(std::uint32_t page, std::size_t offset, ConstBytes bytes) {
    auto it = pages_.find(page);
    if (it == pages_.end()) throw std::logic_error("patch of a page never written");
    CheckRange(it->second.size(), offset, bytes.size());
    std::copy(bytes.begin(), bytes.end(), it->second.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace dorvane::jet::compact
