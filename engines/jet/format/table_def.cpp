#include "core/ascii.h"
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
constexpr std::size_t kLongValueMapSize = 10;  // u16 column, u32 owned map, u32 free map

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
    std::uint8_t U8At(std::size_t o) const {
        Need(o, 1);
        return stream_[o];
    }
    std::uint16_t U16At(std::size_t o) const {
        Need(o, 2);
        return Le16(stream_, o);
    }
    std::uint32_t U32At(std::size_t o) const {
        Need(o, 4);
        return Le32(stream_, o);
    }
    ByteSpan Span(std::size_t o, std::size_t n) const {
        Need(o, n);
        return ByteSpan(stream_).subspan(o, n);
    }

private:
    const Bytes& stream_;
    std::uint32_t page_;
};

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) { return EqualsIgnoringAsciiCase(a, b); }

std::string DecodeName(const Format& format, std::uint16_t code_page, ByteSpan bytes) {
    return format.version == Version::kJet3 ? CodePageToUtf8(bytes, code_page) : Ucs2ToUtf8(bytes);
}

std::optional<std::size_t> TableDef::ColumnIndex(std::string_view name) const {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (EqualsIgnoreCase(columns[i].name, name)) return i;
    }
    return std::nullopt;
}

const Column* TableDef::ColumnByNumber(std::uint16_t number) const {
    for (const Column& column : columns) {
        if (column.number == number) return &column;
    }
    return nullptr;
}

namespace {

// The logical stream: the first page whole, then each continuation page
// from byte 8, following the chain.
void ReadDefinitionPages(const PageFile& file, TableDef& def) {
    std::set<std::uint32_t> seen;
    Bytes buffer;
    for (std::uint32_t next = def.page; next != 0; next = Le32(buffer, kTableDefNextPage)) {
        if (!seen.insert(next).second) ThrowCorrupt(Where(def.page) + " continues in a circle");
        if (seen.size() > kMaxDefinitionPages) ThrowCorrupt(Where(def.page) + " is impossibly long");
        file.ReadPage(next, buffer);
        if (buffer[0] != kPageTableDef) {
            ThrowCorrupt("page " + std::to_string(next) + " should be a table definition but has type " +
                         std::to_string(buffer[0]));
        }
        const std::size_t from = def.pages.empty() ? 0 : kTableDefPageHeader;
        def.stream.insert(def.stream.end(), buffer.begin() + static_cast<std::ptrdiff_t>(from), buffer.end());
        def.pages.push_back(next);
    }
}

// Reads the parts of a definition in stream order.
class DefinitionParser {
public:
    DefinitionParser(const PageFile& file, TableDef& def)
        : file_(file), f_(file.format()), def_(def), in_(def.stream, def.page) {}

    void Parse() {
        ReadHeader();
        ReadIndexStatistics();
        ReadColumns();
        ReadPhysicalIndexes();
        ReadLogicalIndexes();
        ReadLongValueMaps();
        CheckStructure();
    }

private:
    void ReadHeader() {
        in_.Need(0, f_.tdef_header_end);
        def_.definition_length = in_.U32At(f_.tdef_length);
        def_.num_rows_offset = f_.tdef_num_rows;
        def_.num_rows = in_.U32At(f_.tdef_num_rows);
        def_.autonumber_offset = f_.tdef_autonumber;
        def_.autonumber = in_.U32At(f_.tdef_autonumber);
        if (file_.ace()) {
            def_.complex_autonumber_offset = kTableDefComplexAutoNumber;
            def_.complex_autonumber = in_.U32At(kTableDefComplexAutoNumber);
        }
        def_.table_type = in_.U8At(f_.tdef_table_type);
        def_.max_cols = in_.U16At(f_.tdef_max_cols);
        def_.num_var_cols = in_.U16At(f_.tdef_num_var_cols);
        def_.owned_map_offset = f_.tdef_owned_map;
        def_.owned_map = in_.U32At(f_.tdef_owned_map);
        def_.free_map_offset = f_.tdef_free_map;
        def_.free_map = in_.U32At(f_.tdef_free_map);
        const std::size_t numCols = in_.U16At(f_.tdef_num_cols);
        const std::size_t numIdx = in_.U32At(f_.tdef_num_idx);
        const std::size_t numRealIdx = in_.U32At(f_.tdef_num_real_idx);
        // Counts are checked against the stream before anything is reserved.
        const std::size_t room = def_.stream.size();
        if (numRealIdx > room / f_.index_stats_size || numCols > room / f_.column_block_size ||
            numIdx > room / f_.logical_index_size) {
            ThrowCorrupt(Where(def_.page) + " has impossible column or index counts");
        }
        def_.columns.resize(numCols);
        def_.physical_indexes.resize(numRealIdx);
        def_.logical_indexes.resize(numIdx);
        pos_ = f_.tdef_header_end;
    }

    void ReadIndexStatistics() {
        for (PhysicalIndex& index : def_.physical_indexes) {
            in_.Need(pos_, f_.index_stats_size);
            index.stats_offset = pos_;
            index.stats_entries = in_.U32At(pos_);
            index.stats_distinct = in_.U32At(pos_ + 4);
            pos_ += f_.index_stats_size;
        }
    }

