#include "engines/jet/format/table_def_writer.h"

#include <algorithm>

#include "engines/jet/format/text.h"
#include "engines/jet/format/text_encode.h"

namespace dorvane::jet {

namespace {

constexpr std::uint32_t kJet4Marker = 0x0659;       // header, column blocks, logical entries
constexpr std::uint32_t kJet4IndexMarker = 0x0783;  // physical index definitions
constexpr std::uint16_t kNoColumn = 0xFFFF;
constexpr std::uint8_t kNotCascading = 4;  // stored by non-foreign-key entries
constexpr std::size_t kIndexColumnSlots = 10;

class StreamWriter {
public:
    explicit StreamWriter(const Format& format, std::uint16_t code_page) : f_(format), code_page_(code_page) {}

    // A zeroed block of `length` bytes at the end; returns its offset.
    std::size_t Block(std::size_t length) {
        const std::size_t at = out_.size();
        out_.resize(at + length, 0);
        return at;
    }
    void U8(std::size_t at, std::uint8_t v) { out_.at(at) = v; }
    void U16(std::size_t at, std::uint16_t v) { PutLe16(out_, at, v); }
    void U32(std::size_t at, std::uint32_t v) { PutLe32(out_, at, v); }
    void Name(const std::string& name) {
        const Bytes bytes = f_.version == Version::kJet3 ? Utf8ToCodePage(name, code_page_) : Utf8ToUcs2(name);
        const std::size_t at = Block(f_.name_length_size);
        if (f_.name_length_size == 1)
            U8(at, static_cast<std::uint8_t>(bytes.size()));
        else
            U16(at, static_cast<std::uint16_t>(bytes.size()));
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }
    Bytes Take() { return std::move(out_); }
    std::size_t size() const { return out_.size(); }

private:
    const Format& f_;
    std::uint16_t code_page_;
    Bytes out_;
};

class DefinitionEncoder {
public:
    DefinitionEncoder(const Format& format, std::uint16_t code_page, TableDef& def)
        : f_(format), jet4_(format.version == Version::kJet4), def_(def), out_(format, code_page) {}

    Bytes Encode() {
        for (const std::string& name : [&] {
                 std::vector<std::string> names;
                 for (const Column& column : def_.columns) names.push_back(column.name);
                 for (const LogicalIndex& index : def_.logical_indexes) names.push_back(index.name);
                 return names;
             }()) {
            if (name.empty()) ThrowCorrupt("a column or index without a name cannot be written");
        }
        WriteHeader();
        for (PhysicalIndex& index : def_.physical_indexes) WriteStatistics(index);
        std::vector<Column*> stored;
        for (Column& column : def_.columns) stored.push_back(&column);
        std::stable_sort(stored.begin(), stored.end(),
                         [](const Column* a, const Column* b) { return a->block_offset < b->block_offset; });
        for (Column* column : stored) WriteColumn(*column);
        for (const Column* column : stored) out_.Name(column->name);
        for (PhysicalIndex& index : def_.physical_indexes) WritePhysicalIndex(index);
        for (LogicalIndex& index : def_.logical_indexes) WriteLogicalIndex(index);
        for (const LogicalIndex& index : def_.logical_indexes) out_.Name(index.name);
        for (LongValueMap& map : def_.long_value_maps) {
            const std::size_t at = out_.Block(10);
            map.record_offset = at;
            out_.U16(at, map.column_number);
            out_.U32(at + 2, map.owned_map);
            out_.U32(at + 6, map.free_map);
        }
        out_.U16(out_.Block(2), kNoColumn);
        out_.U32(f_.tdef_length, static_cast<std::uint32_t>(out_.size()));
        def_.end_offset = def_.definition_length = static_cast<std::uint32_t>(out_.size());
        return out_.Take();
    }

private:
    void WriteHeader() {
        out_.Block(f_.tdef_header_end);
        def_.num_rows_offset = f_.tdef_num_rows;
        def_.autonumber_offset = f_.tdef_autonumber;
        def_.owned_map_offset = f_.tdef_owned_map;
        def_.free_map_offset = f_.tdef_free_map;
        if (jet4_) {
            out_.U32(12, kJet4Marker);
            out_.U8(24, 0x01);
        }
        out_.U32(f_.tdef_num_rows, def_.num_rows);
        out_.U32(f_.tdef_autonumber, def_.autonumber);
        out_.U8(f_.tdef_table_type, def_.table_type);
        out_.U16(f_.tdef_max_cols, def_.max_cols);
        out_.U16(f_.tdef_num_var_cols, def_.num_var_cols);
        out_.U16(f_.tdef_num_cols, static_cast<std::uint16_t>(def_.columns.size()));
        out_.U32(f_.tdef_num_idx, static_cast<std::uint32_t>(def_.logical_indexes.size()));
        out_.U32(f_.tdef_num_real_idx, static_cast<std::uint32_t>(def_.physical_indexes.size()));
        out_.U32(f_.tdef_owned_map, def_.owned_map);
        out_.U32(f_.tdef_free_map, def_.free_map);
    }

