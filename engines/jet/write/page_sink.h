#pragma once
// Where finished pages go. The compactor streams to the destination file; the
// unit tests collect pages in memory.

#include <cstdint>
#include <map>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/format.h"

namespace dorvane::jet::write {

class PageSink {
public:
    virtual ~PageSink() = default;
    // A whole page, exactly one page size long.
    virtual void WritePage(std::uint32_t page, ByteSpan bytes) = 0;
    // A few bytes of a page written before (a long-value chain link learned late).
    virtual void PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) = 0;
};

class MemoryPageSink : public PageSink {
public:
    void WritePage(std::uint32_t page, ByteSpan bytes) override;
    void PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) override;
    const std::map<std::uint32_t, Bytes>& pages() const { return pages_; }

private:
    std::map<std::uint32_t, Bytes> pages_;
};

// A zeroed page of the given type, the byte after the type set as every
// written page has it.
Bytes NewPage(const Format& format, std::uint8_t type);

}  // namespace dorvane::jet::write
