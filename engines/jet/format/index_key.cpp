#include "engines/jet/format/index_key.h"

#include <array>
#include <string>
#include <string_view>

#include "core/error.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/sort_order.h"
#include "engines/jet/format/text.h"

namespace dorvane::jet {

namespace {

// Binary values are cut into 8-byte segments, each followed by a length
// byte: 9 while more follow, else the bytes used of the zero-padded last.
constexpr std::size_t kSegment = 8;
constexpr std::uint8_t kMoreSegments = 9;

[[noreturn]] void ThrowUnsupported(const Column& column, const std::string& why) {
    throw Error(errc::kNotAvailable, "no index key can be built for column '" + column.name + "': " + why);
}

void InvertFrom(Bytes& key, std::size_t start) {
    for (std::size_t i = start; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(~key[i]);
}

void AppendBigEndian(ByteSpan littleEndian, Bytes& key) {
    key.insert(key.end(), littleEndian.rbegin(), littleEndian.rend());
}

// Two's complement integers: big-endian with the sign bit inverted.
void AppendInteger(ByteSpan value, Bytes& key) {
    const std::size_t start = key.size();
    AppendBigEndian(value, key);
    key[start] ^= 0x80;
}

// IEEE numbers: a positive one with its sign bit inverted, a negative one
// wholly inverted, so that byte order is numeric order.
void AppendFloat(ByteSpan value, Bytes& key) {
    const std::size_t start = key.size();
    AppendBigEndian(value, key);
    if ((key[start] & 0x80) != 0) {
        InvertFrom(key, start);
    } else {
        key[start] ^= 0x80;
    }
}

// Descending: data bytes and the last length byte inverted, the 9s between
// segments kept.
void AppendBinary(ByteSpan value, bool ascending, Bytes& key) {
    std::size_t pos = 0;
    while (value.size() - pos > kSegment) {
        const std::size_t start = key.size();
        key.insert(key.end(), value.begin() + static_cast<std::ptrdiff_t>(pos),
                   value.begin() + static_cast<std::ptrdiff_t>(pos + kSegment));
        if (!ascending) InvertFrom(key, start);
        key.push_back(kMoreSegments);
        pos += kSegment;
    }
    const std::size_t start = key.size();
    const std::size_t used = value.size() - pos;
    key.insert(key.end(), value.begin() + static_cast<std::ptrdiff_t>(pos), value.end());
    key.insert(key.end(), kSegment - used, 0);
    key.push_back(static_cast<std::uint8_t>(used));
    if (!ascending) InvertFrom(key, start);
}

// The first three fields of a GUID are stored little-endian; keys hold them
// big-endian.
Bytes GuidBigEndian(ByteSpan value) {
    Bytes out(value.rend() - 4, value.rend());
    out.insert(out.end(), value.rend() - 6, value.rend() - 4);
    out.insert(out.end(), value.rend() - 8, value.rend() - 6);
    out.insert(out.end(), value.begin() + 8, value.end());
    return out;
}

// Jet 4 text as UTF-16 units, on the stack for a text column's values (only
// longer ones allocate). Not a buffer kept per thread: on Windows a
// thread-local object's destructor may run after its storage is freed.
class Jet4TextUnits {
public:
    explicit Jet4TextUnits(ByteSpan bytes) {
        char16_t* out = inline_.data();
        if (bytes.size() > inline_.size()) {
            spilled_.resize(bytes.size());
            out = spilled_.data();
        }
        bool whole = true;
        units_ = std::u16string_view(out, DecodeJet4TextUnits(bytes, out, whole));
        if (!whole) ThrowCorrupt("a text value ends in half a character");
    }
    Jet4TextUnits(const Jet4TextUnits&) = delete;
    Jet4TextUnits& operator=(const Jet4TextUnits&) = delete;
    std::u16string_view view() const { return units_; }

private:
    std::array<char16_t, 512> inline_;  // a text column's 255 characters, uncompressed
    std::u16string spilled_;
    std::u16string_view units_;
};

std::string HexWord(std::uint16_t value) {
    const std::uint8_t bigEndian[] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    return "0x" + HexUpper(bigEndian);
}

// The General orders of Access 2010 and later (version 1) and before (0).
constexpr std::uint8_t kGeneral2010Version = 1;

// Only the General order's weights are known; a column in another locale's
// order keeps its stored keys, and a key that would have to be computed for
// it is refused rather than guessed.
void AppendText(const Format& format, const TableDef& def, const Column& column, ByteSpan value, bool ascending,
                Bytes& key) {
    const ByteSpan block = Slice(def.stream, column.block_offset, format.column_block_size, "column definition");
    if (format.version == Version::kJet3) {
        const std::uint16_t order = Le16(block, format.col_sort_order);
        const std::uint16_t codePage = Le16(block, format.col_code_page);
        if (order != kGeneralSortOrder || codePage != kCodePage1252)
            ThrowUnsupported(column, "its sort order " + HexWord(order) + " over code page " +
                                         std::to_string(codePage) +
                                         " is not one whose weights this engine knows (only General, 0x0409, "
                                         "over code page 1252)");
        AppendGeneral97TextKey(value, ascending, key);
        return;
    }
    const std::uint16_t order = Le16(block, format.col_sort_order);
    const std::uint8_t version = block[format.col_sort_version];
    if (order != kGeneralSortOrder || version > kGeneral2010Version)
        ThrowUnsupported(column, "its sort order " + HexWord(order) + " version " + std::to_string(version) +
                                     " is not one whose weights this engine knows (only General, 0x0409, versions 0 "
                                     "and 1)");
    if (version == 0) {
        AppendGeneralLegacyTextKey(Jet4TextUnits(value).view(), ascending, key);
        return;
    }
    try {
        AppendGeneral2010TextKey(Jet4TextUnits(value).view(), ascending, key);
    } catch (const UnknownWeight& unknown) {
        ThrowUnsupported(column, "character U+" + HexWord(unknown.unit).substr(2) +
                                     " has no weight this engine knows in the 2010 General sort order");
    }
}

// The value's key bytes (after the flag byte), inverted for a descending
// column.
void AppendValue(const Format& format, const TableDef& def, const Column& column, ByteSpan value, bool ascending,
                 Bytes& key) {
    const std::size_t fixed = FixedValueSize(column.type);
    if (fixed != 0 && value.size() != fixed) {
        ThrowCorrupt("column '" + column.name + "' holds " + std::to_string(value.size()) + " bytes instead of " +
                     std::to_string(fixed));
    }
    const std::size_t start = key.size();
    switch (column.type) {
        case coltype::kByte:
            key.push_back(value[0]);
            break;
        case coltype::kInteger:
        case coltype::kLong:
        case coltype::kCurrency:
        case coltype::kComplex:  // a Long to the index, checked against Access-made files
            AppendInteger(value, key);
            break;
        case coltype::kSingle:
        case coltype::kDouble:
        case coltype::kDateTime:
            AppendFloat(value, key);
            break;
        case coltype::kGuid:
            AppendBinary(GuidBigEndian(value), ascending, key);
            return;
        case coltype::kBinary:
            if (value.empty()) return;  // the flag alone, as Access 2010 stores it
            AppendBinary(value, ascending, key);
            return;
        case coltype::kExtendedDate:  // its text, whose digits sort as the moments do, as binary
            AppendBinary(value, ascending, key);
            return;
        case coltype::kText:
            AppendText(format, def, column, value, ascending, key);
            return;
        case coltype::kOle:
        case coltype::kMemo:
            ThrowUnsupported(column, "long values are not indexable");
        default:
            ThrowUnsupported(column, "the key of type " + std::to_string(column.type) + " is not known");
    }
    if (!ascending) InvertFrom(key, start);
}

}  // namespace

std::optional<Bytes> EncodeIndexKey(const Format& format, const TableDef& def, const PhysicalIndex& index,
                                    ByteSpan row) {
    Bytes key;
    if (!EncodeIndexKey(format, def, index, row, LocateFields(format, def, row), key)) return std::nullopt;
    return key;
}

bool EncodeIndexKey(const Format& format, const TableDef& def, const PhysicalIndex& index, ByteSpan row,
                    const RowFields& fields, Bytes& key) {
    key.clear();
    bool allNull = true;
    for (const IndexColumn& indexed : index.columns) {
        const Column* column = def.ColumnByNumber(indexed.column_number);
        if (column == nullptr) {
            ThrowCorrupt("an index names column number " + std::to_string(indexed.column_number) +
                         ", which its table does not have");
        }
        const FieldSpan& field = fields.spans[static_cast<std::size_t>(column - def.columns.data())];
        if (column->IsBoolean()) {
            // Never Null; true sorts first.
            allNull = false;
            const std::uint8_t value = field.bool_value ? 0x00 : 0xFF;
            key.push_back(indexed.ascending ? kKeyAscending : kKeyDescending);
            key.push_back(indexed.ascending ? value : static_cast<std::uint8_t>(~value));
            continue;
        }
        if (!field.present) {
            key.push_back(indexed.ascending ? kKeyNullAscending : kKeyNullDescending);
            continue;
        }
        allNull = false;
        key.push_back(indexed.ascending ? kKeyAscending : kKeyDescending);
        AppendValue(format, def, *column, FieldBytes(row, field), indexed.ascending, key);
    }
    return !(allNull && (index.flags & kIndexIgnoresNulls) != 0);
}

}  // namespace dorvane::jet
