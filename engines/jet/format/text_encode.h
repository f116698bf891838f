#pragma once
// UTF-8 text turned into the forms the file stores: UCS-2 for Jet 4 names,
// Jet 4 "compressed" text for values, and code-page bytes for Jet 3 names.
// The inverse of text.h. Text that cannot be stored is refused, never mangled.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engines/jet/format/bytes.h"

namespace dorvane::jet {

// Code points of UTF-8 text; throws dorvane::Error(errc::kValueRefused) for malformed UTF-8.
std::vector<std::uint32_t> Utf8CodePoints(std::string_view text);

// UCS-2 little-endian, characters beyond the basic plane as surrogate pairs.
Bytes Utf8ToUcs2(std::string_view text);

// Jet 4 text as stored: one byte a character after FF FE when every
// character is U+0001..U+00FF and `compress` (the column allows it), else UCS-2.
Bytes Utf8ToJet4Text(std::string_view text, bool compress);

// Windows-1252 bytes (other code pages: Latin-1); throws for a character
// the code page lacks.
Bytes Utf8ToCodePage(std::string_view text, std::uint16_t code_page);

// Characters as Access counts them for a text column's limit: UCS-2 units.
std::size_t Ucs2Length(std::string_view text);

}  // namespace dorvane::jet
