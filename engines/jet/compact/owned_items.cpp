#include "engines/jet/compact/owned_items.h"

#include <algorithm>

#include "core/error.h"
#include "engines/jet/format/complex_columns.h"
#include "engines/jet/format/index_key.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"

namespace dorvane::jet::compact {

namespace {

std::optional<std::uint32_t> KeyIn(const PageFile& file, const TableDef& def, std::size_t column, ByteSpan body) {
    const RowFields fields = LocateFields(file.format(), def, body);
    const FieldSpan& span = fields.spans[column];
    if (!span.present || span.length != 4) return std::nullopt;
    return Le32(body, span.offset);
}

}  // namespace

std::string ItemOwner::Describe(const SourceTables& tables) const {
    std::string out = "column \"";
    out += tables.defs[table].columns[column].name;
    out += "\" of table \"";
    out += tables.entries[table].name;
    return out + "\"";
}

std::map<std::size_t, ItemOwner> FindItemOwners(const PageFile& file, const SourceTables& tables) {
    std::map<std::size_t, ItemOwner> owners;
    if (!file.ace()) return owners;
    const auto numbered = [&](std::uint32_t page) -> std::optional<std::size_t> {
        for (std::size_t t = 0; t < tables.defs.size(); ++t)
            if (tables.defs[t].page == page) return t;
        return std::nullopt;
    };
    for (const ComplexColumnRow& row : ReadComplexColumns(file).value_or(std::vector<ComplexColumnRow>{})) {
        const auto table = numbered(row.conceptual_table);
        const auto flat = numbered(row.flat_table);
        if (!table || !flat) continue;  // the check refuses such a file before a repair gets here
        const TableDef& def = tables.defs[*table];
        const auto column = std::find_if(def.columns.begin(), def.columns.end(), [&](const Column& c) {
            return c.type == coltype::kComplex && c.complex_id == row.complex_id;
        });
        if (column == def.columns.end()) continue;
        ItemOwner owner{*table, static_cast<std::size_t>(column - def.columns.begin()), 0};
        const auto key = tables.defs[*flat].ColumnIndex("_" + column->name);
        if (!key || tables.defs[*flat].columns[*key].type != coltype::kLong) {
            std::string text = "the items of ";
            text += owner.Describe(tables);
            text += " cannot be told apart: their table \"";
            text += tables.entries[*flat].name;
            ThrowCorrupt(text + "\" has no key column");
        }
        owner.key_column = *key;
        owners[*flat] = owner;
    }
    return owners;
}

std::vector<std::uint32_t> OwnerKeys(const PageFile& file, const TableDef& def, std::size_t column,
                                     const TableSource& rows) {
    std::vector<std::uint32_t> keys;
    rows.Rows([&](RowPointer, ByteSpan body) {
        if (const auto key = KeyIn(file, def, column, body)) keys.push_back(*key);
    });
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

std::optional<std::uint64_t> RowsMissingItems(const PageFile& file, const TableDef& flat, std::size_t key_column,
                                              const SalvagedRows& kept, const std::vector<std::uint32_t>& keys) {
    const std::uint16_t number = flat.columns[key_column].number;
    const auto index = std::find_if(flat.physical_indexes.begin(), flat.physical_indexes.end(), [&](const auto& i) {
        return i.columns.size() == 1 && i.columns[0].column_number == number && i.columns[0].ascending;
    });
    if (index == flat.physical_indexes.end()) return std::nullopt;
    std::vector<std::uint32_t> missing;
    try {
        VisitIndex(file, index->root_page, [&](ByteSpan key, RowPointer row) {
            // A Long's key: its flag, then big-endian with the sign bit flipped.
            if (kept.Contains(row) || key.size() != 5 || key[0] != kKeyAscending) return;
            missing.push_back(static_cast<std::uint32_t>(key[1] << 24 | key[2] << 16 | key[3] << 8 | key[4]) ^
                              0x80000000u);
        });
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;
        return std::nullopt;
    }
    std::sort(missing.begin(), missing.end());
    missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
    return static_cast<std::uint64_t>(std::count_if(missing.begin(), missing.end(), [&](std::uint32_t key) {
        return std::binary_search(keys.begin(), keys.end(), key);
    }));
}

OwnedItemsTable::OwnedItemsTable(const PageFile& file, const TableDef& flat, std::size_t key_column,
                                 std::unique_ptr<TableSource> items, std::vector<std::uint32_t> keys)
    : file_(file), flat_(flat), key_column_(key_column), items_(std::move(items)), keys_(std::move(keys)) {
    items_->Rows([&](RowPointer header, ByteSpan body) {
        if (!Owned(body)) orphans_.Add(header);
    });
}

bool OwnedItemsTable::Owned(ByteSpan body) const {
    const auto key = KeyIn(file_, flat_, key_column_, body);
    return key && std::binary_search(keys_.begin(), keys_.end(), *key);
}

void OwnedItemsTable::Rows(const RowVisitor& visit) const {
    items_->Rows([&](RowPointer header, ByteSpan body) {
        if (!orphans_.Contains(header)) visit(header, body);
    });
}

void OwnedItemsTable::Entries(std::size_t index, const EntryVisitor& visit) const {
    items_->Entries(index, [&](ByteSpan key, RowPointer row) {
        if (!orphans_.Contains(row)) visit(key, row);
    });
}

}  // namespace dorvane::jet::compact
