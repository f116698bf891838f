#include "engines/jet/format/row.h"

#include <algorithm>

namespace dorvane::jet {

namespace {

// Variable-column offsets 0..v (v = end of data), row-relative.
void VarOffsetsJet4(ByteSpan row, std::size_t maskSize, std::uint16_t& varCount, std::size_t& tableStart,
                    std::vector<std::uint32_t>& offsets) {
    const std::size_t size = row.size();
    if (size < maskSize + 2 + 2) ThrowCorrupt("a row is too short for its variable-column table");
    varCount = Le16(row, size - maskSize - 2);
    const std::size_t tableBytes = 2 * (static_cast<std::size_t>(varCount) + 1);
    if (size < maskSize + 2 + tableBytes + 2) ThrowCorrupt("a row's variable-column table is too long");
    tableStart = size - maskSize - 2 - tableBytes;
    offsets.resize(varCount + 1u);
    for (std::size_t i = 0; i <= varCount; ++i) {
        offsets[i] = Le16(row, size - maskSize - 4 - 2 * i);
    }
}

void VarOffsetsJet3(ByteSpan row, std::size_t maskSize, std::uint16_t& varCount, std::size_t& tableStart,
                    std::vector<std::uint32_t>& offsets) {
    const std::size_t size = row.size();
    if (size < maskSize + 2) ThrowCorrupt("a row is too short for its variable-column table");
    const std::size_t rowEnd = size - 1;
    varCount = row[rowEnd - maskSize];
    std::size_t jumps = (size - 1) / 256;
    // Index of offset byte 0 (offsets run downward from here).
    if (rowEnd < maskSize + jumps + 1) ThrowCorrupt("a row's jump table is too long");
    const std::size_t colPtr = rowEnd - maskSize - jumps - 1;
    // The last jump byte is a dummy (still stored) when the offset table
    // itself sits below the 256-byte mark it would stand for.
    if (colPtr >= varCount && (colPtr - varCount) / 256 < jumps) --jumps;
    if (colPtr < varCount) ThrowCorrupt("a row's variable-column table is too long");
    tableStart = colPtr - varCount;
    offsets.resize(varCount + 1u);
    std::size_t used = 0;
    for (std::size_t i = 0; i <= varCount; ++i) {
        while (used < jumps && i == row[rowEnd - maskSize - used - 1]) ++used;
        offsets[i] = static_cast<std::uint32_t>(row[colPtr - i] + used * 256);
    }
}

}  // namespace

RowFields LocateFields(const Format& format, const TableDef& def, ByteSpan row) {
    RowFields out;
    LocateFields(format, def, row, out);
    return out;
}

void LocateFields(const Format& format, const TableDef& def, ByteSpan row, RowFields& out) {
    const bool jet3 = format.version == Version::kJet3;
    const std::size_t countSize = format.row_count_size;
    if (row.size() < countSize) ThrowCorrupt("an empty row");
    out.var_count = 0;
    out.var_offsets.clear();
    out.column_count = jet3 ? row[0] : Le16(row, 0);
    const std::size_t maskSize = (out.column_count + 7u) / 8u;
    if (row.size() < countSize + maskSize) ThrowCorrupt("a row is shorter than its null mask");
    const ByteSpan mask = row.subspan(row.size() - maskSize);

    std::vector<std::uint32_t>& offsets = out.var_offsets;
    std::size_t dataEnd = row.size() - maskSize;  // fixed data cannot reach the mask
    if (def.num_var_cols > 0) {
        std::size_t tableStart = 0;
        if (jet3)
            VarOffsetsJet3(row, maskSize, out.var_count, tableStart, offsets);
        else
            VarOffsetsJet4(row, maskSize, out.var_count, tableStart, offsets);
        // Offsets must stay inside the data area and never go backwards.
        dataEnd = tableStart;
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            if (offsets[i] < countSize || offsets[i] > tableStart || (i > 0 && offsets[i] < offsets[i - 1])) {
                ThrowCorrupt("a row's variable-column offsets are out of order or out of range");
            }
        }
    }

    out.spans.assign(def.columns.size(), FieldSpan{});
    for (std::size_t c = 0; c < def.columns.size(); ++c) {
        const Column& column = def.columns[c];
        FieldSpan& field = out.spans[c];
        const bool bit =
            column.number < out.column_count && (mask[column.number / 8] & (1u << (column.number % 8))) != 0;
        if (column.IsBoolean()) {
            // Never Null: a column added after the row was written reads as false.
            field.bool_value = bit;
            field.present = true;
            continue;
        }
        if (!bit) continue;
        if (column.IsFixed()) {
            const std::size_t start = countSize + column.fixed_offset;
            if (start + column.length > dataEnd) ThrowCorrupt("a fixed column reaches past its row");
            field = {true, false, static_cast<std::uint32_t>(start), column.length};
        } else if (column.var_index < out.var_count) {
            const std::uint32_t start = offsets[column.var_index];
            const std::uint32_t end = offsets[column.var_index + 1u];
            field = {true, false, start, end - start};
        }
    }
}

std::uint32_t LargestAutoNumber(const TableDef& def, ByteSpan row, const RowFields& fields) {
    std::uint32_t largest = 0;
    for (std::size_t c = 0; c < def.columns.size(); ++c) {
        const FieldSpan& field = fields.spans[c];
        if (!def.columns[c].IsAutoNumber() || !field.present || field.length != 4) continue;
        const auto value = static_cast<std::int32_t>(Le32(row, field.offset));
        if (value > 0) largest = std::max(largest, static_cast<std::uint32_t>(value));
    }
    return largest;
}

std::uint32_t LargestComplexKey(const TableDef& def, ByteSpan row, const RowFields& fields) {
    std::uint32_t largest = 0;
    for (std::size_t c = 0; c < def.columns.size(); ++c) {
        const FieldSpan& field = fields.spans[c];
        if (def.columns[c].type != coltype::kComplex || !field.present || field.length != 4) continue;
        largest = std::max(largest, Le32(row, field.offset));
    }
    return largest;
}

}  // namespace dorvane::jet
