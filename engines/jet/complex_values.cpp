#include "engines/jet/complex_values.h"

#include <algorithm>

#include "core/error.h"
#include "engines/jet/format/attachment.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/complex_columns.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/value.h"

namespace dorvane::jet {

namespace {

const std::vector<ComplexItem> kNoItems;

ComplexItem AttachmentItem(const PageFile& file, const TableDef& flat, ByteSpan row, const RowFields& fields) {
    const auto text = [&](const char* name) -> std::optional<std::string> {
        const auto c = flat.ColumnIndex(name);
        return c ? FieldToText(file, flat.columns[*c], row, fields.spans[*c]) : std::nullopt;
    };
    ComplexItem item;
    item.file_name = text("FileName").value_or("");
    const std::size_t data = *flat.ColumnIndex("FileData");
    if (fields.spans[data].present) {
        const Bytes stored = ReadLongValue(file, FieldBytes(row, fields.spans[data]));
        item.file_bytes = DecodeAttachment(stored).bytes;
    }
    item.text = *item.file_name + " (" + std::to_string(item.file_bytes.size()) + " bytes)";
    return item;
}

// A multi-value item is its value; a version is its text, then its date.
ComplexItem ValueItem(const PageFile& file, const TableDef& flat, std::size_t key, std::size_t id, ByteSpan row,
                      const RowFields& fields) {
    ComplexItem item;
    std::vector<std::string> more;
    bool first = true;
    for (std::size_t c = 0; c < flat.columns.size(); ++c) {
        if (c == key || c == id) continue;
        std::string value = FieldToText(file, flat.columns[c], row, fields.spans[c]).value_or("");
        if (first) {
            item.text = std::move(value);
            first = false;
        } else {
            more.push_back(std::move(value));
        }
    }
    for (std::size_t i = 0; i < more.size(); ++i) {
        item.text += i == 0 ? " (" : ", ";
        item.text += more[i];
    }
    if (!more.empty()) item.text += ")";
    return item;
}

}  // namespace

ComplexValues ComplexValues::Load(const PageFile& file, const TableDef& def) {
    ComplexValues out;
    if (std::none_of(def.columns.begin(), def.columns.end(),
                     [](const Column& c) { return c.type == coltype::kComplex; }))
        return out;
    const std::optional<std::vector<ComplexColumnRow>> listed = ReadComplexColumns(file);
    if (!listed) ThrowCorrupt("the file has complex columns but no MSysComplexColumns");
    const std::vector<ComplexColumnRow>& rows = *listed;
    for (const Column& column : def.columns) {
        if (column.type != coltype::kComplex) continue;
        const auto found = std::find_if(rows.begin(), rows.end(), [&](const ComplexColumnRow& r) {
            return r.complex_id == column.complex_id && r.conceptual_table == def.page;
        });
        if (found == rows.end()) ThrowCorrupt("complex column '" + column.name + "' has no row in MSysComplexColumns");
        const TableDef flat = ReadTableDef(file, found->flat_table);
        const auto key = flat.ColumnIndex("_" + column.name);
        if (!key || flat.columns[*key].type != coltype::kLong)
            ThrowCorrupt("the items of complex column '" + column.name + "' name no row");
        // The item's own id, the flat table's primary key: "<table>_<column>".
        std::size_t id = flat.columns.size();
        for (std::size_t c = 0; c < flat.columns.size(); ++c) {
            const std::string& name = flat.columns[c].name;
            if (c != *key && flat.columns[c].type == coltype::kLong && name.size() > column.name.size() &&
                name.ends_with("_" + column.name))
                id = c;
        }
        const bool attachments = flat.ColumnIndex("FileData") && flat.ColumnIndex("FileName");
        auto& byKey = out.items_[column.number];
        RowCursor cursor(file, flat);
        for (TableRow row; cursor.Next(row);) {
            const RowFields fields = LocateFields(file.format(), flat, row.body);
            const FieldSpan& k = fields.spans[*key];
            if (!k.present || k.length != 4) continue;
            byKey[Le32(row.body, k.offset)].push_back(attachments ? AttachmentItem(file, flat, row.body, fields)
                                                                  : ValueItem(file, flat, *key, id, row.body, fields));
        }
    }
    return out;
}

const std::vector<ComplexItem>& ComplexValues::Items(const Column& column, std::uint32_t key) const {
    const auto c = items_.find(column.number);
    if (c == items_.end()) return kNoItems;
    const auto k = c->second.find(key);
    return k == c->second.end() ? kNoItems : k->second;
}

std::optional<std::string> ComplexValues::Text(const Column& column, std::uint32_t key) const {
    const std::vector<ComplexItem>& items = Items(column, key);
    if (items.empty()) return std::nullopt;
    std::string text;
    for (const ComplexItem& item : items) {
        if (!text.empty()) text += "; ";
        text += item.text;
    }
    return text;
}

}  // namespace dorvane::jet
