#include "engines/jet/format/text_encode.h"

#include <array>

#include "core/error.h"
#include "engines/jet/format/text.h"

namespace dorvane::jet {

namespace {

[[noreturn]] void Refuse(const std::string& why) { throw Error(errc::kValueRefused, why); }

void PutUnit(Bytes& out, std::uint32_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

}  // namespace

std::vector<std::uint32_t> Utf8CodePoints(std::string_view text) {
    std::vector<std::uint32_t> out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        const std::size_t extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 9;
        if (extra == 9 || lead > 0xF4 || i + extra >= text.size()) {
            Refuse("the text is not valid UTF-8 (byte " + std::to_string(i + 1) + ")");
        }
        std::uint32_t cp = extra == 0 ? lead : lead & (0x3Fu >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<std::uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) Refuse("the text is not valid UTF-8 (byte " + std::to_string(i + k + 1) + ")");
            cp = (cp << 6) | (next & 0x3Fu);
        }
        static constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            Refuse("the text is not valid UTF-8 (byte " + std::to_string(i + 1) + ")");
        }
        out.push_back(cp);
        i += extra + 1;
    }
    return out;
}

Bytes Utf8ToUcs2(std::string_view text) {
    Bytes out;
    for (const std::uint32_t cp : Utf8CodePoints(text)) {
        if (cp < 0x10000) {
            PutUnit(out, cp);
        } else {
            PutUnit(out, 0xD800 + ((cp - 0x10000) >> 10));
            PutUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    return out;
}

Bytes Utf8ToJet4Text(std::string_view text, bool compress) {
    const std::vector<std::uint32_t> points = Utf8CodePoints(text);
    bool narrow = compress && !points.empty();
    for (const std::uint32_t cp : points) narrow = narrow && cp >= 0x01 && cp <= 0xFF;
    if (!narrow) return Utf8ToUcs2(text);
    Bytes out{0xFF, 0xFE};
    for (const std::uint32_t cp : points) out.push_back(static_cast<std::uint8_t>(cp));
    return out;
}

Bytes Utf8ToCodePage(std::string_view text, std::uint16_t code_page) {
    Bytes out;
    for (const std::uint32_t cp : Utf8CodePoints(text)) {
        std::uint32_t byte = cp;
        if (code_page == 1252 && cp > 0xFF) {
            byte = 0x100;
            for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
                if (kCp1252High[i] == cp) byte = 0x80 + static_cast<std::uint32_t>(i);
            }
        } else if (code_page == 1252 && cp >= 0x80 && cp <= 0x9F && kCp1252High[cp - 0x80] != 0) {
            byte = 0x100;  // those bytes stand for other characters
        }
        if (byte > 0xFF)
            Refuse("the character U+" + std::to_string(cp) + " has no place in code page " + std::to_string(code_page));
        out.push_back(static_cast<std::uint8_t>(byte));
    }
    return out;
}

std::size_t Ucs2Length(std::string_view text) { return Utf8ToUcs2(text).size() / 2; }

}  // namespace dorvane::jet
