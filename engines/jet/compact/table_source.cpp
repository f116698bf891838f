#include "engines/jet/compact/table_source.h"

#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/table_scan.h"

namespace dorvane::jet::compact {

void StoredTable::Rows(const RowVisitor& visit) const {
    RowCursor cursor(file_, def_);
    for (TableRow row; cursor.Next(row);) visit(row.header, row.body);
}

void StoredTable::Entries(std::size_t index, const EntryVisitor& visit) const {
    VisitIndex(file_, def_.physical_indexes.at(index).root_page, visit);
}

void SalvagedTable::Rows(const RowVisitor& visit) const {
    SalvagedRowReader bodies(file_);
    salvage_.rows.ForEach([&](RowPointer header) { visit(header, bodies.Body(salvage_.rows, header)); });
}

void SalvagedTable::Entries(std::size_t index, const EntryVisitor& visit) const {
    const SalvagedIndex& salvaged = salvage_.indexes.at(index);
    if (salvaged.tree_root) {
        VisitIndex(file_, *salvaged.tree_root, [&](ByteSpan key, RowPointer row) {
            if (salvage_.rows.Contains(row)) visit(key, row);
        });
        return;
    }
    salvaged.rebuilt->Visit([&](ByteSpan key, RowPointer row) {  // sorted into the order of a tree
        if (salvage_.rows.Contains(row)) visit(key, row);
    });
}

}  // namespace dorvane::jet::compact
