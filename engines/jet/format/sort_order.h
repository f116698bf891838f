#pragma once
// The text part of an index key in the two "General" sort orders (0x0409):
// Jet 3 files weigh code-page 1252 bytes, Jet 4 files UTF-16 code units; the
// two orders differ in every byte. Every character has a weight (some weigh
// nothing); the tables are generated (scripts/generate-sort-weights.py) and
// checked against every index entry Access stored in the test files.
//
// As Access does, only the first 255 characters count and trailing spaces
// (U+0020) are left out: "abc " and "abc" have one key.

#include <cstdint>
#include <string_view>

#include "engines/jet/format/bytes.h"

namespace dorvane::jet {

// Appends the key bytes of a Jet 3 text value (code-page 1252 bytes) in the
// General sort order: the primary weights, then the accent marks.
void AppendGeneral97TextKey(ByteSpan text, bool ascending, Bytes& key);

// Appends the key bytes of a Jet 4 text value in the General sort order,
// version 0 ("General legacy"): the primary weights, then the secondary
// bytes, flags and the characters listed with their positions.
void AppendGeneralLegacyTextKey(std::u16string_view text, bool ascending, Bytes& key);

// The same in the General order of Access 2010 and later (version 1). A few
// characters (ligatures, CJK squares) weigh more than the tables hold: a text
// with one throws UnknownWeight.
void AppendGeneral2010TextKey(std::u16string_view text, bool ascending, Bytes& key);

struct UnknownWeight {
    char16_t unit;
};

}  // namespace dorvane::jet
