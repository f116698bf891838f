#include "engines/jet/format/column_properties.h"

#include <algorithm>

#include "engines/jet/format/catalog.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/text.h"

namespace dorvane::jet {

namespace {

// "MR2\0", then chunks: u32 length (header included), u16 kind. Kind 0x80
// lists the property names (u16 byte length, UTF-16 each); kinds 0 and 1
// hold one object's properties: u32 length of its name part, u16 name length,
// the name, then entries of u16 length, u8 flags, u8 type, u16 name index,
// u16 value length, the value.
constexpr std::uint8_t kMagic[] = {'M', 'R', '2', 0};
constexpr std::uint16_t kNamesChunk = 0x80;
constexpr std::size_t kChunkHeader = 6;
constexpr std::size_t kEntryHeader = 8;

std::string NameAt(ByteSpan chunk, std::size_t at, std::size_t length) {
    return Ucs2ToUtf8(Slice(chunk, at, length, "a property name"));
}

}  // namespace

std::vector<std::pair<std::string, std::uint8_t>> CalculatedResultTypes(ByteSpan blob) {
    std::vector<std::pair<std::string, std::uint8_t>> out;
    if (blob.size() < sizeof kMagic || !std::equal(std::begin(kMagic), std::end(kMagic), blob.begin())) return out;
    std::vector<std::string> names;
    for (std::size_t at = sizeof kMagic; at + kChunkHeader <= blob.size();) {
        const std::uint32_t length = Le32(blob, at);
        if (length < kChunkHeader || length > blob.size() - at) ThrowCorrupt("a property chunk overruns its value");
        const ByteSpan chunk = blob.subspan(at, length);
        at += length;
        const std::uint16_t kind = Le16(chunk, 4);
        std::size_t pos = kChunkHeader;
        if (kind == kNamesChunk) {
            while (pos + 2 <= chunk.size()) {
                const std::uint16_t size = Le16(chunk, pos);
                names.push_back(NameAt(chunk, pos + 2, size));
                pos += 2 + size;
            }
            continue;
        }
        if (pos + 6 > chunk.size()) ThrowCorrupt("a property chunk is shorter than its header");
        const std::uint32_t namePart = Le32(chunk, pos);
        const std::string object = NameAt(chunk, pos + 6, Le16(chunk, pos + 4));
        pos += namePart;
        while (pos + kEntryHeader <= chunk.size()) {
            const std::uint16_t size = Le16(chunk, pos);
            if (size < kEntryHeader || size > chunk.size() - pos) ThrowCorrupt("a property overruns its chunk");
            const std::uint16_t nameIndex = Le16(chunk, pos + 4);
            const std::uint16_t valueLength = Le16(chunk, pos + 6);
            if (nameIndex < names.size() && names[nameIndex] == "ResultType" && valueLength == 1 && size > kEntryHeader)
                out.emplace_back(object, chunk[pos + kEntryHeader]);
            pos += size;
        }
    }
    return out;
}

void ReadCalculatedResultTypes(const PageFile& file, std::string_view name, TableDef& def) {
    if (std::none_of(def.columns.begin(), def.columns.end(), [](const Column& c) { return c.IsCalculated(); })) return;
    const TableDef catalog = ReadTableDef(file, kCatalogPage);
    const auto nameColumn = catalog.ColumnIndex("Name");
    const auto idColumn = catalog.ColumnIndex("Id");
    const auto propertiesColumn = catalog.ColumnIndex("LvProp");
    if (!nameColumn || !idColumn || !propertiesColumn) return;
    RowCursor rows(file, catalog);
    for (TableRow row; rows.Next(row);) {
        const RowFields fields = LocateFields(file.format(), catalog, row.body);
        const FieldSpan& id = fields.spans[*idColumn];
        const FieldSpan& properties = fields.spans[*propertiesColumn];
        if (!id.present || id.length != 4 || Le32(row.body, id.offset) != def.page || !properties.present) continue;
        const FieldSpan& rowName = fields.spans[*nameColumn];
        if (!rowName.present || !EqualsIgnoreCase(Jet4TextToUtf8(FieldBytes(row.body, rowName)), name)) continue;
        for (const auto& [column, type] :
             CalculatedResultTypes(ReadLongValue(file, FieldBytes(row.body, properties)))) {
            for (Column& c : def.columns)
                if (c.IsCalculated() && EqualsIgnoreCase(c.name, column)) c.result_type = type;
        }
        return;
    }
}

}  // namespace dorvane::jet
