#pragma once
// Where finished pages go. The compactor streams to the destination file; the
// unit tests collect pages in memory.

#include <cstdint>
#include <map>
#include <vector>

#include "engines/jet/compact/bytes.h"

namespace dorvane::jet::compact {

class PageSink {
public:
    virtual ~PageSink() = default;
    // A whole page, exactly one page size long.
    virtual void WritePage(std::uint32_t page, ConstBytes bytes) = 0;
    // A few bytes of a page written before (a long-value chain link learned late).
    virtual void PatchPage(std::uint32_t page, std::size_t offset, ConstBytes bytes) = 0;
};

class MemoryPageSink : public PageSink {
public:
    void WritePage(std::uint32_t page, ConstBytes bytes) override;
    void PatchPage(std::uint32_t page, std::size_t offset, ConstBytes bytes) override;
    const std::map<std::uint32_t, std::vector<std::uint8_t>>& pages() const { return pages_; }

private:
    std::map<std::uint32_t, std::vector<std::uint8_t>> pages_;
};

}  // namespace dorvane::jet::compact
