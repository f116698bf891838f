#pragma once
// RC4 keystream XOR: the header mask of page 0 and the optional per-page
// encryption both use it.

#include <cstdint>
#include <span>

namespace dorvane::jet {

void Rc4Apply(std::span<const std::uint8_t> key, std::span<std::uint8_t> data);

}  // namespace dorvane::jet
