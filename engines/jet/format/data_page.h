#pragma once
// Data pages: the slot table at the top, rows stacked down from the end of the
// page. Table rows, long-value segments and usage-map records all live on
// such pages; a row pointer names one slot.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/format.h"

namespace dorvane::jet {

class PageFile;

// (page << 8) | row, as stored little-endian in the file.
struct RowPointer {
    std::uint32_t page = 0;
    std::uint8_t row = 0;

    static RowPointer FromU32(std::uint32_t value) { return {value >> 8, static_cast<std::uint8_t>(value & 0xFF)}; }
    std::uint32_t ToU32() const { return (page << 8) | row; }
    std::string ToString() const;  // "page 27 row 3"
    friend bool operator==(const RowPointer&, const RowPointer&) = default;
    friend auto operator<=>(const RowPointer&, const RowPointer&) = default;
};

enum class SlotKind {
    kLive,             // a row
    kDeleted,          // kRowDeleted
    kOverflowPointer,  // kRowOverflowPointer: starts with the row pointer of the relocated body
    kOverflowTarget,   // kRowOverflowTarget: a relocated body, reached only through its pointer
};

struct Slot {
    std::uint16_t word = 0;   // the raw offset word
    std::uint32_t start = 0;  // offset in the page
    std::uint32_t end = 0;    // one past the last byte
    SlotKind kind = SlotKind::kLive;
    std::uint32_t length() const { return end - start; }
};

// A parsed data page. Every slot's offset is validated, deleted ones too.
class DataPage {
public:
    // Throws kCorrupt when the page is not a data page or its slot table is bad.
    static DataPage Parse(const Format& format, std::uint32_t number, Bytes bytes);
    // For repair: a slot whose offset is out of line (or that is empty but not
    // deleted) is not trusted, and neither is the slot after it, whose end is
    // that offset. Both are kept as empty deleted slots and their numbers
    // added to `unreadable`. Still throws when the page is not a data page or
    // its slot table does not fit.
    static DataPage ParseSalvaging(const Format& format, std::uint32_t number, Bytes bytes,
                                   std::vector<std::size_t>& unreadable);

    std::uint32_t number() const { return number_; }
    std::uint32_t owner() const;  // tdef page, "LVAL", 0 or 1
    std::uint16_t stored_free_space() const;
    // PG - header - 2n - sum of slot lengths.
    std::uint32_t ComputedFreeSpace() const;
    const std::vector<Slot>& slots() const { return slots_; }
    ByteSpan SlotBytes(std::size_t index) const;
    const Bytes& bytes() const { return bytes_; }
    // The page's buffer, for reading the next page into.
    Bytes ReleaseBytes() && { return std::move(bytes_); }

private:
    static DataPage ParseChecked(const Format& format, std::uint32_t number, Bytes bytes,
                                 std::vector<std::size_t>* unreadable);
    const Format* format_ = nullptr;
    std::uint32_t number_ = 0;
    Bytes bytes_;
    std::vector<Slot> slots_;
};

inline constexpr std::uint32_t kLongValueOwner = 0x4C41564C;  // "LVAL" read little-endian

// The bytes of one slot and its kind, exactly as stored. Throws kCorrupt when
// the page or slot does not exist.
struct StoredRow {
    Bytes bytes;
    SlotKind kind = SlotKind::kLive;
    std::uint32_t owner = 0;  // of the page it lies on
};
StoredRow ReadStoredRow(const PageFile& file, RowPointer pointer);

// The body of the row whose header slot is `slot` of `page`, following
// overflow pointers (a bounded number of hops). Throws kCorrupt for a deleted
// slot, an overflow target addressed directly, or a broken chain: one that
// ends anywhere but at a slot flagged as an overflow body on a page of the
// same owner (a live row there would be read twice, another table's row taken
// in).
Bytes ResolveRowBody(const PageFile& file, const DataPage& page, std::size_t slot);

}  // namespace dorvane::jet
