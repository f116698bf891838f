#include "engines/jet/format/row_writer.h"

#include <algorithm>

#include "core/error.h"
#include "engines/jet/format/text_encode.h"

namespace dorvane::jet {

namespace {
[[noreturn]] void Refuse(const Column& column, const std::string& why) {
    throw Error(errc::kValueRefused, "the value for column '" + column.name + "' " + why);
}
}  // namespace

Bytes EncodeRow(const Format& format, const TableDef& def, const std::vector<StoredValue>& values) {
    if (format.version != Version::kJet4) ThrowCorrupt("rows are written in Jet 4 files only");
    if (values.size() != def.columns.size()) ThrowCorrupt("a row was given the wrong number of values");
    constexpr std::size_t kCountSize = 2;
    const std::size_t maskSize = (def.max_cols + 7u) / 8u;

    std::size_t fixedEnd = 0;
    for (const Column& column : def.columns) {
        if (column.IsFixed() && !column.IsBoolean())
            fixedEnd = std::max<std::size_t>(fixedEnd, column.fixed_offset + column.length);
    }
    Bytes row(kCountSize + fixedEnd, 0);
    PutLe16(row, 0, def.max_cols);
    Bytes mask(maskSize, 0);
    std::vector<const StoredValue*> bySlot(def.num_var_cols, nullptr);

    for (std::size_t c = 0; c < def.columns.size(); ++c) {
        const Column& column = def.columns[c];
        const StoredValue& value = values[c];
        if (column.number >= def.max_cols)
            ThrowCorrupt("column '" + column.name + "' is beyond the table's column count");
        const bool bit = column.IsBoolean() ? value.bool_value : value.present;
        if (bit) mask[column.number / 8] |= static_cast<std::uint8_t>(1u << (column.number % 8));
        if (column.IsBoolean() || !value.present) continue;
        if (column.IsFixed()) {
            if (value.bytes.size() != column.length) Refuse(column, "has the wrong length");
            std::copy(value.bytes.begin(), value.bytes.end(),
                      row.begin() + static_cast<std::ptrdiff_t>(kCountSize + column.fixed_offset));
        } else {
            if (column.length != 0 && value.bytes.size() > column.length) Refuse(column, "is too long for the column");
            if (column.var_index >= bySlot.size())
                ThrowCorrupt("column '" + column.name + "' has an invalid variable slot");
            bySlot[column.var_index] = &value;
        }
    }

    // Offsets of slots 0..n, then n, then the mask; the table is stored last slot first.
    std::vector<std::uint16_t> offsets;
    if (def.num_var_cols > 0) {
        for (const StoredValue* value : bySlot) {
            offsets.push_back(static_cast<std::uint16_t>(row.size()));
            if (value != nullptr) row.insert(row.end(), value->bytes.begin(), value->bytes.end());
        }
        offsets.push_back(static_cast<std::uint16_t>(row.size()));
        for (auto it = offsets.rbegin(); it != offsets.rend(); ++it) {
            row.push_back(static_cast<std::uint8_t>(*it & 0xFF));
            row.push_back(static_cast<std::uint8_t>(*it >> 8));
        }
        row.push_back(static_cast<std::uint8_t>(def.num_var_cols & 0xFF));
        row.push_back(static_cast<std::uint8_t>(def.num_var_cols >> 8));
    }
    row.insert(row.end(), mask.begin(), mask.end());
    if (row.size() > format.DataRowRoom() - 2 || (!offsets.empty() && row.size() > kRowOffsetMask)) {
        throw Error(errc::kValueRefused, "the row is too large for a page (" + std::to_string(row.size()) + " bytes)");
    }
    return row;
}

}  // namespace dorvane::jet
