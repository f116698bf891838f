#pragma once
// Layout constants of the two supported file versions. Every offset and limit
// that differs between Jet 3 (2 KiB pages) and Jet 4 (4 KiB pages) lives
// here, so that the readers and the compactor's writers are written once.

#include <array>
#include <cstddef>
#include <cstdint>

namespace dorvane::jet {

enum class Version { kJet3, kJet4 };

struct Format {
    Version version;
    std::uint32_t page_size;

    // Page 0 (after unmasking).
    std::size_t header_mask_offset;     // 0x18
    std::size_t header_mask_length;     // 126 / 128
    std::size_t header_code_page;       // 0x3C
    std::size_t header_encryption_key;  // 0x3E

    // Data and index pages.
    std::size_t page_free_space;  // u16 at 2
    std::size_t page_owner;       // u32 at 4: a table's definition page, "LVAL", 0 or 1
    // Data pages (also long-value and usage-map record pages).
    std::size_t data_row_count;    // u16 slot count
    std::size_t data_row_offsets;  // first u16 offset word

    // Table definition, offsets in the logical stream.
    std::size_t tdef_length;
    std::size_t tdef_num_rows;
    std::size_t tdef_autonumber;
    std::size_t tdef_table_type;
    std::size_t tdef_max_cols;
    std::size_t tdef_num_var_cols;
    std::size_t tdef_num_cols;
    std::size_t tdef_num_idx;
    std::size_t tdef_num_real_idx;
    std::size_t tdef_owned_map;
    std::size_t tdef_free_map;
    std::size_t tdef_header_end;
    std::size_t index_stats_size;  // per physical index
    std::size_t column_block_size;
    std::size_t physical_index_size;
    std::size_t logical_index_size;
    std::size_t name_length_size;  // 1 (code page bytes) / 2 (UCS-2 byte count)

    // Column block.
    std::size_t col_type;
    std::size_t col_number;
    std::size_t col_var_index;
    std::size_t col_flags;
    std::size_t col_fixed_offset;
    std::size_t col_length;
    std::size_t col_number_copy;  // the number again
    std::size_t col_sort_order;   // text: u16 sort order (0x0409 is General)
    // Offsets one version has and the other does not, 0 in the other.
    std::size_t col_code_page;     // J3 text: u16 code page
    std::size_t col_sort_version;  // J4 text: u8 version of the sort order
    std::size_t col_precision;     // J4 decimal: u8, where text keeps its sort order
    std::size_t col_scale;         // J4 decimal: u8
    std::size_t col_ext_flags;     // J4: u8 more flags (kColumnCompressed)
    std::size_t col_marker;        // J4: u32 0x0659

    // Physical index definition.
    std::size_t pidx_columns;  // ten (u16 column, u8 order) triples
    std::size_t pidx_map;
    std::size_t pidx_root;
    std::size_t pidx_flags;

    // Logical index entry.
    std::size_t lidx_number;
    std::size_t lidx_physical;
    std::size_t lidx_related_page;
    std::size_t lidx_type;

    // Rows.
    std::size_t row_count_size;  // 1 / 2: column count and variable offsets width

    // Long values: the largest chain segment row the compactor writes (link included).
    std::size_t lv_segment_row;  // 2036 / 4076

    // Index pages.
    std::size_t idx_prev;
    std::size_t idx_next;
    std::size_t idx_tail;
    std::size_t idx_prefix;
    std::size_t idx_prefix_size;  // 1 / 2
    std::size_t idx_node_flag;    // u8: 1 on node pages, 0 on leaves
    std::size_t idx_mask;
    std::size_t idx_entries;

    // Usage maps: the record length the compactor writes.
    std::size_t usage_map_record;  // 133 / 69

