#include "engines/jet/format/bytes.h"

#include <algorithm>

#include "core/error.h"

namespace dorvane::jet {

void ThrowCorrupt(const std::string& what) { throw Error(errc::kCorrupt, "damaged database", what); }
void ThrowCorrupt(const ErrorText& what) { throw Error(errc::kCorrupt, "damaged database", what); }

void ThrowShort(const char* what) { ThrowCorrupt(std::string(what) + " is shorter than its contents claim"); }

void PutBytes(MutableByteSpan bytes, std::size_t offset, ByteSpan from) {
    NeedBytes(bytes.size(), offset, from.size());
    std::copy(from.begin(), from.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::string HexUpper(ByteSpan bytes) {
    std::string out;
    AppendHex(bytes, out);
    return out;
}

void AppendHex(ByteSpan bytes, std::string& out) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::size_t at = out.size();
    out.resize(at + bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        out[at++] = kDigits[b >> 4];
        out[at++] = kDigits[b & 0x0F];
    }
}

}  // namespace dorvane::jet