    void WriteStatistics(PhysicalIndex& index) {
        const std::size_t at = out_.Block(f_.index_stats_size);
        index.stats_offset = at;
        out_.U32(at, index.stats_entries);
        out_.U32(at + 4, index.stats_distinct);
    }

    void WriteColumn(Column& column) {
        const std::size_t at = out_.Block(f_.column_block_size);
        column.block_offset = at;
        out_.U8(at + f_.col_type, column.type);
        out_.U16(at + f_.col_number, column.number);
        out_.U16(at + f_.col_var_index, column.var_index);
        out_.U8(at + f_.col_flags, column.flags);
        out_.U16(at + f_.col_fixed_offset, column.fixed_offset);
        out_.U16(at + f_.col_length, column.length);
        out_.U16(at + f_.col_number_copy, column.number);
        if (jet4_) {
            out_.U32(at + f_.col_marker, kJet4Marker);
            out_.U8(at + f_.col_precision, column.precision);
            out_.U8(at + f_.col_scale, column.scale);
            out_.U8(at + f_.col_ext_flags, column.ext_flags);
        } else {
            out_.U16(at + f_.col_sort_order, kGeneralSortOrder);
            out_.U16(at + f_.col_code_page, kCodePage1252);
        }
    }

    void WritePhysicalIndex(PhysicalIndex& index) {
        if (index.columns.size() > kIndexColumnSlots) ThrowCorrupt("an index has more than ten columns");
        const std::size_t at = out_.Block(f_.physical_index_size);
        index.definition_offset = at;
        index.map_pointer_offset = at + f_.pidx_map;
        index.root_page_offset = at + f_.pidx_root;
        if (jet4_) out_.U32(at, kJet4IndexMarker);
        for (std::size_t i = 0; i < kIndexColumnSlots; ++i) {
            const std::size_t slot = at + f_.pidx_columns + 3 * i;
            const bool used = i < index.columns.size();
            out_.U16(slot, used ? index.columns[i].column_number : kNoColumn);
            out_.U8(slot + 2, used && index.columns[i].ascending ? 1 : 0);
        }
        out_.U32(at + f_.pidx_map, index.map_pointer);
        out_.U32(at + f_.pidx_root, index.root_page);
        out_.U8(at + f_.pidx_flags, index.flags);
    }

    void WriteLogicalIndex(LogicalIndex& index) {
        const std::size_t at = out_.Block(f_.logical_index_size);
        index.entry_offset = at;
        if (jet4_) out_.U32(at, kJet4Marker);
        out_.U32(at + f_.lidx_number, index.number);
        out_.U32(at + f_.lidx_physical, index.physical_index);
        out_.U32(at + f_.lidx_related_page - 4, 0xFFFFFFFF);  // the related logical index: none
        out_.U32(at + f_.lidx_related_page, index.related_table_page);
        out_.U8(at + f_.lidx_type - 2, kNotCascading);
        out_.U8(at + f_.lidx_type - 1, kNotCascading);
        out_.U8(at + f_.lidx_type, index.type);
    }

    const Format& f_;
    bool jet4_;
    TableDef& def_;  // its offsets are set to where the parts are written
    StreamWriter out_;
};

}  // namespace

Bytes EncodeTableDef(const Format& format, std::uint16_t code_page, const TableDef& def) {
    TableDef copy = def;
    return DefinitionEncoder(format, code_page, copy).Encode();
}

void PlaceTableDef(const Format& format, std::uint16_t code_page, TableDef& def) {
    def.stream = DefinitionEncoder(format, code_page, def).Encode();
}

std::size_t TableDefPageCount(const Format& format, std::size_t stream_length) {
    if (stream_length <= format.page_size) return 1;
    const std::size_t perPage = format.page_size - kTableDefPageHeader;
    return 1 + (stream_length - format.page_size + perPage - 1) / perPage;
}

std::vector<Bytes> TableDefPages(const Format& format, ByteSpan stream, const std::vector<std::uint32_t>& pages) {
    if (pages.size() != TableDefPageCount(format, stream.size())) {
        ThrowCorrupt("a table definition was given the wrong number of pages");
    }
    std::vector<Bytes> out;
    std::size_t from = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        Bytes page(format.page_size, 0);
        const std::size_t start = i == 0 ? 0 : kTableDefPageHeader;
        const std::size_t take = std::min(stream.size() - from, format.page_size - start);
        std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(from), take,
                    page.begin() + static_cast<std::ptrdiff_t>(start));
        from += take;
        page[0] = kPageTableDef;
        page[1] = 0x01;
        if (format.version == Version::kJet3) {
            page[2] = 'V';
            page[3] = 'C';
        } else if (pages.size() == 1 || i + 1 == pages.size()) {
            // Unused room on the page, less the 8-byte header it keeps in reserve.
            PutLe16(page, 2, static_cast<std::uint16_t>(format.page_size - (start + take) - kTableDefPageHeader));
        }
        PutLe32(page, kTableDefNextPage, i + 1 < pages.size() ? pages[i + 1] : 0);
        out.push_back(std::move(page));
    }
    return out;
}

}  // namespace dorvane::jet