    // Room for rows and their offset words on a data page.
    std::size_t DataRowRoom() const { return page_size - data_row_offsets; }
    // Room for entries on an index page.
    std::size_t IndexEntryRoom() const { return page_size - idx_entries; }
};

const Format& FormatFor(Version version);

inline constexpr std::uint8_t kPageHeader = 0x00;
inline constexpr std::uint8_t kPageData = 0x01;
inline constexpr std::uint8_t kPageTableDef = 0x02;
inline constexpr std::uint8_t kPageIndexNode = 0x03;
inline constexpr std::uint8_t kPageIndexLeaf = 0x04;
inline constexpr std::uint8_t kPageUsageBitmap = 0x05;

// Column data types.
namespace coltype {
inline constexpr std::uint8_t kBoolean = 0x01;
inline constexpr std::uint8_t kByte = 0x02;
inline constexpr std::uint8_t kInteger = 0x03;
inline constexpr std::uint8_t kLong = 0x04;
inline constexpr std::uint8_t kCurrency = 0x05;
inline constexpr std::uint8_t kSingle = 0x06;
inline constexpr std::uint8_t kDouble = 0x07;
inline constexpr std::uint8_t kDateTime = 0x08;
inline constexpr std::uint8_t kBinary = 0x09;
inline constexpr std::uint8_t kText = 0x0A;
inline constexpr std::uint8_t kOle = 0x0B;
inline constexpr std::uint8_t kMemo = 0x0C;
inline constexpr std::uint8_t kGuid = 0x0F;
inline constexpr std::uint8_t kDecimal = 0x10;
inline constexpr std::uint8_t kFixedBinary = 0x11;
// ACE (Access 2007 and later) only.
inline constexpr std::uint8_t kComplex = 0x12;       // the row's key into the column's flat table
inline constexpr std::uint8_t kBigInt = 0x13;        // Large Number, signed 64 bits
inline constexpr std::uint8_t kExtendedDate = 0x14;  // date and time to 100 ns, as ASCII
}  // namespace coltype

// The stored size of a fixed-size type's value; 0 for text, binary and
// memo/OLE, whose column or value gives it.
inline std::size_t FixedValueSize(std::uint8_t type) {
    switch (type) {
        case coltype::kByte:
            return 1;
        case coltype::kInteger:
            return 2;
        case coltype::kLong:
        case coltype::kSingle:
        case coltype::kComplex:
            return 4;
        case coltype::kCurrency:
        case coltype::kDouble:
        case coltype::kDateTime:
        case coltype::kBigInt:
            return 8;
        case coltype::kGuid:
            return 16;
        case coltype::kDecimal:
            return 17;
        case coltype::kExtendedDate:
            return 42;
        default:
            return 0;
    }
}

// The "General" sort order, the one whose keys this engine computes.
inline constexpr std::uint16_t kGeneralSortOrder = 0x0409;

// Page 0: the signature at 4 ("Standard Jet DB" or, for Access 2007 and
// later, "Standard ACE DB", then NUL), the version byte at 0x14, and the
// bytes from 0x18 masked with an RC4 stream of this key.
inline constexpr std::size_t kSignatureOffset = 4;
inline constexpr char kJetSignature[] = "Standard Jet DB";
inline constexpr char kAceSignature[] = "Standard ACE DB";
inline constexpr std::size_t kVersionOffset = 0x14;
// The version byte: Jet 3, Jet 4, and the ACE files of Access 2007 (also 2016
// files without a Large Number column), 2010/2013, 2016 and 2019. ACE keeps
// Jet 4's layout.
inline constexpr std::uint8_t kVersionJet3 = 0x00;
inline constexpr std::uint8_t kVersionJet4 = 0x01;
inline constexpr std::uint8_t kVersionAce2007 = 0x02;
inline constexpr std::uint8_t kVersionAce2010 = 0x03;
inline constexpr std::uint8_t kVersionAce2016 = 0x05;
inline constexpr std::uint8_t kVersionAce2019 = 0x06;
// ACE: where a table definition keeps its complex-column counter.
inline constexpr std::size_t kTableDefComplexAutoNumber = 28;
inline constexpr std::array<std::uint8_t, 4> kHeaderMaskKey{0xC7, 0xDA, 0x39, 0x6B};

// The length a column of a fixed-size type records, as Access writes it: a
// Yes/No column says 1, though its value lives in the null mask and takes no
// bytes of the row.
inline std::uint16_t FixedColumnLength(std::uint8_t type) {
    return type == coltype::kBoolean ? 1 : static_cast<std::uint16_t>(FixedValueSize(type));
}

// Flag bits of a row offset word on a data page.
inline constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
inline constexpr std::uint16_t kRowOverflowTarget = 0x8000;   // alone: relocated body
inline constexpr std::uint16_t kRowOverflowPointer = 0x4000;  // alone: points to the body
inline constexpr std::uint16_t kRowDeleted = 0xC000;          // both bits

inline constexpr std::size_t kMaxRowsPerPage = 255;

}  // namespace dorvane::jet
