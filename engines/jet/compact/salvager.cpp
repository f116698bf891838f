#include "engines/jet/compact/salvager.h"

#include <algorithm>
#include <set>
#include <string>

#include "core/error.h"
#include "engines/jet/format/source_maps.h"

namespace dorvane::jet::compact {

Salvager::Salvager(const PageFile& file, const SourceTables& tables, const PageCensus& census, const SourceMaps& maps,
                   const std::optional<CheckReport>& findings, RepairReport& report, std::filesystem::path spill)
    : file_(file), tables_(tables), census_(census), findings_(findings), report_(report) {
    sources_.spill = std::move(spill);
    sources_.maps = &maps;
    sources_.census = &census;
    for (const RestoredTable& restored : tables.restored) {
        catalog_rows_.emplace_back(restored.row, restored.body);
        report.restored_tables.push_back({restored.entry.name, restored.why});
    }
    item_owners_ = FindItemOwners(file, tables);
    for (const PageCensus::Owner& owner : tables.unnamed)
        report.lost_tables.push_back("the table defined at page " + std::to_string(owner.table) + " (" +
                                     std::to_string(owner.rows) + " rows), which no catalog row names");
}

bool Salvager::NeedsSalvage(std::size_t table) const {
    if (!findings_ || findings_->damaged_tables.contains(tables_.entries[table].name)) return true;
    return std::any_of(tables_.restored.begin(), tables_.restored.end(),
                       [&](const RestoredTable& r) { return r.entry.id == tables_.entries[table].id; });
}

TableSalvage Salvager::Salvage(std::size_t table, const char* spill_suffix) const {
    const std::string& name = tables_.entries[table].name;
    SalvageSources sources = sources_;
    if (!sources.spill.empty()) sources.spill += spill_suffix;
    sources.system_table = tables_.entries[table].IsSystem();
    if (tables_.defs[table].page == kCatalogPage) sources.restored_rows = catalog_rows_;
    if (findings_) {
        const auto mismatches = findings_->key_mismatches.find(name);
        sources.keys_in_question =
            mismatches != findings_->key_mismatches.end() ? mismatches->second : std::set<std::size_t>{};
    }
    return SalvageTable(file_, tables_.defs[table], name, sources);
}

std::unique_ptr<TableSource> Salvager::OwnedItemsOnly(std::size_t table, std::unique_ptr<TableSource> items,
                                                      std::uint64_t& orphans) const {
    orphans = 0;
    const auto owner = item_owners_.find(table);
    if (owner == item_owners_.end() || (!NeedsSalvage(table) && !NeedsSalvage(owner->second.table))) return items;
    auto owned = std::make_unique<OwnedItemsTable>(file_, tables_.defs[table], owner->second.key_column,
                                                   std::move(items), OwnerKeysOf(table));
    orphans = owned->orphans();
    return owned;
}

const std::vector<std::uint32_t>& Salvager::OwnerKeysOf(std::size_t flat_table) const {
    if (const auto known = owner_keys_.find(flat_table); known != owner_keys_.end()) return known->second;
    const ItemOwner& owner = item_owners_.at(flat_table);
    const TableDef& def = tables_.defs[owner.table];
    // The owner's rows as the copy holds them; its spill files apart from the items'.
    return owner_keys_[flat_table] =
               NeedsSalvage(owner.table)
                   ? OwnerKeys(file_, def, owner.column, SalvagedTable(file_, Salvage(owner.table, "-owners")))
                   : OwnerKeys(file_, def, owner.column, StoredTable(file_, def));
}

// A system table holds forms, modules, queries and permissions: dropping any
// of it would break the product silently, so a system table that lost
// anything is refused. A complex column's items are a user's values, kept in
// a system table of their own: what they lose is told like a table's rows.
std::unique_ptr<TableSource> Salvager::ForCopy(std::size_t table) {
    std::optional<TableSalvage> ahead;
    if (offered_table_ == table && offered_.valid()) {
        ahead = offered_.get();
        // Otherwise its sorters' spill files go with it here.
        if (ahead && (!NeedsSalvage(table) || !EveryIndexQuestioned(table, *ahead))) ahead.reset();
    }
    if (!NeedsSalvage(table))
        return OwnedItemsOnly(table, std::make_unique<StoredTable>(file_, tables_.defs[table]), orphans_[table]);
    const CatalogEntry& entry = tables_.entries[table];
    const bool items = item_owners_.contains(table);
    TableSalvage salvage = ahead ? std::move(*ahead) : Salvage(table);
    if (entry.IsSystem() && !items && salvage.in_doubt())
        ThrowCorrupt("system table \"" + entry.name + "\" cannot be repaired: its rows cannot all be read");
    TableRepair& repaired = report_.tables.emplace_back();
    repaired.name = entry.name;
    repaired.rows_kept = salvage.rows.size();
    const std::uint64_t missing = Missing(tables_.defs[table].page, salvage);
    const std::uint64_t deliberate = salvage.rows_resurrected;
    repaired.rows_dropped = std::max(salvage.rows_dropped, missing > deliberate ? missing - deliberate : 0);
    repaired.possibly_lost = salvage.possibly_lost;
    repaired.values_cut = salvage.values_cut;
    repaired.stale_entries = salvage.stale_entries;
    repaired.rows_disputed = salvage.rows_disputed;
    repaired.rows_kept_deleted = salvage.rows_kept_deleted;
    repaired.rows_resurrected = salvage.rows_resurrected;
    repaired.rebuilt_indexes = salvage.rebuilt_indexes;
    if (items) {
        const ItemOwner& owner = item_owners_.at(table);
        repaired.items_of = owner.Describe(tables_);
        if (repaired.rows_dropped + repaired.possibly_lost != 0)
            repaired.rows_missing_items =
                RowsMissingItems(file_, tables_.defs[table], owner.key_column, salvage.rows, OwnerKeysOf(table));
    }
    auto source =
        OwnedItemsOnly(table, std::make_unique<SalvagedTable>(file_, std::move(salvage)), repaired.items_orphaned);
    repaired.rows_kept -= repaired.items_orphaned;
    return source;
}

// A table the check found sound, copied as a compaction copies it.
void Salvager::Copied(std::size_t table, std::uint64_t rows) {
    if (NeedsSalvage(table)) return;
    TableRepair& copied = report_.tables.emplace_back();
    copied.name = tables_.entries[table].name;
    copied.rows_kept = rows;
    if (const auto owner = item_owners_.find(table); owner != item_owners_.end()) {
        copied.items_of = owner->second.Describe(tables_);
        copied.items_orphaned = orphans_[table];
    }
}

void Salvager::Offer(std::size_t table, std::future<std::optional<TableSalvage>> salvage) {
    offered_table_ = table;
    offered_ = std::move(salvage);
}

bool Salvager::CopiesAsStored(std::size_t table) const {
    if (NeedsSalvage(table)) return false;
    const auto owner = item_owners_.find(table);
    return owner == item_owners_.end() || !NeedsSalvage(owner->second.table);
}

std::vector<std::size_t> Salvager::WritingOrder() const {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < tables_.defs.size(); ++i)
        if (i != offered_table_) order.push_back(i);
    if (offered_table_ && *offered_table_ < tables_.defs.size()) order.push_back(*offered_table_);
    return order;
}

