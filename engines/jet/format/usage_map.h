#pragma once
// Usage maps: the sets of pages a table, index or long-value column owns, and
// the database-wide free-page map on page 1. A map is a record on a data page:
// inline (type 0: start page + bitmap) or reference (type 1: bitmap pages of
// type 0x05).

#include <cstdint>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/format.h"

namespace dorvane::jet {

class PageFile;

inline constexpr std::uint8_t kUsageMapInline = 0x00;     // u8 type, u32 start page, bitmap
inline constexpr std::uint8_t kUsageMapReference = 0x01;  // u8 type, u32 bitmap page per slot
inline constexpr std::size_t kUsageMapInlineHeader = 5;
inline constexpr std::size_t kUsageMapStartPage = 1;  // inline: the u32 after the type
// Where reference slot `slot` (a u32 page number) lies in its record.
constexpr std::size_t ReferenceSlotOffset(std::size_t slot) { return 1 + 4 * slot; }
// The database-wide map of free pages is row 0 of page 1.
inline constexpr std::uint32_t kGlobalMapPage = 1;
// A bitmap page (type 0x05): a 4-byte header, then one bit per page.
inline constexpr std::size_t kUsageBitmapPageHeader = 4;

// Pages one bitmap page covers: reference slot j covers the pages from
// j times this on.
inline std::uint32_t PagesPerBitmapPage(const Format& format) {
    return static_cast<std::uint32_t>((format.page_size - kUsageBitmapPageHeader) * 8);
}

struct UsageMap {
    std::uint8_t type = kUsageMapInline;
    std::uint32_t start_page = 0;  // inline maps
    // Pages in the set, ascending. Inline maps list them as recorded (they can
    // name pages past the end of the file); reference maps only within it.
    std::vector<std::uint32_t> pages;
};

// Decodes a map record. Reference bitmap pages are read from `file`.
UsageMap DecodeUsageMap(const PageFile& file, ByteSpan record);
// Reads the record a row pointer names and decodes it.
UsageMap ReadUsageMap(const PageFile& file, RowPointer record);

// Page 1, row 0: the set of free pages.
UsageMap ReadGlobalFreeMap(const PageFile& file);

}  // namespace dorvane::jet
