#include "engines/jet/format/sort_order.h"

#include <array>
#include <string>
#include <vector>

#include "core/error.h"

namespace dorvane::jet {

namespace {

enum class CharRole : std::uint8_t {
    kUnknown,      // no stored entry shows it
    kPlain,        // weight bytes only (Jet 3: its place among accent marks unknown)
    kBase,         // Jet 3: an unaccented letter that holds a place among the accent marks
    kNoPlace,      // Jet 3: weight bytes only, and certainly holds no such place
    kAccented,     // Jet 3: the base letter's weight plus an accent mark
    kUnprintable,  // Jet 4: no weight; listed after the text with its position
};

struct CharWeight {
    CharRole role = CharRole::kUnknown;
    std::uint8_t length = 0;  // weight bytes (1 or 2)
    std::array<std::uint8_t, 2> bytes{};
    std::uint8_t mark = 0;    // kAccented: the accent nibble; kUnprintable: its code
};

// Jet 3: the (first) weight byte of each code-page byte; 0 = not known
// (0x00 and 0x1A occur in no stored entry). Control characters, the bytes
// that code page 1252 leaves undefined, and 0x80, 0x8E and 0x9E all weigh
// 0x10; case never counts.
constexpr std::array<std::uint8_t, 256> kGeneral97Weights = {
    0x00, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x11, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10,  // 0_
    0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x00, 0x10, 0x10, 0x10, 0x10, 0x10,  // 1_
    0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20,  // 2_
    0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26,  // 3_
    0x27, 0x60, 0x61, 0x62, 0x64, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6F, 0x70, 0x72,  // 4_
    0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x28, 0x29, 0x2A, 0x2B, 0x2C,  // 5_
    0x2D, 0x60, 0x61, 0x62, 0x64, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6F, 0x70, 0x72,  // 6_
    0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x2E, 0x2F, 0x30, 0x31, 0x10,  // 7_
    0x10, 0x10, 0x18, 0x32, 0x13, 0x33, 0x34, 0x35, 0x36, 0x37, 0x76, 0x18, 0x72, 0x10, 0x10, 0x10,  // 8_
    0x10, 0x18, 0x18, 0x13, 0x13, 0x38, 0x1E, 0x1E, 0x39, 0x3A, 0x76, 0x18, 0x72, 0x10, 0x10, 0x7D,  // 9_
    0x11, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x13, 0x45, 0x1E, 0x46, 0x47,  // A_
    0x48, 0x49, 0x58, 0x59, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x57, 0x4F, 0x13, 0x50, 0x51, 0x52, 0x53,  // B_
    0x60, 0x60, 0x60, 0x60, 0x60, 0x60, 0x60, 0x62, 0x66, 0x66, 0x66, 0x66, 0x6A, 0x6A, 0x6A, 0x6A,  // C_
    0x65, 0x70, 0x72, 0x72, 0x72, 0x72, 0x72, 0x54, 0x81, 0x78, 0x78, 0x78, 0x78, 0x7D, 0x7F, 0x76,  // D_
    0x60, 0x60, 0x60, 0x60, 0x60, 0x60, 0x60, 0x62, 0x66, 0x66, 0x66, 0x66, 0x6A, 0x6A, 0x6A, 0x6A,  // E_
    0x65, 0x70, 0x72, 0x72, 0x72, 0x72, 0x72, 0x55, 0x81, 0x78, 0x78, 0x78, 0x78, 0x7D, 0x7F, 0x7D,  // F_
};

// Jet 3: the accent nibble of the upper half's accented letters (0 = none).
constexpr std::array<std::uint8_t, 128> kGeneral97Accents = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0,  // 8_
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 6,  // 9_
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   // A_
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   // B_
    3, 4, 5, 7, 6, 8, 0, 9, 3, 4, 5, 6, 3, 4, 5, 6,   // C_
    0, 7, 3, 4, 5, 7, 6, 0, 0, 3, 4, 5, 6, 4, 0, 0,   // D_
    3, 4, 5, 7, 6, 8, 0, 9, 3, 4, 5, 6, 3, 4, 5, 6,   // E_
    0, 7, 3, 4, 5, 7, 6, 0, 0, 3, 4, 5, 6, 4, 0, 6,   // F_
};

struct SecondWeight {
    std::uint8_t byte;
    std::uint8_t second;
};
// Jet 3: ligatures and sharp s weigh as two letters (oe, ae, ss).
constexpr std::array<SecondWeight, 5> kGeneral97Expansions = {{
    {0x8C, 0x66}, {0x9C, 0x66}, {0xC6, 0x66}, {0xDF, 0x76}, {0xE6, 0x66},
}};

struct UnitWeight {
    char16_t unit;
    std::uint8_t first;
    std::uint8_t second;  // 0: a one-byte weight
};
// Jet 4: the characters stored entries show, upper-case letters folded.
constexpr std::array<UnitWeight, 37> kGeneralLegacyWeights = {{
    {u' ', 0x07, 0},  {u'0', 0x36, 0}, {u'1', 0x38, 0}, {u'2', 0x3A, 0}, {u'3', 0x3C, 0},
    {u'4', 0x3E, 0},  {u'5', 0x40, 0}, {u'6', 0x42, 0}, {u'7', 0x44, 0}, {u'8', 0x46, 0},
    {u'9', 0x48, 0},  {u'_', 0x2B, 0x03},
    {u'a', 0x4A, 0},  {u'b', 0x4C, 0}, {u'c', 0x4D, 0}, {u'd', 0x4F, 0}, {u'e', 0x51, 0},
    {u'f', 0x53, 0},  {u'g', 0x55, 0}, {u'h', 0x57, 0}, {u'i', 0x59, 0}, {u'j', 0x5B, 0},
    {u'k', 0x5C, 0},  {u'l', 0x5E, 0}, {u'm', 0x60, 0}, {u'n', 0x62, 0}, {u'o', 0x64, 0},
    {u'p', 0x66, 0},  {u'q', 0x68, 0}, {u'r', 0x69, 0}, {u's', 0x6B, 0}, {u't', 0x6D, 0},
    {u'u', 0x6F, 0},  {u'v', 0x71, 0}, {u'w', 0x73, 0}, {u'x', 0x75, 0}, {u'y', 0x76, 0},
}};

struct UnprintableCode {
    char16_t unit;
    std::uint8_t code;
};
constexpr std::array<UnprintableCode, 2> kGeneralLegacyUnprintables = {{{u'\x03', 0x05}, {u'-', 0x82}}};

CharWeight General97Weight(std::uint8_t byte) {
    CharWeight weight;
    const std::uint8_t first = kGeneral97Weights[byte];
    if (first == 0) return weight;
    weight.length = 1;
    weight.bytes[0] = first;
    for (const SecondWeight& expansion : kGeneral97Expansions) {
        if (expansion.byte == byte) {
            weight.bytes[1] = expansion.second;
            weight.length = 2;
        }
    }
    const std::uint8_t accent = byte >= 0x80 ? kGeneral97Accents[byte - 0x80u] : 0;
    if (accent != 0) {
        weight.role = CharRole::kAccented;
        weight.mark = accent;
    } else if (byte == 'A' || byte == 'a') {
        weight.role = CharRole::kBase;
    } else if (byte == '-' || byte == 0xA0 || byte == 0x83) {
        weight.role = CharRole::kNoPlace;
    } else {
        weight.role = CharRole::kPlain;
    }
    return weight;
}

CharWeight GeneralLegacyWeight(char16_t unit) {
    CharWeight weight;
    const char16_t folded = (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
    for (const UnitWeight& entry : kGeneralLegacyWeights) {
        if (entry.unit != folded) continue;
        weight.role = CharRole::kPlain;
        weight.bytes[0] = entry.first;
        weight.bytes[1] = entry.second;
        weight.length = entry.second == 0 ? 1 : 2;
        return weight;
    }
    for (const UnprintableCode& entry : kGeneralLegacyUnprintables) {
        if (entry.unit != unit) continue;
        weight.role = CharRole::kUnprintable;
        weight.mark = entry.code;
        return weight;
    }
    return weight;
}

std::string Hex(std::uint32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return text;
}

[[noreturn]] void ThrowNoWeight(const std::string& what) { throw Error(errc::kNotAvailable, what); }

void InvertFrom(Bytes& key, std::size_t start) {
    for (std::size_t i = start; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(~key[i]);
}

void AppendWeight(const CharWeight& weight, Bytes& key) {
    key.insert(key.end(), weight.bytes.begin(), weight.bytes.begin() + weight.length);
}

// Longest text a text column holds; unprintable positions are counted in it.
constexpr std::size_t kMaxTextUnits = 255;

}  // namespace

void AppendGeneral97TextKey(ByteSpan text, bool ascending, Bytes& key) {
    const std::size_t start = key.size();
    // Accent marks, one nibble each, opened by a 0 nibble once the first
    // accented letter occurs: base letters before an accented one hold a
    // place (2); base letters after the last one are left out.
    std::vector<std::uint8_t> marks;
    std::size_t places = 0;
    bool placesUnknown = false;
    for (const std::uint8_t byte : text) {
        const CharWeight weight = General97Weight(byte);
        if (weight.role == CharRole::kUnknown) {
            ThrowNoWeight("the Jet 3 text byte 0x" + Hex(byte, 2) + " has no known weight");
        }
        AppendWeight(weight, key);
        if (weight.role == CharRole::kBase) {
            ++places;
        } else if (weight.role == CharRole::kPlain) {
            placesUnknown = true;
        } else if (weight.role == CharRole::kAccented) {
            if (placesUnknown) {
                ThrowNoWeight("a character before the accented Jet 3 byte 0x" + Hex(byte, 2) +
                              " has no known place among the accent marks");
            }
            if (marks.empty()) marks.push_back(0);
            marks.insert(marks.end(), places, 2);
            marks.push_back(weight.mark);
            places = 0;
        }
    }
    if (marks.empty()) {
        key.push_back(0x00);
    } else {
        marks.push_back(0);
        if (marks.size() % 2 != 0) marks.push_back(0);
        for (std::size_t i = 0; i < marks.size(); i += 2) {
            key.push_back(static_cast<std::uint8_t>((marks[i] << 4) | marks[i + 1]));
        }
    }
    if (!ascending) InvertFrom(key, start);
}

void AppendGeneralLegacyTextKey(std::u16string_view text, bool ascending, Bytes& key) {
    if (text.size() > kMaxTextUnits) ThrowNoWeight("the Jet 4 text is longer than a text column holds");
    const std::size_t start = key.size();
    Bytes unprintables;  // per character: 0x8000 | (7 + 4 * weighed characters before it), BE; 06; code
    std::uint32_t position = 0;
    for (const char16_t unit : text) {
        const CharWeight weight = GeneralLegacyWeight(unit);
        if (weight.role == CharRole::kUnknown) {
            ThrowNoWeight("the Jet 4 text character U+" + Hex(unit, 4) + " has no known weight");
        }
        if (weight.role == CharRole::kUnprintable) {
            const std::uint32_t where = 0x8000u | (7u + 4u * position);
            unprintables.insert(unprintables.end(), {static_cast<std::uint8_t>(where >> 8),
                                                     static_cast<std::uint8_t>(where & 0xFF), 0x06, weight.mark});
        } else {
            AppendWeight(weight, key);
            ++position;
        }
    }
    key.push_back(0x01);
    if (!unprintables.empty()) {
        key.insert(key.end(), {0x01, 0x01, 0x01});
        key.insert(key.end(), unprintables.begin(), unprintables.end());
    }
    key.push_back(0x00);
    if (!ascending) {
        InvertFrom(key, start);
        key.push_back(0x00);
    }
}

}  // namespace dorvane::jet
