#pragma once
// Bounds-checked little- and big-endian reads over byte spans. Every reader of
// the file format goes through these, so a damaged structure surfaces as a
// dorvane::Error rather than a read outside a buffer.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace dorvane::jet {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;
using MutableByteSpan = std::span<std::uint8_t>;

// Throws dorvane::Error(errc::kCorrupt, "damaged database: " + what).
[[noreturn]] void ThrowCorrupt(const std::string& what);

// Checked sub-span [offset, offset + length); throws kCorrupt naming `what`.
ByteSpan Slice(ByteSpan bytes, std::size_t offset, std::size_t length, const char* what = "record");

std::uint8_t U8(ByteSpan bytes, std::size_t offset);
std::uint16_t Le16(ByteSpan bytes, std::size_t offset);
std::uint32_t Le32(ByteSpan bytes, std::size_t offset);
std::uint64_t Le64(ByteSpan bytes, std::size_t offset);
std::uint32_t Be24(ByteSpan bytes, std::size_t offset);
std::uint32_t Be32(ByteSpan bytes, std::size_t offset);

// Writers for the compactor's pages; checked the same way.
void PutLe16(MutableByteSpan bytes, std::size_t offset, std::uint16_t value);
void PutLe32(MutableByteSpan bytes, std::size_t offset, std::uint32_t value);
void PutBe24(MutableByteSpan bytes, std::size_t offset, std::uint32_t value);
void PutBe32(MutableByteSpan bytes, std::size_t offset, std::uint32_t value);
// Copies `from` to [offset, offset + from.size()), checked the same way.
void PutBytes(MutableByteSpan bytes, std::size_t offset, ByteSpan from);

// "0A1B..." (upper case), as binary values are shown.
std::string HexUpper(ByteSpan bytes);

}  // namespace dorvane::jet
