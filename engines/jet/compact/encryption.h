#pragma once
// Page encryption of the new file. A database with a page key stores every
// page but page 0 RC4-encrypted under (key XOR page number), so a page is
// encrypted for the number it gets in the copy, never the one it had.

#include <cstdint>

#include "engines/jet/write/page_sink.h"

namespace dorvane::jet::compact {

class EncryptingPageSink : public write::PageSink {
public:
    EncryptingPageSink(write::PageSink& out, std::uint32_t key, std::size_t page_size)
        : out_(out), key_(key), page_size_(page_size) {}

    void WritePage(std::uint32_t page, ByteSpan bytes) override;
    // The cipher is a keystream XOR, so a few bytes are encrypted on their own.
    void PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) override;

private:
    write::PageSink& out_;
    std::uint32_t key_;
    std::size_t page_size_;
};

}  // namespace dorvane::jet::compact
