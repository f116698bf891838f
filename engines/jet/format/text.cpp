#include "engines/jet/format/text.h"

#include <array>

namespace dorvane::jet {

namespace {
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

bool AppendJet4TextUnits(ByteSpan bytes, std::u16string& units) {
    // Written in place: no text has more units than bytes, and every key
    // of an index on text comes through here.
    const std::size_t start = units.size();
    units.resize(start + bytes.size());
    char16_t* const out = units.data() + start;
    std::size_t n = 0;
    const bool compressed = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
    bool single = compressed;
    bool whole = true;
    for (std::size_t i = compressed ? 2 : 0; i < bytes.size();) {
        if (compressed && bytes[i] == 0) {
            single = !single;
            ++i;
        } else if (single) {
            out[n++] = bytes[i++];
        } else {
            if (i + 1 >= bytes.size()) {
                whole = false;
                break;
            }
            out[n++] = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
            i += 2;
        }
    }
    units.resize(start + n);
    return whole;
}

void AppendUtf16AsUtf8(std::u16string_view units, std::string& out) {
    std::size_t at = out.size();
    out.resize(at + units.size() * 3);  // no unit takes more; a joined pair takes 4 for 2 units
    char* const base = out.data();
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t cp = units[i];
        if (cp < 0x80) {
            base[at++] = static_cast<char>(cp);
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
            ++i;
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = kReplacement;
        if (cp < 0x800) {
            base[at++] = static_cast<char>(0xC0 | (cp >> 6));
        } else if (cp < 0x10000) {
            base[at++] = static_cast<char>(0xE0 | (cp >> 12));
            base[at++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        } else {
            base[at++] = static_cast<char>(0xF0 | (cp >> 18));
            base[at++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            base[at++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        }
        base[at++] = static_cast<char>(0x80 | (cp & 0x3F));
    }
    out.resize(at);
}

std::string Ucs2ToUtf8(ByteSpan bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    std::string out;
    AppendUtf16AsUtf8(units, out);
    return out;
}

std::string Jet4TextToUtf8(ByteSpan bytes) {
    std::u16string units;
    AppendJet4TextUnits(bytes, units);
    std::string out;
    AppendUtf16AsUtf8(units, out);
    return out;
}

}  // namespace dorvane::jet
