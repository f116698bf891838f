#include "engines/jet/format/definition_check.h"

#include <algorithm>
#include <set>
#include <vector>

#include "core/error.h"
#include "engines/jet/format/row.h"

namespace dorvane::jet {

std::optional<std::string> DefinitionFault(const TableDef& def) {
    std::set<std::uint16_t> numbers;
    std::set<std::uint16_t> slots;
    struct Extent {
        std::uint32_t start, end;
        const Column* column;
    };
    std::vector<Extent> fixed;
    for (const Column& column : def.columns) {
        const std::string name = "column '" + column.name + "'";
        if (column.number >= def.max_cols)
            return name + " has number " + std::to_string(column.number) + ", not below the table's " +
                   std::to_string(def.max_cols);
        if (!numbers.insert(column.number).second)
            return name + " has number " + std::to_string(column.number) + ", which another column has";
        const std::size_t size = FixedValueSize(column.type);
        // A calculated column records its wrapped size; an ACE Decimal kept
        // among the variable columns records 9 whatever its values take.
        const bool sized = !column.IsCalculated() && (column.IsFixed() || column.type != coltype::kDecimal);
        if (sized && size != 0 && column.length != size)
            return name + " is " + std::to_string(column.length) + " bytes long, but its type " +
                   std::to_string(column.type) + " takes " + std::to_string(size);
        if (column.IsBoolean()) continue;  // kept in the null mask
        if (!column.IsFixed()) {
            if (column.var_index >= def.num_var_cols || !slots.insert(column.var_index).second)
                return name + " has variable slot " + std::to_string(column.var_index) +
                       ", which is taken or past the table's " + std::to_string(def.num_var_cols);
            continue;
        }
        fixed.push_back(
            {column.fixed_offset, static_cast<std::uint32_t>(column.fixed_offset + column.length), &column});
    }
    std::sort(fixed.begin(), fixed.end(), [](const Extent& a, const Extent& b) { return a.start < b.start; });
    for (std::size_t i = 1; i < fixed.size(); ++i) {
        if (fixed[i].start < fixed[i - 1].end)
            return "columns '" + fixed[i - 1].column->name + "' and '" + fixed[i].column->name +
                   "' overlap in the fixed area";
    }
    return std::nullopt;
}

void RowSample::Add(const Format& format, const TableDef& def, ByteSpan row) {
    if (seen_ == kRows) return;
    ++seen_;
    RowFields fields;
    try {
        LocateFields(format, def, row, fields);
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        if (unreadable_++ == 0) unreadable_reason_ = e.description();
        return;
    }
    columns_.resize(def.columns.size());
    for (std::size_t c = 0; c < def.columns.size(); ++c) {
        const Column& column = def.columns[c];
        const FieldSpan& span = fields.spans[c];
        Tally& tally = columns_[c];
        const auto judge = [&](bool fits, const char* why) {
            if (fits) {
                ++tally.fits;
            } else if (tally.faults++ == 0) {
                tally.reason = "column '" + column.name + "' " + why;
            }
        };
        if (column.IsBoolean() || fields.var_offsets.empty()) continue;
        if (column.IsFixed()) {
            if (span.present)
                judge(span.offset + span.length <= fields.var_offsets.front(), "reaches into the row's variable data");
            continue;
        }
        const bool holds = column.var_index < fields.var_count &&
                           fields.var_offsets[column.var_index + 1u] > fields.var_offsets[column.var_index];
        if (span.present)
            judge(true, "");
        else if (holds && column.number < fields.column_count)
            judge(false, "is Null but its slot holds bytes");
    }
}

std::optional<std::string> RowSample::Fault() const {
    if (unreadable_ * 2 > seen_) return unreadable_reason_;
    for (const Tally& tally : columns_)
        if (tally.faults > tally.fits) return tally.reason;
    return std::nullopt;
}

}  // namespace dorvane::jet
