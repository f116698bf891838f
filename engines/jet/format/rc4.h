#pragma once
// RC4 keystream XOR: the header mask of page 0 and the optional per-page
// encryption both use it.

#include <cstdint>
#include <span>

namespace dorvane::jet {

void Rc4Apply(std::span<const std::uint8_t> key, std::span<std::uint8_t> data);

// Page encryption: every page but page 0 of a file whose header holds a
// non-zero key is RC4-encrypted under the little-endian bytes of
// (key XOR page number), from the first byte of the page. The cipher is its
// own inverse, so this both encrypts and decrypts.
void ApplyPageCipher(std::uint32_t key, std::uint32_t page, std::span<std::uint8_t> bytes);

}  // namespace dorvane::jet
