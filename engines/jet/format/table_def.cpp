#include "engines/jet/format/table_def.h"

#include <algorithm>
#include <set>

#include "engines/jet/format/page_file.h"
#include "engines/jet/format/text.h"

namespace dorvane::jet {

namespace {

// Far beyond any real definition (255 columns and 32 indexes fit in 16 J4 pages).
constexpr std::size_t kMaxDefinitionPages = 128;
constexpr std::size_t kIndexColumnSlots = 10;
constexpr std::uint16_t kNoColumn = 0xFFFF;

std::string Where(std::uint32_t page) { return "the table definition on page " + std::to_string(page); }

// Bounds checks that name the definition instead of a generic record.
class StreamReader {
public:
    StreamReader(const Bytes& stream, std::uint32_t page) : stream_(stream), page_(page) {}
    void Need(std::size_t offset, std::size_t length) const {
        if (offset > stream_.size() || length > stream_.size() - offset) {
            ThrowCorrupt(Where(page_) + " is truncated");
        }
    }
    std::uint8_t U8At(std::size_t o) const { Need(o, 1); return stream_[o]; }
    std::uint16_t U16At(std::size_t o) const { Need(o, 2); return Le16(stream_, o); }
    std::uint32_t U32At(std::size_t o) const { Need(o, 4); return Le32(stream_, o); }
    ByteSpan Span(std::size_t o, std::size_t n) const { Need(o, n); return ByteSpan(stream_).subspan(o, n); }

private:
    const Bytes& stream_;
    std::uint32_t page_;
};

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string DecodeName(const Format& format, std::uint16_t code_page, ByteSpan bytes) {
    return format.version == Version::kJet3 ? CodePageToUtf8(bytes, code_page) : Ucs2ToUtf8(bytes);
}

const Column* TableDef::FindColumn(std::string_view name) const {
    for (const Column& column : columns) {
        if (EqualsIgnoreCase(column.name, name)) return &column;
    }
    return nullptr;
}

const Column* TableDef::ColumnByNumber(std::uint16_t number) const {
    for (const Column& column : columns) {
        if (column.number == number) return &column;
    }
    return nullptr;
}

TableDef ReadTableDef(const PageFile& file, std::uint32_t page) {
    const Format& f = file.format();
    TableDef def;
    def.page = page;

    // Gather the logical stream: first page whole, continuations from byte 8.
    std::set<std::uint32_t> seen;
    Bytes buffer;
    std::uint32_t next = page;
    while (next != 0) {
        if (!seen.insert(next).second) ThrowCorrupt(Where(page) + " continues in a circle");
        if (seen.size() > kMaxDefinitionPages) ThrowCorrupt(Where(page) + " is impossibly long");
        file.ReadPage(next, buffer);
        if (buffer[0] != kPageTableDef) {
            ThrowCorrupt("page " + std::to_string(next) + " should be a table definition but has type " +
                         std::to_string(buffer[0]));
        }
        if (def.pages.empty()) {
            def.stream = buffer;
        } else {
            def.stream.insert(def.stream.end(), buffer.begin() + 8, buffer.end());
        }
        def.pages.push_back(next);
        next = Le32(buffer, 4);
    }

    const StreamReader in(def.stream, page);
    in.Need(0, f.tdef_header_end);
    def.definition_length = in.U32At(f.tdef_length);
    def.num_rows_offset = f.tdef_num_rows;
    def.num_rows = in.U32At(f.tdef_num_rows);
    def.autonumber_offset = f.tdef_autonumber;
    def.autonumber = in.U32At(f.tdef_autonumber);
    def.table_type = in.U8At(f.tdef_table_type);
    def.max_cols = in.U16At(f.tdef_max_cols);
    def.num_var_cols = in.U16At(f.tdef_num_var_cols);
    const std::size_t numCols = in.U16At(f.tdef_num_cols);
    const std::size_t numIdx = in.U32At(f.tdef_num_idx);
    const std::size_t numRealIdx = in.U32At(f.tdef_num_real_idx);
    def.owned_map_offset = f.tdef_owned_map;
    def.owned_map = in.U32At(f.tdef_owned_map);
    def.free_map_offset = f.tdef_free_map;
    def.free_map = in.U32At(f.tdef_free_map);

    // Counts are checked against the stream before anything is reserved.
    std::size_t pos = f.tdef_header_end;
    const std::size_t room = def.stream.size();
    if (numRealIdx > room / f.index_stats_size || numCols > room / f.column_block_size ||
        numIdx > room / f.logical_index_size) {
        ThrowCorrupt(Where(page) + " has impossible column or index counts");
    }

    def.physical_indexes.resize(numRealIdx);
    for (PhysicalIndex& index : def.physical_indexes) {
        in.Need(pos, f.index_stats_size);
        index.stats_offset = pos;
        index.stats_entries = in.U32At(pos);
        index.stats_distinct = in.U32At(pos + 4);
        pos += f.index_stats_size;
    }

    def.columns.resize(numCols);
    for (Column& column : def.columns) {
        const ByteSpan block = in.Span(pos, f.column_block_size);
        column.block_offset = pos;
        column.type = block[f.col_type];
        column.number = Le16(block, f.col_number);
        column.var_index = Le16(block, f.col_var_index);
        column.flags = block[f.col_flags];
        if (f.version == Version::kJet4) {
            column.ext_flags = block[16];
            column.precision = block[11];
            column.scale = block[12];
        }
        column.fixed_offset = Le16(block, f.col_fixed_offset);
        column.length = Le16(block, f.col_length);
        pos += f.column_block_size;
    }
    const auto readName = [&]() {
        const std::size_t length = f.name_length_size == 1 ? in.U8At(pos) : in.U16At(pos);
        pos += f.name_length_size;
        std::string name = DecodeName(f, file.code_page(), in.Span(pos, length));
        pos += length;
        return name;
    };
    for (Column& column : def.columns) column.name = readName();
    // Shown and selected in column-number order, as Access lists them; the
    // stored order can differ (files written through ADOX).
    std::stable_sort(def.columns.begin(), def.columns.end(),
                     [](const Column& a, const Column& b) { return a.number < b.number; });

    for (PhysicalIndex& index : def.physical_indexes) {
        const ByteSpan block = in.Span(pos, f.physical_index_size);
        index.definition_offset = pos;
        for (std::size_t i = 0; i < kIndexColumnSlots; ++i) {
            const std::uint16_t number = Le16(block, f.pidx_columns + 3 * i);
            if (number == kNoColumn) continue;
            index.columns.push_back({number, block[f.pidx_columns + 3 * i + 2] != 0});
        }
        index.map_pointer_offset = pos + f.pidx_map;
        index.map_pointer = Le32(block, f.pidx_map);
        index.root_page_offset = pos + f.pidx_root;
        index.root_page = Le32(block, f.pidx_root);
        index.flags = block[f.pidx_flags];
        pos += f.physical_index_size;
    }

    def.logical_indexes.resize(numIdx);
    for (LogicalIndex& index : def.logical_indexes) {
        const ByteSpan block = in.Span(pos, f.logical_index_size);
        index.entry_offset = pos;
        index.number = Le32(block, f.lidx_number);
        index.physical_index = Le32(block, f.lidx_physical);
        index.related_table_page = Le32(block, f.lidx_related_page);
        index.type = block[f.lidx_type];
        pos += f.logical_index_size;
    }
    for (LogicalIndex& index : def.logical_indexes) index.name = readName();

    // Long-value column maps up to the 0xFFFF terminator.
    while (true) {
        const std::uint16_t number = in.U16At(pos);
        if (number == kNoColumn) {
            pos += 2;
            break;
        }
        in.Need(pos, 10);
        LongValueMap map;
        map.record_offset = pos;
        map.column_number = number;
        map.owned_map = in.U32At(pos + 2);
        map.free_map = in.U32At(pos + 6);
        def.long_value_maps.push_back(map);
        pos += 10;
    }
    def.end_offset = pos;

    // Structural sanity the readers rely on.
    for (const Column& column : def.columns) {
        if (!column.IsFixed() && !column.IsBoolean() && column.var_index >= def.num_var_cols &&
            def.num_var_cols != 0) {
            ThrowCorrupt(Where(page) + ": column '" + column.name + "' has an invalid variable slot");
        }
    }
    for (const LogicalIndex& index : def.logical_indexes) {
        if (index.physical_index >= def.physical_indexes.size()) {
            ThrowCorrupt(Where(page) + ": index '" + index.name + "' names a missing physical index");
        }
    }
    return def;
}

StreamLocation LocateInStream(const TableDef& def, const Format& format, std::size_t offset) {
    if (offset < format.page_size) {
        if (def.pages.empty()) ThrowCorrupt("empty table definition");
        return {def.pages.front(), offset};
    }
    const std::size_t perPage = format.page_size - 8;
    const std::size_t index = 1 + (offset - format.page_size) / perPage;
    if (index >= def.pages.size()) ThrowCorrupt("offset past the end of a table definition");
    return {def.pages[index], 8 + (offset - format.page_size) % perPage};
}

}  // namespace dorvane::jet
