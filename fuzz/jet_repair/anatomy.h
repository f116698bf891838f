#pragma once
// Where a seed file's structures lie, found once per seed, so that a mutation
// can change a structure itself (a long-value pointer, a column block, a
// catalog row's Type, a map) rather than bytes that merely happen to be there.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/error.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/usage_map.h"

namespace dorvane::jet::fuzzing {

struct Anatomy {
    std::vector<std::size_t> long_value_fields;  // file offsets of memo/OLE fields stored off the row
    std::vector<std::size_t> inline_fields;      // of memo/OLE fields stored in the row
    std::vector<std::uint32_t> long_value_rows;  // every long-value row, as a row pointer
    std::vector<std::size_t> column_blocks;      // of user tables' columns (one-page definitions)
    std::vector<std::size_t> catalog_types;      // of the Type values of the catalog's rows for tables
    std::vector<std::uint32_t> leaves;           // index leaf pages
    std::vector<std::uint32_t> user_tables;      // definition pages
    struct Map {
        std::size_t bitmap;        // file offset of an inline map's bitmap
        std::size_t bytes;         // its length
        std::uint32_t first_page;  // the page its first bit stands for
    };
    std::vector<Map> table_maps;  // parallel to user_tables; bytes 0 where the map is not inline
};

inline Anatomy Dissect(const PageFile& f) {
    Anatomy a;
    const std::size_t ps = f.page_size();
    // Where a row's body starts; 0 for one relocated elsewhere.
    const auto rowStart = [&](RowPointer at) -> std::size_t {
        const DataPage page = DataPage::Parse(f.format(), at.page, f.ReadPage(at.page));
        const Slot& slot = page.slots().at(at.row);
        return slot.kind == SlotKind::kLive ? std::size_t{at.page} * ps + slot.start : 0;
    };
    for (const CatalogEntry& e : ReadTables(f)) {
        const TableDef def = ReadTableDef(f, e.table_page());
        if (!e.IsSystem()) {
            a.user_tables.push_back(def.page);
            Anatomy::Map map{0, 0, 0};
            const RowPointer record = RowPointer::FromU32(def.owned_map);
            const std::size_t start = rowStart(record);
            const DataPage page = DataPage::Parse(f.format(), record.page, f.ReadPage(record.page));
            if (f.ReadPage(record.page)[page.slots().at(record.row).start] == 0)  // inline
                map = {start + kUsageMapInlineHeader, page.slots()[record.row].length() - kUsageMapInlineHeader,
                       Le32(f.ReadPage(record.page), page.slots()[record.row].start + 1)};
            a.table_maps.push_back(map);
            if (def.pages.size() == 1)
                for (const Column& c : def.columns)
                    a.column_blocks.push_back(std::size_t{def.page} * ps + c.block_offset);
        }
        for (const PhysicalIndex& index : def.physical_indexes)
            for (std::uint32_t p : WalkIndex(f, index.root_page).pages)
                if (f.ReadPage(p)[0] == kPageIndexLeaf) a.leaves.push_back(p);
        const std::optional<std::size_t> type = e.table_page() == kCatalogPage ? def.ColumnIndex("Type") : std::nullopt;
        RowCursor cursor(f, def);
        for (TableRow row; cursor.Next(row);) {
            const RowFields fields = LocateFields(f.format(), def, row.body);
            const std::size_t start = rowStart(row.header);
            if (start == 0) continue;
            if (type && fields.spans[*type].present && Le16(row.body, fields.spans[*type].offset) == kObjectTypeTable)
                a.catalog_types.push_back(start + fields.spans[*type].offset);
            for (std::size_t c = 0; c < def.columns.size(); ++c) {
                const FieldSpan& span = fields.spans[c];
                if (!def.columns[c].IsLongValue() || !span.present || span.length < kLongValueFieldHeader) continue;
                const LongValueField lv = ParseLongValueField(FieldBytes(row.body, span));
                (lv.kind == LongValueKind::kInline ? a.inline_fields : a.long_value_fields)
                    .push_back(start + span.offset);
                for (const RowPointer& at : LongValueRows(f, FieldBytes(row.body, span)))
                    a.long_value_rows.push_back(at.ToU32());
            }
        }
    }
    return a;
}

}  // namespace dorvane::jet::fuzzing
