#pragma once
// Character weights of the "General" sort order, the bytes a character
// contributes to a text index key. Jet 3 files weigh code-page 1252 bytes,
// Jet 4 files UTF-16 code units; the two orders differ in every byte.
//
// Every weight here was read off the index entries that Access itself stored
// in real files, against the text of the rows they point at. A character that
// no stored entry shows has no weight: its key cannot be built without
// guessing, and a guessed key makes an index that Access reads wrongly.

#include <cstdint>
#include <string_view>

#include "engines/jet/format/bytes.h"

namespace dorvane::jet {

// Appends the key bytes of a Jet 3 text value (code-page 1252 bytes) in the
// General sort order (0x0409): the weights, then the accent marks. Throws
// kNotAvailable naming a byte without a known weight, or for a character
// other than A, '-', the no-break space and 0x83 before an accented letter
// (where such a character stands among the accent marks is not known).
void AppendGeneral97TextKey(ByteSpan text, bool ascending, Bytes& key);

// Appends the key bytes of a Jet 4 text value in the General sort order
// (0x0409, version 0): the weights, then the unprintable characters with
// their positions. Only space, digits, the letters a-y of either case, '_',
// '-' and U+0003 are known; anything else throws kNotAvailable naming it.
void AppendGeneralLegacyTextKey(std::u16string_view text, bool ascending, Bytes& key);

}  // namespace dorvane::jet
