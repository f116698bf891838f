#pragma once
// A complex column's items live in a flat table of their own, each naming its
// row by the key the row holds. When a repair drops rows, their items would
// stay behind belonging to nothing; the copy keeps only the items whose row
// it keeps, and the repair says how many it left in the original.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engines/jet/compact/source_tables.h"
#include "engines/jet/compact/table_source.h"
#include "engines/jet/format/row_set.h"

namespace dorvane::jet::compact {

// Whose items a flat table holds.
struct ItemOwner {
    std::size_t table = 0;        // the row's table, as SourceTables numbers it
    std::size_t column = 0;       // its complex column
    std::size_t key_column = 0;   // the flat table's "_<column>"
    std::string Describe(const SourceTables& tables) const;  // column "C" of table "T"
};

// Per flat table (by SourceTables' number). Throws kCorrupt when a flat table
// lacks its key column: its items cannot be told apart.
std::map<std::size_t, ItemOwner> FindItemOwners(const PageFile& file, const SourceTables& tables);

// The keys of a complex column in the rows `rows` gives, sorted.
std::vector<std::uint32_t> OwnerKeys(const PageFile& file, const TableDef& def, std::size_t column,
                                     const TableSource& rows);

// How many of the rows holding `keys` had items the salvage of their flat
// table could not keep, as the entries of its key index name them; nullopt
// when that index cannot be read.
std::optional<std::uint64_t> RowsMissingItems(const PageFile& file, const TableDef& flat, std::size_t key_column,
                                              const SalvagedRows& kept, const std::vector<std::uint32_t>& keys);

// A flat table's items whose key one of `keys` holds; the others are passed
// over, their index entries too.
class OwnedItemsTable final : public TableSource {
public:
    OwnedItemsTable(const PageFile& file, const TableDef& flat, std::size_t key_column,
                    std::unique_ptr<TableSource> items, std::vector<std::uint32_t> keys);
    void Rows(const RowVisitor& visit) const override;
    void Entries(std::size_t index, const EntryVisitor& visit) const override;
    std::uint64_t orphans() const { return orphans_.size(); }

private:
    bool Owned(ByteSpan body) const;

    const PageFile& file_;
    const TableDef& flat_;
    std::size_t key_column_;
    std::unique_ptr<TableSource> items_;
    std::vector<std::uint32_t> keys_;
    RowSet orphans_;
};

}  // namespace dorvane::jet::compact
