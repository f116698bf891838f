#pragma once
// A repair's reading of the source: the tables the full check found damaged
// (all of them where it could not finish) salvaged just before each is
// written, the others read as a compaction reads them; each table's outcome
// told to the repair's report. Memory holds one table's salvage at a time,
// besides one made ahead (salvage_ahead.h). What the copy lacks is counted
// off the census of the source's pages, not off the salvage's own view.

#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "engines/jet/check/checker.h"
#include "engines/jet/compact/compaction.h"
#include "engines/jet/compact/owned_items.h"
#include "engines/jet/compact/salvage.h"
#include "engines/jet/compact/table_reading.h"
#include "engines/jet/format/page_census.h"

namespace dorvane::jet::compact {

class Salvager final : public TableReading {
public:
    // `maps`: the tables' maps as SourceMaps reads them, kept by the caller.
    // `findings`: the full check's, when it finished.
    // `spill`: where a rebuilt index's entries may spill while they are
    // sorted, beside the copy (see write::EntrySorter).
    Salvager(const PageFile& file, const SourceTables& tables, const PageCensus& census, const SourceMaps& maps,
             const std::optional<CheckReport>& findings, RepairReport& report, std::filesystem::path spill = {});

    std::unique_ptr<TableSource> ForCopy(std::size_t table) override;
    void Copied(std::size_t table, std::uint64_t rows) override;
    std::unique_ptr<TableSource> Again(std::size_t table) const override;

    // The table salvaged as the findings say (every index in question without
    // them); `spill_suffix` keeps its sorters' spill files apart from another's.
    TableSalvage Salvage(std::size_t table, const char* spill_suffix = "") const;
    // A salvage of `table` being made ahead with every index in question,
    // used if the findings question them all too (see salvage_ahead.h); the
    // table is then written last, to give it time.
    void Offer(std::size_t table, std::future<std::optional<TableSalvage>> salvage);
    std::vector<std::size_t> WritingOrder() const override;
    // Whether `table` goes into the copy as a compaction copies it.
    bool CopiesAsStored(std::size_t table) const;

private:
    bool NeedsSalvage(std::size_t table) const;
    // A flat table's items without those whose row the copy lacks, when the
    // table or its rows' table is salvaged; `orphans`: how many were left out.
    std::unique_ptr<TableSource> OwnedItemsOnly(std::size_t table, std::unique_ptr<TableSource> items,
                                                std::uint64_t& orphans) const;
    // The keys the rows of a flat table's owner hold in the copy, sorted.
    const std::vector<std::uint32_t>& OwnerKeysOf(std::size_t flat_table) const;
    // Whether the salvage of `table` weighs every index's keys on sound pages.
    bool EveryIndexQuestioned(std::size_t table, const TableSalvage& made) const;
    // Live rows on the table's pages, as the census counts them, that the
    // salvage does not hold.
    std::uint64_t Missing(std::uint32_t table, const TableSalvage& salvage) const;

    const PageFile& file_;
    const SourceTables& tables_;
    const PageCensus& census_;
    std::optional<CheckReport> findings_;
    RepairReport& report_;
    SalvageSources sources_;
    std::vector<std::pair<RowPointer, Bytes>> catalog_rows_;
    std::map<std::size_t, ItemOwner> item_owners_;                          // by flat table
    std::map<std::size_t, std::uint64_t> orphans_;                          // of flat tables copied as stored
    mutable std::map<std::size_t, std::vector<std::uint32_t>> owner_keys_;  // by flat table
    std::optional<std::size_t> offered_table_;
    std::future<std::optional<TableSalvage>> offered_;
};

}  // namespace dorvane::jet::compact
