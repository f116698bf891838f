#pragma once
// The deflate decoder (RFC 1950/1951) for attachments, which Access stores
// compressed inside a zlib stream. Only decoding is needed.

#include "engines/jet/format/bytes.h"

namespace dorvane::jet {

// The bytes of a zlib stream, at most `limit` of them; a malformed stream or
// one longer than `limit` throws kCorrupt.
Bytes InflateZlib(ByteSpan stream, std::size_t limit);

}  // namespace dorvane::jet
