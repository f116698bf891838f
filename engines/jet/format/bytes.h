#pragma once
// Bounds-checked little- and big-endian reads over byte spans. Every reader of
// the file format goes through these, so a damaged structure surfaces as a
// dorvane::Error rather than a read outside a buffer. They are inline: a
// compaction calls them for every index entry and row.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/error.h"

namespace dorvane::jet {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;
using MutableByteSpan = std::span<std::uint8_t>;

// Throws dorvane::Error(errc::kCorrupt): "damaged database", with `what` as its detail.
[[noreturn]] void ThrowCorrupt(const std::string& what);
[[noreturn]] void ThrowCorrupt(const ErrorText& what);
// Throws kCorrupt: `what` is shorter than its contents claim.
[[noreturn]] void ThrowShort(const char* what);

// Throws unless [offset, offset + length) lies within `size` bytes.
inline void NeedBytes(std::size_t size, std::size_t offset, std::size_t length, const char* what = "record") {
    if (offset > size || length > size - offset) ThrowShort(what);
}

// Checked sub-span [offset, offset + length); throws kCorrupt naming `what`.
inline ByteSpan Slice(ByteSpan bytes, std::size_t offset, std::size_t length, const char* what = "record") {
    NeedBytes(bytes.size(), offset, length, what);
    return bytes.subspan(offset, length);
}

inline std::uint8_t U8(ByteSpan bytes, std::size_t offset) {
    NeedBytes(bytes.size(), offset, 1);
    return bytes[offset];
}

inline std::uint16_t Le16(ByteSpan bytes, std::size_t offset) {
    NeedBytes(bytes.size(), offset, 2);
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::uint32_t Le32(ByteSpan bytes, std::size_t offset) {
    NeedBytes(bytes.size(), offset, 4);
    return static_cast<std::uint32_t>(bytes[offset]) | (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline std::uint64_t Le64(ByteSpan bytes, std::size_t offset) {
    NeedBytes(bytes.size(), offset, 8);
    return static_cast<std::uint64_t>(Le32(bytes, offset)) |
           (static_cast<std::uint64_t>(Le32(bytes, offset + 4)) << 32);
}

inline std::uint32_t Be24(ByteSpan bytes, std::size_t offset) {
    NeedBytes(bytes.size(), offset, 3);
    return (static_cast<std::uint32_t>(bytes[offset]) << 16) | (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           static_cast<std::uint32_t>(bytes[offset + 2]);
}

inline std::uint32_t Be32(ByteSpan bytes, std::size_t offset) {
    NeedBytes(bytes.size(), offset, 4);
    return (static_cast<std::uint32_t>(bytes[offset]) << 24) | Be24(bytes, offset + 1);
}

// Writers for the compactor's pages; checked the same way.
inline void PutLe16(MutableByteSpan bytes, std::size_t offset, std::uint16_t value) {
    NeedBytes(bytes.size(), offset, 2);
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutLe32(MutableByteSpan bytes, std::size_t offset, std::uint32_t value) {
    NeedBytes(bytes.size(), offset, 4);
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void PutBe24(MutableByteSpan bytes, std::size_t offset, std::uint32_t value) {
    NeedBytes(bytes.size(), offset, 3);
    for (std::size_t i = 0; i < 3; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * (2 - i)));
}

inline void PutBe32(MutableByteSpan bytes, std::size_t offset, std::uint32_t value) {
    NeedBytes(bytes.size(), offset, 4);
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
}

// Copies `from` to [offset, offset + from.size()), checked the same way.
void PutBytes(MutableByteSpan bytes, std::size_t offset, ByteSpan from);

// "0A1B..." (upper case), as binary values are shown.
std::string HexUpper(ByteSpan bytes);
// The same at the end of `out`, for loops that reuse one string.
void AppendHex(ByteSpan bytes, std::string& out);

}  // namespace dorvane::jet
