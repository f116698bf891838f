#include "engines/jet/write/page_sink.h"

#include <stdexcept>

namespace dorvane::jet::write {

void MemoryPageSink::WritePage(std::uint32_t page, ByteSpan bytes) { pages_[page].assign(bytes.begin(), bytes.end()); }

void MemoryPageSink::PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) {
    auto it = pages_.find(page);
    if (it == pages_.end()) throw std::logic_error("patch of a page never written");
    PutBytes(it->second, offset, bytes);
}

Bytes NewPage(const Format& format, std::uint8_t type) {
    Bytes page(format.page_size, 0);
    const std::uint8_t header[] = {type, 0x01};
    PutBytes(page, 0, header);
    return page;
}

}  // namespace dorvane::jet::write
