#pragma once
// A table definition's logical stream, patched in place and written back into
// the pages it came from: the first page whole, every continuation page from
// offset 8 under its own original 8-byte header.

#include <cstdint>
#include <vector>

#include "engines/jet/compact/bytes.h"
#include "engines/jet/compact/layout.h"
#include "engines/jet/compact/page_sink.h"

namespace dorvane::jet::compact {

class TdefStream {
public:
    // pages: the chain's page numbers; original: their bytes, in chain order.
    TdefStream(const PageLayout& layout, std::vector<std::uint32_t> pages,
               std::vector<std::vector<std::uint8_t>> original);

    void PatchU32(std::size_t offset, std::uint32_t value);
    std::uint32_t GetU32(std::size_t offset) const;
    std::size_t size() const { return stream_.size(); }
    void Write(PageSink& sink) const;

private:
    const PageLayout& layout_;
    std::vector<std::uint32_t> pages_;
    std::vector<std::vector<std::uint8_t>> original_;
    std::vector<std::uint8_t> stream_;
};

}  // namespace dorvane::jet::compact
