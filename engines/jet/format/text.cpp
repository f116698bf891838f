#include "engines/jet/format/text.h"

#include <array>

namespace dorvane::jet {

namespace {
// Windows-1252 0x80..0x9F; 0 marks an unassigned byte.
constexpr std::array<std::uint16_t, 32> kCp1252High{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
constexpr std::uint32_t kReplacement = 0xFFFD;
}  // namespace

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string CodePageToUtf8(ByteSpan bytes, std::uint16_t code_page) {
    std::string out;
    out.reserve(bytes.size());
    for (std::uint8_t b : bytes) {
        std::uint32_t cp = b;
        if (code_page == 1252 && b >= 0x80 && b <= 0x9F) {
            cp = kCp1252High[b - 0x80];
            if (cp == 0) cp = b;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string Ucs2ToUtf8(ByteSpan bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t unit = static_cast<std::uint32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const std::uint32_t low = static_cast<std::uint32_t>(bytes[2 * i + 2] | (bytes[2 * i + 3] << 8));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, unit);
    }
    return out;
}

std::string Jet4TextToUtf8(ByteSpan bytes) {
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return Ucs2ToUtf8(bytes);
    // Expand to UCS-2 first so surrogates pairs split across modes still join.
    Bytes wide;
    wide.reserve(bytes.size() * 2);
    bool compressed = true;
    std::size_t i = 2;
    while (i < bytes.size()) {
        if (bytes[i] == 0) {
            compressed = !compressed;
            ++i;
            continue;
        }
        if (compressed) {
            wide.push_back(bytes[i]);
            wide.push_back(0);
            ++i;
        } else {
            if (i + 1 >= bytes.size()) break;
            wide.push_back(bytes[i]);
            wide.push_back(bytes[i + 1]);
            i += 2;
        }
    }
    return Ucs2ToUtf8(wide);
}

}  // namespace dorvane::jet
