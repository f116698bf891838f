#pragma once
// Text as stored in the file, converted to UTF-8.

#include <cstdint>
#include <string>

#include "engines/jet/format/bytes.h"

namespace dorvane::jet {

// Western European, the code page of every test file and of new databases.
inline constexpr std::uint16_t kCodePage1252 = 1252;

// Single-byte text in a Windows code page. 1252 is mapped exactly; other
// code pages are read as Latin-1 for the bytes above 0x7F.
std::string CodePageToUtf8(ByteSpan bytes, std::uint16_t code_page);

// UCS-2 little-endian (surrogate pairs joined; unpaired ones become U+FFFD).
// An odd trailing byte is ignored.
std::string Ucs2ToUtf8(ByteSpan bytes);

// Jet 4 text: UCS-2, or "compressed" when it starts with FF FE (one byte per
// character; a 0x00 byte toggles between one- and two-byte characters).
std::string Jet4TextToUtf8(ByteSpan bytes);

void AppendUtf8(std::string& out, std::uint32_t code_point);

}  // namespace dorvane::jet