    void ReadColumns() {
        for (Column& column : def_.columns) {
            const ByteSpan block = in_.Span(pos_, f_.column_block_size);
            column.block_offset = pos_;
            column.type = block[f_.col_type];
            column.number = Le16(block, f_.col_number);
            column.var_index = Le16(block, f_.col_var_index);
            column.flags = block[f_.col_flags];
            if (f_.version == Version::kJet4) {
                column.ext_flags = block[f_.col_ext_flags];
                column.precision = block[f_.col_precision];
                column.scale = block[f_.col_scale];
                if (column.type == coltype::kComplex) column.complex_id = Le32(block, f_.col_sort_order);
            }
            column.fixed_offset = Le16(block, f_.col_fixed_offset);
            column.length = Le16(block, f_.col_length);
            pos_ += f_.column_block_size;
        }
        for (Column& column : def_.columns) column.name = ReadName();
        // Shown and selected in column-number order, as Access lists them; the
        // stored order can differ (files written through ADOX).
        std::stable_sort(def_.columns.begin(), def_.columns.end(),
                         [](const Column& a, const Column& b) { return a.number < b.number; });
    }

    void ReadPhysicalIndexes() {
        for (PhysicalIndex& index : def_.physical_indexes) {
            const ByteSpan block = in_.Span(pos_, f_.physical_index_size);
            index.definition_offset = pos_;
            for (std::size_t i = 0; i < kIndexColumnSlots; ++i) {
                const std::uint16_t number = Le16(block, f_.pidx_columns + 3 * i);
                if (number == kNoColumn) continue;
                index.columns.push_back({number, block[f_.pidx_columns + 3 * i + 2] != 0});
            }
            index.map_pointer_offset = pos_ + f_.pidx_map;
            index.map_pointer = Le32(block, f_.pidx_map);
            index.root_page_offset = pos_ + f_.pidx_root;
            index.root_page = Le32(block, f_.pidx_root);
            index.flags = block[f_.pidx_flags];
            pos_ += f_.physical_index_size;
        }
    }

    void ReadLogicalIndexes() {
        for (LogicalIndex& index : def_.logical_indexes) {
            const ByteSpan block = in_.Span(pos_, f_.logical_index_size);
            index.entry_offset = pos_;
            index.number = Le32(block, f_.lidx_number);
            index.physical_index = Le32(block, f_.lidx_physical);
            index.related_table_page = Le32(block, f_.lidx_related_page);
            index.type = block[f_.lidx_type];
            pos_ += f_.logical_index_size;
        }
        for (LogicalIndex& index : def_.logical_indexes) index.name = ReadName();
    }

    // Up to the 0xFFFF terminator, which ends the definition.
    void ReadLongValueMaps() {
        while (in_.U16At(pos_) != kNoColumn) {
            in_.Need(pos_, kLongValueMapSize);
            LongValueMap map;
            map.record_offset = pos_;
            map.column_number = in_.U16At(pos_);
            map.owned_map = in_.U32At(map.owned_map_offset());
            map.free_map = in_.U32At(map.free_map_offset());
            def_.long_value_maps.push_back(map);
            pos_ += kLongValueMapSize;
        }
        def_.end_offset = pos_ + 2;
    }

    // Structural sanity the readers rely on.
    void CheckStructure() const {
        for (const Column& column : def_.columns) {
            if (!column.IsFixed() && !column.IsBoolean() && column.var_index >= def_.num_var_cols &&
                def_.num_var_cols != 0) {
                ThrowCorrupt(Where(def_.page) + ": column '" + column.name + "' has an invalid variable slot");
            }
        }
        for (const LogicalIndex& index : def_.logical_indexes) {
            if (index.physical_index >= def_.physical_indexes.size()) {
                ThrowCorrupt(Where(def_.page) + ": index '" + index.name + "' names a missing physical index");
            }
        }
    }

    std::string ReadName() {
        const std::size_t length = f_.name_length_size == 1 ? in_.U8At(pos_) : in_.U16At(pos_);
        pos_ += f_.name_length_size;
        std::string name = DecodeName(f_, file_.code_page(), in_.Span(pos_, length));
        pos_ += length;
        return name;
    }

    const PageFile& file_;
    const Format& f_;
    TableDef& def_;
    StreamReader in_;
    std::size_t pos_ = 0;
};

}  // namespace

TableDef ReadTableDef(const PageFile& file, std::uint32_t page) {
    TableDef def;
    def.page = page;
    ReadDefinitionPages(file, def);
    DefinitionParser(file, def).Parse();
    return def;
}

StreamLocation LocateInStream(const TableDef& def, const Format& format, std::size_t offset) {
    if (offset < format.page_size) {
        if (def.pages.empty()) ThrowCorrupt("empty table definition");
        return {def.pages.front(), offset};
    }
    const std::size_t perPage = format.page_size - kTableDefPageHeader;
    const std::size_t index = 1 + (offset - format.page_size) / perPage;
    if (index >= def.pages.size()) ThrowCorrupt("offset past the end of a table definition");
    return {def.pages[index], kTableDefPageHeader + (offset - format.page_size) % perPage};
}

}  // namespace dorvane::jet
