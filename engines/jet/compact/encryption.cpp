#include "engines/jet/compact/encryption.h"

#include <stdexcept>

#include "engines/jet/format/rc4.h"

namespace dorvane::jet::compact {

void EncryptingPageSink::WritePage(std::uint32_t page, ByteSpan bytes) {
    if (page == 0) {  // the header page is masked, never page-encrypted
        out_.WritePage(page, bytes);
        return;
    }
    Bytes b(bytes.begin(), bytes.end());
    ApplyPageCipher(key_, page, b);
    out_.WritePage(page, b);
}

void EncryptingPageSink::PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) {
    if (page == 0 || offset + bytes.size() > page_size_) throw std::logic_error("patch outside an encrypted page");
    Bytes b(offset + bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(offset));
    ApplyPageCipher(key_, page, b);
    out_.PatchPage(page, offset, ByteSpan(b).subspan(offset));
}

}  // namespace dorvane::jet::compact