bool Salvager::EveryIndexQuestioned(std::size_t table, const TableSalvage& made) const {
    if (!findings_ || made.map_lost) return true;
    const auto mismatches = findings_->key_mismatches.find(tables_.entries[table].name);
    if (mismatches == findings_->key_mismatches.end()) return false;
    for (std::size_t i = 0; i < tables_.defs[table].physical_indexes.size(); ++i)
        if (!mismatches->second.contains(i)) return false;
    return true;
}

std::unique_ptr<TableSource> Salvager::Again(std::size_t table) const {
    std::uint64_t orphans = 0;
    if (!NeedsSalvage(table))
        return OwnedItemsOnly(table, std::make_unique<StoredTable>(file_, tables_.defs[table]), orphans);
    return OwnedItemsOnly(table, std::make_unique<SalvagedTable>(file_, Salvage(table)), orphans);
}

std::uint64_t Salvager::Missing(std::uint32_t table, const TableSalvage& salvage) const {
    std::uint64_t missing = 0;
    for (std::uint32_t page : census_.PagesOwnedBy(table)) {
        const std::uint64_t here = salvage.rows.CountOn(page);
        if (census_.LiveRows(page) > here) missing += census_.LiveRows(page) - here;
    }
    return missing;
}

}  // namespace dorvane::jet::compact
