#include "engines/jet/compact/encryption.h"

#include <array>
#include <stdexcept>

#include "engines/jet/format/rc4.h"

namespace dorvane::jet::compact {

std::vector<std::uint8_t> EncryptingPageSink::Keystream(std::uint32_t page, std::size_t length) const {
    const std::uint32_t pageKey = key_ ^ page;
    const std::array<std::uint8_t, 4> key{static_cast<std::uint8_t>(pageKey), static_cast<std::uint8_t>(pageKey >> 8),
                                          static_cast<std::uint8_t>(pageKey >> 16),
                                          static_cast<std::uint8_t>(pageKey >> 24)};
    std::vector<std::uint8_t> stream(length, 0);
    Rc4Apply(key, stream);
    return stream;
}

void EncryptingPageSink::WritePage(std::uint32_t page, ConstBytes bytes) {
    if (page == 0) {  // the header page is masked, never page-encrypted
        out_.WritePage(page, bytes);
        return;
    }
    std::vector<std::uint8_t> b = Keystream(page, bytes.size());
    for (std::size_t i = 0; i < b.size(); ++i) b[i] ^= bytes[i];
    out_.WritePage(page, b);
}

void EncryptingPageSink::PatchPage(std::uint32_t page, std::size_t offset, ConstBytes bytes) {
    if (page == 0 || offset + bytes.size() > pageSize_) throw std::logic_error("patch outside an encrypted page");
    std::vector<std::uint8_t> b = Keystream(page, offset + bytes.size());
    b.erase(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(offset));
    for (std::size_t i = 0; i < b.size(); ++i) b[i] ^= bytes[i];
    out_.PatchPage(page, offset, b);
}

}  // namespace dorvane::jet::compact
