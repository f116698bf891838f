#pragma once
// Table definitions: the fixed header, columns, physical and logical indexes
// and long-value column maps, read from the (possibly multi-page) definition
// stream. Alongside each field that refers to a page or counts rows, the
// offset of that field in the logical stream is kept, so that a writer can
// patch the stream and put it back into the same pages (see StreamLocation).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/format.h"

namespace dorvane::jet {

class PageFile;

// Every page of a definition starts with type, 0x01, a u16, and the u32
// number of the next page of the chain (0 on the last).
inline constexpr std::size_t kTableDefNextPage = 4;
inline constexpr std::size_t kTableDefPageHeader = 8;

inline constexpr std::uint8_t kColumnFixed = 0x01;       // column flag: fixed length
inline constexpr std::uint8_t kColumnCompressed = 0x01;  // J4 extended flag: compressed text allowed
inline constexpr std::uint8_t kColumnAutoNumber = 0x04;  // column flag: Long AutoNumber
inline constexpr std::uint8_t kColumnCalculated = 0xC0;  // ACE extended flags: a calculated column
inline constexpr std::uint8_t kIndexUnique = 0x01;       // physical index flags
inline constexpr std::uint8_t kIndexIgnoresNulls = 0x02;
inline constexpr std::uint8_t kIndexPrimaryKey = 1;  // logical index types
inline constexpr std::uint8_t kIndexForeignKey = 2;
inline constexpr std::uint8_t kUserTable = 0x4E;  // table types
inline constexpr std::uint8_t kSystemTable = 0x53;

struct Column {
    std::uint8_t type = 0;
    std::uint16_t number = 0;     // null-mask bit; the number indexes and LV maps use
    std::uint16_t var_index = 0;  // slot among the variable columns
    std::uint8_t flags = 0;
    std::uint8_t ext_flags = 0;  // J4 only
    std::uint16_t fixed_offset = 0;
    std::uint16_t length = 0;
    std::uint8_t precision = 0;    // J4 decimal
    std::uint8_t scale = 0;        // J4 decimal
    std::uint8_t result_type = 0;  // a calculated column's result, when its properties were read
    std::uint32_t complex_id = 0;  // a complex column's MSysComplexColumns.ComplexID
    std::string name;              // UTF-8
    std::size_t block_offset = 0;  // offset of the column block in the stream

    bool IsFixed() const { return (flags & kColumnFixed) != 0; }
    bool IsBoolean() const { return type == coltype::kBoolean; }
    // A calculated column's stored value is wrapped (calculated_value.h); a
    // calculated text column without a length keeps it as a long value.
    bool IsCalculated() const { return (ext_flags & kColumnCalculated) == kColumnCalculated; }
    bool IsLongValue() const {
        return type == coltype::kOle || type == coltype::kMemo ||
               (IsCalculated() && type == coltype::kText && length == 0);
    }
    bool IsAutoNumber() const { return type == coltype::kLong && (flags & kColumnAutoNumber) != 0; }
};

struct IndexColumn {
    std::uint16_t column_number = 0;
    bool ascending = true;
};

struct PhysicalIndex {
    std::vector<IndexColumn> columns;
    std::uint32_t map_pointer = 0;  // row pointer of the index's usage map
    std::uint32_t root_page = 0;
    std::uint8_t flags = 0;  // kIndexUnique, kIndexIgnoresNulls, 0x08 required
    // Offsets in the stream.
    std::size_t definition_offset = 0;
    std::size_t map_pointer_offset = 0;
    std::size_t root_page_offset = 0;
    std::size_t stats_offset = 0;      // its statistics block: u32 A, u32 B (J4: + u32 0)
    std::uint32_t stats_entries = 0;   // A as stored
    std::uint32_t stats_distinct = 0;  // B as stored
};

struct LogicalIndex {
    std::uint32_t number = 0;
    std::uint32_t physical_index = 0;
    std::uint8_t type = 0;  // 0 normal, kIndexPrimaryKey, kIndexForeignKey
    std::uint32_t related_table_page = 0;
    std::string name;
    std::size_t entry_offset = 0;
};

struct LongValueMap {
    std::uint16_t column_number = 0;
    std::uint32_t owned_map = 0;    // row pointer
    std::uint32_t free_map = 0;     // row pointer, 0 = none
    std::size_t record_offset = 0;  // u16 column at +0, owned at +2, free at +6
    std::size_t owned_map_offset() const { return record_offset + 2; }
    std::size_t free_map_offset() const { return record_offset + 6; }
};

struct TableDef {
    std::uint32_t page = 0;            // first tdef page (the table's id)
    std::vector<std::uint32_t> pages;  // the chain, first page included
    Bytes stream;                      // first page whole, then bytes 8.. of each continuation

    std::uint32_t definition_length = 0;  // tdef_len as stored
    std::uint32_t num_rows = 0;           // cached; may be stale
    std::uint32_t autonumber = 0;
    // ACE: the last key handed to a complex column's row (0 where there is none).
    std::uint32_t complex_autonumber = 0;
    std::uint8_t table_type = 0;  // kUserTable, kSystemTable
    std::uint16_t max_cols = 0;
    std::uint16_t num_var_cols = 0;
    std::uint32_t owned_map = 0;  // row pointer
    std::uint32_t free_map = 0;   // row pointer

    std::vector<Column> columns;  // by column number (block_offset gives the stored place)
    std::vector<PhysicalIndex> physical_indexes;
    std::vector<LogicalIndex> logical_indexes;
    std::vector<LongValueMap> long_value_maps;  // in stored order
    std::size_t end_offset = 0;                 // just past the 0xFFFF terminator

    // Offsets of patchable header fields in the stream.
    std::size_t num_rows_offset = 0;
    std::size_t autonumber_offset = 0;
    std::size_t complex_autonumber_offset = 0;  // 0: not an ACE file
    std::size_t owned_map_offset = 0;
    std::size_t free_map_offset = 0;

    const Column* ColumnByNumber(std::uint16_t number) const;
    // Case-insensitive (ASCII) name lookup: the column's place in `columns`.
    std::optional<std::size_t> ColumnIndex(std::string_view name) const;
};

// Reads and parses the definition starting at `page`. Throws kCorrupt with
// the page number for anything malformed, a broken or circular chain included.
TableDef ReadTableDef(const PageFile& file, std::uint32_t page);

// Where a stream offset lives on disk: the chain page and the offset in it.
struct StreamLocation {
    std::uint32_t page = 0;
    std::size_t offset = 0;
};
StreamLocation LocateInStream(const TableDef& def, const Format& format, std::size_t stream_offset);

// Text of a name stored in a table definition (J3: code page bytes; J4: UCS-2).
std::string DecodeName(const Format& format, std::uint16_t code_page, ByteSpan bytes);

bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace dorvane::jet
