#pragma once
// How a pass over the source takes each table for the copy, chosen once for
// the pass: every table as stored (a compaction, a repair's first pass), or
// the damaged ones salvaged (a repair, see salvager.h).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

#include "engines/jet/compact/source_tables.h"
#include "engines/jet/compact/table_source.h"

namespace dorvane::jet::compact {

class TableReading {
public:
    virtual ~TableReading() = default;
    // The tables' indexes in the order they are written: each once.
    virtual std::vector<std::size_t> WritingOrder() const = 0;
    // Table `table`'s rows and entries for the copy; asked once per table, in
    // the writing order.
    virtual std::unique_ptr<TableSource> ForCopy(std::size_t table) = 0;
    // That the table was written with `rows` rows.
    virtual void Copied(std::size_t table, std::uint64_t rows) = 0;
    // The same reading again, for the verification to name a difference.
    virtual std::unique_ptr<TableSource> Again(std::size_t table) const = 0;
};

class StoredTables final : public TableReading {
public:
    StoredTables(const PageFile& file, const SourceTables& tables) : file_(file), tables_(tables) {}
    std::vector<std::size_t> WritingOrder() const override {
        std::vector<std::size_t> order(tables_.defs.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        return order;
    }
    std::unique_ptr<TableSource> ForCopy(std::size_t table) override { return Again(table); }
    void Copied(std::size_t, std::uint64_t) override {}
    std::unique_ptr<TableSource> Again(std::size_t table) const override {
        return std::make_unique<StoredTable>(file_, tables_.defs.at(table));
    }

private:
    const PageFile& file_;
    const SourceTables& tables_;
};

}  // namespace dorvane::jet::compact
