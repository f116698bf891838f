#include "engines/jet/format/text.h"

#include <array>
#include <cstring>

namespace dorvane::jet {

namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

// UTF-16 units written out as UTF-8, a surrogate pair joined when its halves
// come one after the other, as AppendUtf16AsUtf8 does. The caller makes
// room: three bytes per unit at most.
class Utf8Writer {
public:
    explicit Utf8Writer(char* at) : at_(at) {}

    void Unit(std::uint32_t unit) {
        if (high_ != 0) {
            const std::uint32_t high = high_;
            high_ = 0;
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                CodePoint(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
                return;
            }
            CodePoint(kReplacement);
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            high_ = unit;
            return;
        }
        CodePoint(unit >= 0xDC00 && unit <= 0xDFFF ? kReplacement : unit);
    }

    // `count` units of one byte each (Latin-1). Most text is ASCII, which
    // is copied as it is; the copy is checked after, not byte by byte.
    void OneByteUnits(const std::uint8_t* from, std::size_t count) {
        char* const to = at_;
        unsigned above = high_;
        for (std::size_t i = 0; i < count; ++i) {
            to[i] = static_cast<char>(from[i]);
            above |= from[i] & 0x80u;
        }
        if (above == 0) {
            at_ += count;
            return;
        }
        for (std::size_t i = 0; i < count; ++i) Unit(from[i]);  // over the copy
    }

    // `count` little-endian units of two bytes each, ASCII copied the same way.
    void TwoByteUnits(const std::uint8_t* from, std::size_t count) {
        char* const to = at_;
        unsigned above = high_;
        for (std::size_t i = 0; i < count; ++i) {
            to[i] = static_cast<char>(from[2 * i]);
            above |= (from[2 * i] & 0x80u) | from[2 * i + 1];
        }
        if (above == 0) {
            at_ += count;
            return;
        }
        for (std::size_t i = 0; i < count; ++i) Unit(static_cast<std::uint32_t>(from[2 * i] | (from[2 * i + 1] << 8)));
    }

    // Where the text ends; a high surrogate left without its pair is U+FFFD.
    char* Finish() {
        if (high_ != 0) CodePoint(kReplacement);
        high_ = 0;
        return at_;
    }

private:
    void CodePoint(std::uint32_t cp) {
        if (cp < 0x80) {
            *at_++ = static_cast<char>(cp);
        } else if (cp < 0x800) {
            *at_++ = static_cast<char>(0xC0 | (cp >> 6));
            *at_++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *at_++ = static_cast<char>(0xE0 | (cp >> 12));
            *at_++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *at_++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *at_++ = static_cast<char>(0xF0 | (cp >> 18));
            *at_++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *at_++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *at_++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    char* at_;
    std::uint32_t high_ = 0;  // a high surrogate waiting for its low half
};

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
    AppendCodePageAsUtf8(bytes, code_page, out);
    return out;
}

void AppendCodePageAsUtf8(ByteSpan bytes, std::uint16_t code_page, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + 3 * bytes.size());  // the most a byte becomes (U+20AC and the like)
    Utf8Writer writer(out.data() + start);
    for (std::uint8_t b : bytes) {
        std::uint32_t cp = b;
        if (code_page == 1252 && b >= 0x80 && b <= 0x9F) {
            cp = kCp1252High[b - 0x80];
            if (cp == 0) cp = b;
        }
        writer.Unit(cp);  // never a surrogate
    }
    out.resize(static_cast<std::size_t>(writer.Finish() - out.data()));
}

std::size_t DecodeJet4TextUnits(ByteSpan bytes, char16_t* out, bool& whole) {
    std::size_t n = 0;
    const bool compressed = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
    bool single = compressed;
    whole = true;
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
    return n;
}

bool AppendJet4TextUnits(ByteSpan bytes, std::u16string& units) {
    // Written in place: no text has more units than bytes.
    const std::size_t start = units.size();
    units.resize(start + bytes.size());
    bool whole = true;
    units.resize(start + DecodeJet4TextUnits(bytes, units.data() + start, whole));
    return whole;
}

void AppendUtf16AsUtf8(std::u16string_view units, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + units.size() * 3);  // no unit takes more; a joined pair takes 4 for 2 units
    Utf8Writer writer(out.data() + start);
    for (const char16_t unit : units) writer.Unit(unit);
    out.resize(static_cast<std::size_t>(writer.Finish() - out.data()));
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
    std::string out;
    AppendJet4TextAsUtf8(bytes, out);
    return out;
}

void AppendJet4TextAsUtf8(ByteSpan bytes, std::string& out) {
    // Room for the most the bytes can become: a one-byte character takes two
    // bytes of UTF-8 at most, a two-byte one three.
    const std::size_t start = out.size();
    out.resize(start + 2 * bytes.size());
    Utf8Writer writer(out.data() + start);
    // The units as AppendJet4TextUnits finds them, half a character at the end left out.
    const std::uint8_t* at = bytes.data();
    const std::uint8_t* const end = at + bytes.size();
    if (bytes.size() >= 2 && at[0] == 0xFF && at[1] == 0xFE) {
        bool single = true;
        for (at += 2; at < end;) {
            if (single) {  // up to the next 0x00
                const auto* zero =
                    static_cast<const std::uint8_t*>(std::memchr(at, 0, static_cast<std::size_t>(end - at)));
                const std::uint8_t* const stop = zero != nullptr ? zero : end;
                writer.OneByteUnits(at, static_cast<std::size_t>(stop - at));
                at = stop;
            } else if (*at != 0) {
                if (end - at < 2) break;
                writer.TwoByteUnits(at, 1);
                at += 2;
                continue;
            }
            if (at < end) {  // at a 0x00
                single = !single;
                ++at;
            }
        }
    } else {
        writer.TwoByteUnits(at, bytes.size() / 2);
    }
    out.resize(static_cast<std::size_t>(writer.Finish() - out.data()));
}

}  // namespace dorvane::jet
