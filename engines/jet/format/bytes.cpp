#include "engines/jet/format/bytes.h"

#include <algorithm>

#include "core/error.h"

namespace dorvane::jet {

void ThrowCorrupt(const std::string& what) {
    throw Error(errc::kCorrupt, "damaged database: " + what);
}

namespace {
void Need(std::size_t size, std::size_t offset, std::size_t length, const char* what) {
    if (offset > size || length > size - offset) {
        ThrowCorrupt(std::string(what) + " is shorter than its contents claim");
    }
}
}  // namespace

ByteSpan Slice(ByteSpan bytes, std::size_t offset, std::size_t length, const char* what) {
    Need(bytes.size(), offset, length, what);
    return bytes.subspan(offset, length);
}

std::uint8_t U8(ByteSpan bytes, std::size_t offset) {
    Need(bytes.size(), offset, 1, "record");
    return bytes[offset];
}

std::uint16_t Le16(ByteSpan bytes, std::size_t offset) {
    Need(bytes.size(), offset, 2, "record");
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t Le32(ByteSpan bytes, std::size_t offset) {
    Need(bytes.size(), offset, 4, "record");
    return static_cast<std::uint32_t>(bytes[offset]) |
           (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

std::uint64_t Le64(ByteSpan bytes, std::size_t offset) {
    Need(bytes.size(), offset, 8, "record");
    return static_cast<std::uint64_t>(Le32(bytes, offset)) |
           (static_cast<std::uint64_t>(Le32(bytes, offset + 4)) << 32);
}

std::uint32_t Be24(ByteSpan bytes, std::size_t offset) {
    Need(bytes.size(), offset, 3, "record");
    return (static_cast<std::uint32_t>(bytes[offset]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           static_cast<std::uint32_t>(bytes[offset + 2]);
}

std::uint32_t Be32(ByteSpan bytes, std::size_t offset) {
    Need(bytes.size(), offset, 4, "record");
    return (static_cast<std::uint32_t>(bytes[offset]) << 24) | Be24(bytes, offset + 1);
}

void PutLe16(MutableByteSpan bytes, std::size_t offset, std::uint16_t value) {
    Need(bytes.size(), offset, 2, "record");
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(MutableByteSpan bytes, std::size_t offset, std::uint32_t value) {
    Need(bytes.size(), offset, 4, "record");
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutBe24(MutableByteSpan bytes, std::size_t offset, std::uint32_t value) {
    Need(bytes.size(), offset, 3, "record");
    for (std::size_t i = 0; i < 3; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * (2 - i)));
}

void PutBe32(MutableByteSpan bytes, std::size_t offset, std::uint32_t value) {
    Need(bytes.size(), offset, 4, "record");
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
}

void PutBytes(MutableByteSpan bytes, std::size_t offset, ByteSpan from) {
    Need(bytes.size(), offset, from.size(), "record");
    std::copy(from.begin(), from.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::string HexUpper(ByteSpan bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
    }
    return out;
}

}  // namespace dorvane::jet
