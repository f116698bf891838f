#include "engines/jet/compact/relocation.h"

#include <algorithm>
#include <numeric>

#include "engines/jet/format/index_key.h"
#include "engines/jet/format/row.h"

namespace dorvane::jet::compact {

// MSysObjects.ParentId and MSysQueries.ObjectId hold object ids too, but
// never a table's (a parent is a container, a query's id is its own), so
// nothing there follows a definition.
const std::vector<IdColumn> kIdColumns = {
    {"MSysObjects", "Id"},
    {"MSysACEs", "ObjectId"},
    {"MSysNavPaneObjectIDs", "Id"},
    {"MSysNavPaneGroupToObjects", "ObjectID"},
    {"MSysNavPaneGroups", "ObjectID"},
    {"MSysNavPaneGroupCategories", "SelectedObjectID"},
    {"MSysComplexColumns", "ComplexTypeObjectID"},
    {"MSysComplexColumns", "FlatTableID"},
    {"MSysComplexColumns", "ConceptualTableID"},
};

namespace {

constexpr std::size_t kLongKeySize = 5;  // flag byte, then the value

const std::vector<std::uint16_t> kNone;

// A Long in a key: big-endian with the sign bit inverted, and every byte
// inverted again in a descending column.
std::uint32_t KeyLong(ByteSpan key, bool descending) {
    const std::uint32_t stored = Be32(key, 1);
    return (descending ? ~stored : stored) ^ 0x80000000U;
}

void PutKeyLong(Bytes& key, std::uint32_t value, bool descending) {
    const std::uint32_t stored = value ^ 0x80000000U;
    PutBe32(key, 1, descending ? ~stored : stored);
}

}  // namespace

Relocation::Relocation(const Format& format, const std::vector<CatalogEntry>& tables, const std::vector<TableDef>& defs)
    : format_(format) {
    for (std::size_t t = 0; t < defs.size(); ++t) {
        tables_.insert(defs[t].page);
        for (const IdColumn& id : kIdColumns) {
            if (!tables[t].IsSystem() || !EqualsIgnoreCase(tables[t].name, id.table)) continue;
            const std::optional<std::size_t> column = defs[t].ColumnIndex(id.column);
            if (column && defs[t].columns[*column].type == coltype::kLong)
                id_columns_[defs[t].page].push_back(static_cast<std::uint16_t>(*column));
        }
        // Only a leading id can be changed in a stored key without knowing
        // the key bytes of the columns before it.
        for (const PhysicalIndex& index : defs[t].physical_indexes)
            for (std::size_t k = 1; k < index.columns.size(); ++k)
                for (std::uint16_t column : IdColumnsOf(defs[t]))
                    if (defs[t].columns[column].number == index.columns[k].column_number) {
                        KeepInPlace(defs, "an index of a system table holds an object id after another column");
                        return;
                    }
    }
    std::vector<std::size_t> order(defs.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&defs](std::size_t a, std::size_t b) { return defs[a].page < defs[b].page; });
    if (order.empty() || defs[order.front()].page != kCatalogPage) {
        KeepInPlace(defs, "the catalog does not list its own table");
        return;
    }
    std::uint32_t next = kCatalogPage;
    for (std::size_t t : order) {
        std::vector<std::uint32_t>& pages = pages_[defs[t].page];
        for (std::size_t k = 0; k < defs[t].pages.size(); ++k) {
            definition_pages_.insert(next);
            pages.push_back(next++);
        }
        if (pages.front() != defs[t].page) {
            ids_[defs[t].page] = pages.front();
            ++moved_;
        }
    }
}

void Relocation::KeepInPlace(const std::vector<TableDef>& defs, const char* reason) {
    ids_.clear();
    pages_.clear();
    definition_pages_.clear();
    moved_ = 0;
    kept_reason_ = reason;
    for (const TableDef& def : defs) {
        pages_[def.page] = def.pages;
        definition_pages_.insert(def.pages.begin(), def.pages.end());
    }
}

std::uint32_t Relocation::NewId(std::uint32_t id) const {
    const auto found = ids_.find(id);
    if (found != ids_.end()) return found->second;
    const bool dangling = !ids_.empty() && !tables_.contains(id) && definition_pages_.contains(id);
    return dangling ? id | kDanglingIdMark : id;
}

const std::vector<std::uint16_t>& Relocation::IdColumnsOf(const TableDef& def) const {
    const auto found = id_columns_.find(def.page);
    return found == id_columns_.end() ? kNone : found->second;
}

void Relocation::RewriteRow(const TableDef& def, Bytes& body) const {
    const std::vector<std::uint16_t>& columns = IdColumnsOf(def);
    if (columns.empty() || ids_.empty()) return;
    const RowFields fields = LocateFields(format_, def, body);
    for (std::uint16_t column : columns) {
        const FieldSpan& span = fields.spans[column];
        if (!span.present || span.length != 4) continue;
        PutLe32(body, span.offset, NewId(Le32(body, span.offset)));
    }
}

Bytes Relocation::RewriteKey(const TableDef& def, std::size_t index, ByteSpan key) const {
    Bytes out;
    RewriteKey(def, index, key, out);
    return out;
}

void Relocation::RewriteKey(const TableDef& def, std::size_t index, ByteSpan key, Bytes& out) const {
    out.assign(key.begin(), key.end());
    if (ids_.empty()) return;
    const std::vector<std::uint16_t>& columns = IdColumnsOf(def);
    const PhysicalIndex& physical = def.physical_indexes[index];
    if (columns.empty() || physical.columns.empty() || out.size() < kLongKeySize) return;
    const bool leadingId = std::any_of(columns.begin(), columns.end(), [&](std::uint16_t column) {
        return def.columns[column].number == physical.columns.front().column_number;
    });
    if (!leadingId || (out[0] != kKeyAscending && out[0] != kKeyDescending)) return;  // Null: no id
    const bool descending = out[0] == kKeyDescending;
    PutKeyLong(out, NewId(KeyLong(out, descending)), descending);
}

std::vector<std::size_t> Relocation::RelatedTableFields(const TableDef& def) const {
    std::vector<std::size_t> fields;
    for (const LogicalIndex& index : def.logical_indexes)
        if (index.type == kIndexForeignKey) fields.push_back(index.entry_offset + format_.lidx_related_page);
    return fields;
}

}  // namespace dorvane::jet::compact
