#pragma once
// Text as stored in the file, converted to UTF-8.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engines/jet/format/bytes.h"

namespace dorvane::jet {

// Western European, the code page of every test file and of new databases.
inline constexpr std::uint16_t kCodePage1252 = 1252;

// Windows-1252 0x80..0x9F as Unicode; 0 marks an unassigned byte. The rest
// of the code page is Latin-1.
inline constexpr std::array<std::uint16_t, 32> kCp1252High{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The UTF-16 units of Jet 4 text, appended to `units`: UCS-2 little-endian,
// or "compressed" when it starts with FF FE (one byte per character; a 0x00
// byte toggles between one- and two-byte characters). Returns false where
// the bytes end in half a character, which is left out.
bool AppendJet4TextUnits(ByteSpan bytes, std::u16string& units);
// The same into `out`, which has room for `bytes.size()` units; returns how
// many it holds, `whole` false where half a character was left out.
std::size_t DecodeJet4TextUnits(ByteSpan bytes, char16_t* out, bool& whole);

// UTF-16 units as UTF-8 at the end of `out`: surrogate pairs joined,
// unpaired ones U+FFFD.
void AppendUtf16AsUtf8(std::u16string_view units, std::string& out);

// Single-byte text in a Windows code page. 1252 is mapped exactly; other
// code pages are read as Latin-1 for the bytes above 0x7F.
std::string CodePageToUtf8(ByteSpan bytes, std::uint16_t code_page);
void AppendCodePageAsUtf8(ByteSpan bytes, std::uint16_t code_page, std::string& out);

// UCS-2 little-endian (surrogate pairs joined; unpaired ones become U+FFFD).
// An odd trailing byte is ignored.
std::string Ucs2ToUtf8(ByteSpan bytes);

// Jet 4 text: UCS-2, or "compressed" when it starts with FF FE (one byte per
// character; a 0x00 byte toggles between one- and two-byte characters).
std::string Jet4TextToUtf8(ByteSpan bytes);
// The same at the end of `out`, without the units in between: exactly
// AppendJet4TextUnits then AppendUtf16AsUtf8.
void AppendJet4TextAsUtf8(ByteSpan bytes, std::string& out);

void AppendUtf8(std::string& out, std::uint32_t code_point);

}  // namespace dorvane::jet
