#pragma once
// Usage maps: the sets of pages a table, index or long-value column owns, and
// the database-wide free-page map on page 1. A map is a record on a data page:
// inline (type 0: start page + bitmap) or reference (type 1: bitmap pages of
// type 0x05).

#include <cstdint>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"

namespace dorvane::jet {

class PageFile;

inline constexpr std::uint8_t kUsageMapInline = 0x00;
inline constexpr std::uint8_t kUsageMapReference = 0x01;

struct UsageMap {
    std::uint8_t type = kUsageMapInline;
    std::uint32_t start_page = 0;                 // inline maps
    std::vector<std::uint32_t> bitmap_pages;      // reference maps: slot j's page (0 = none)
    std::size_t record_length = 0;
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
