#pragma once
// Long values (memo, OLE): a 12-byte field in the row that holds the data
// inline, or points to one LVAL row, or to a chain of LVAL rows each starting
// with the pointer to the next.

#include <cstdint>
#include <optional>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"

namespace dorvane::jet {

class PageFile;

enum class LongValueKind { kInline, kSingle, kChain };

// The field: u32 length with the kind in its top two bits, the row pointer of
// the first LVAL row, four more bytes; inline data follows.
inline constexpr std::size_t kLongValueFieldHeader = 12;
inline constexpr std::size_t kLongValueFieldPointer = 4;
inline constexpr std::size_t kLongValueFieldExtra = 8;
inline constexpr std::uint32_t kLongValueLengthMask = 0x3FFFFFFF;
// Each row of a chain starts with the row pointer of the next (0 on the last).
inline constexpr std::size_t kLongValueSegmentLink = 4;

struct LongValueField {
    LongValueKind kind = LongValueKind::kInline;
    std::uint32_t length = 0;  // bytes of data
    RowPointer first;          // kSingle / kChain
    std::uint32_t extra = 0;   // bytes 8..11, kept as stored
};

// The field's first word: the length with the kind in its top two bits.
std::uint32_t LongValueFieldHead(LongValueKind kind, std::uint32_t length);

// Throws kCorrupt for a field shorter than 12 bytes, an unknown kind or an
// inline length that does not match the field.
LongValueField ParseLongValueField(ByteSpan field);

// Reads values through the last data page it read, kept parsed: the segments
// of a chain, and the values of neighbouring rows, mostly share a page. Not
// for a file that others may change while the reader is kept.
class LongValueReader {
public:
    explicit LongValueReader(const PageFile& file) : file_(file) {}
    // As ReadLongValue; the bytes stay valid until the next call.
    ByteSpan Read(ByteSpan field);
    // As LongValueRows; valid until the next call.
    const std::vector<RowPointer>& Rows(ByteSpan field);
    // Both of one walk: the bytes, and then its rows from listed_rows().
    ByteSpan ReadListingRows(ByteSpan field);
    const std::vector<RowPointer>& listed_rows() const { return rows_; }

private:
    struct Slot {
        ByteSpan bytes;
        SlotKind kind;
    };
    Slot SlotAt(RowPointer at);
    void Walk(ByteSpan field, bool wantData, bool wantRows);

    const PageFile& file_;
    std::optional<DataPage> page_;
    Bytes data_;
    std::vector<RowPointer> rows_;
};

// The value's bytes. Chains are walked with a visited set and a step limit;
// the result never exceeds the declared length, which itself cannot exceed
// the file. Throws kCorrupt for any inconsistency.
Bytes ReadLongValue(const PageFile& file, ByteSpan field);

// The LVAL rows a non-inline value occupies, in chain order (empty for
// inline values). Validates like ReadLongValue.
std::vector<RowPointer> LongValueRows(const PageFile& file, ByteSpan field);

}  // namespace dorvane::jet
