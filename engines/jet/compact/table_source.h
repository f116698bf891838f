#pragma once
// Where the compactor takes one table's rows and index entries from, chosen
// once per table: the source's own pages and trees read as they are (a
// compaction, and a repair's sound tables), or what a salvage settled on.
// Nothing that writes or verifies a table asks which.

#include <cstddef>
#include <functional>

#include "engines/jet/compact/salvage.h"
#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {
class PageFile;
}

namespace dorvane::jet::compact {

// A row: its header (what index entries name) and its body.
using RowVisitor = std::function<void(RowPointer header, ByteSpan body)>;
using EntryVisitor = std::function<void(ByteSpan key, RowPointer row)>;

class TableSource {
public:
    virtual ~TableSource() = default;
    // Every row, in the order it is written.
    virtual void Rows(const RowVisitor& visit) const = 0;
    // Every entry of physical index `index`, in the order of a tree (by key,
    // then by row), as a sound tree holds them.
    virtual void Entries(std::size_t index, const EntryVisitor& visit) const = 0;
};

// The table as its pages and trees hold it; what cannot be read throws.
class StoredTable final : public TableSource {
public:
    StoredTable(const PageFile& file, const TableDef& def) : file_(file), def_(def) {}
    void Rows(const RowVisitor& visit) const override;
    void Entries(std::size_t index, const EntryVisitor& visit) const override;

private:
    const PageFile& file_;
    const TableDef& def_;
};

// The rows and entries a salvage kept.
class SalvagedTable final : public TableSource {
public:
    SalvagedTable(const PageFile& file, TableSalvage salvage) : file_(file), salvage_(std::move(salvage)) {}
    void Rows(const RowVisitor& visit) const override;
    void Entries(std::size_t index, const EntryVisitor& visit) const override;
    const TableSalvage& salvage() const { return salvage_; }

private:
    const PageFile& file_;
    TableSalvage salvage_;
};

}  // namespace dorvane::jet::compact
