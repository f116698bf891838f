#pragma once
// Little- and big-endian field access on page buffers. The writer keeps its
// own helpers so that every store is bounds-checked in one place.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

namespace dorvane::jet::compact {

using MutableBytes = std::span<std::uint8_t>;
using ConstBytes = std::span<const std::uint8_t>;

inline void CheckRange(std::size_t size, std::size_t offset, std::size_t width) {
    if (offset > size || width > size - offset) throw std::out_of_range("page field outside its buffer");
}

inline std::uint16_t GetU16(ConstBytes b, std::size_t o) {
    CheckRange(b.size(), o, 2);
    return static_cast<std::uint16_t>(b[o] | (b[o + 1] << 8));
}

inline std::uint32_t GetU32(ConstBytes b, std::size_t o) {
    CheckRange(b.size(), o, 4);
    return static_cast<std::uint32_t>(b[o]) | (static_cast<std::uint32_t>(b[o + 1]) << 8) |
           (static_cast<std::uint32_t>(b[o + 2]) << 16) | (static_cast<std::uint32_t>(b[o + 3]) << 24);
}

inline void PutU16(MutableBytes b, std::size_t o, std::uint32_t v) {
    CheckRange(b.size(), o, 2);
    b[o] = static_cast<std::uint8_t>(v & 0xFF);
    b[o + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

inline void PutU32(MutableBytes b, std::size_t o, std::uint32_t v) {
    CheckRange(b.size(), o, 4);
    for (int i = 0; i < 4; ++i) b[o + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

inline void PutBe32(MutableBytes b, std::size_t o, std::uint32_t v) {
    CheckRange(b.size(), o, 4);
    for (int i = 0; i < 4; ++i) b[o + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((v >> (24 - 8 * i)) & 0xFF);
}

// A row pointer as the file stores it: page in the upper three bytes, slot in
// the low byte.
struct RowPointer {
    std::uint32_t page = 0;
    std::uint8_t slot = 0;

    std::uint32_t Encoded() const { return (page << 8) | slot; }
    static RowPointer Decode(std::uint32_t v) { return {v >> 8, static_cast<std::uint8_t>(v & 0xFF)}; }
    friend bool operator==(const RowPointer&, const RowPointer&) = default;
};

}  // namespace dorvane::jet::compact
