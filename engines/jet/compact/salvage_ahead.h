#pragma once
// A repair's first pass waits for the full check once its copy has failed on
// a damaged table, and the core it copied on stays idle until the check is
// done. There the census of the source, its tables as a repair reads them and
// a salvage of that table are made ahead, so that the second pass does not
// wait for them. The salvage is made with every index in question (nothing
// from the check is known yet), as the second pass makes it where the check
// questions them all, as it does for a table that lost rows; elsewhere the
// second pass salvages the table again and this one is dropped unused.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "engines/jet/compact/salvage.h"
#include "engines/jet/compact/salvager.h"
#include "engines/jet/compact/source_tables.h"
#include "engines/jet/compact/table_reading.h"
#include "engines/jet/format/page_census.h"

namespace dorvane::jet::compact {

// The stored tables, remembering which one the copy was reading when it failed.
class WatchedReading final : public TableReading {
public:
    explicit WatchedReading(TableReading& reading) : reading_(reading) {}
    std::unique_ptr<TableSource> ForCopy(std::size_t table) override {
        reading_now_ = table;
        return reading_.ForCopy(table);
    }
    void Copied(std::size_t table, std::uint64_t rows) override {
        reading_now_.reset();
        reading_.Copied(table, rows);
    }
    std::unique_ptr<TableSource> Again(std::size_t table) const override { return reading_.Again(table); }
    // The table whose copy did not finish.
    std::optional<std::size_t> Unfinished() const { return reading_now_; }

private:
    TableReading& reading_;
    std::optional<std::size_t> reading_now_;
};

class SalvageAhead {
public:
    // `spill`: where the salvage's rebuilt indexes may spill, apart from the
    // second pass's own.
    SalvageAhead(const PageFile& file, std::filesystem::path spill) : file_(file), spill_(std::move(spill)) {}

    // Never throws: whatever fails here fails again, and is reported, in the
    // second pass.
    void Start(const std::string& table) noexcept;

    // What the second pass reads, made now if it was not made ahead.
    const PageCensus& Census();
    const SourceTables& Tables();
    // The salvage made ahead, for the second pass to use if it would make the same.
    void OfferTo(Salvager& salvager);

private:
    const PageFile& file_;
    std::filesystem::path spill_;
    std::optional<PageCensus> census_;
    std::optional<SourceTables> tables_;
    std::optional<std::pair<std::size_t, TableSalvage>> salvage_;
};

}  // namespace dorvane::jet::compact
