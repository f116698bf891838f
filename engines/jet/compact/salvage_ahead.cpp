#include "engines/jet/compact/salvage_ahead.h"

namespace dorvane::jet::compact {

void SalvageAhead::Start(const std::string& table) noexcept {
    try {
        census_.emplace(file_);
        tables_.emplace(ReadTablesForRepair(file_, *census_));
        for (std::size_t i = 0; i < tables_->entries.size(); ++i) {
            if (tables_->entries[i].name != table) continue;
            RepairReport unused;
            const Salvager salvager(file_, *tables_, *census_, std::nullopt, unused, spill_);
            salvage_.emplace(i, salvager.Salvage(i));
            return;
        }
    } catch (...) {
        salvage_.reset();  // made again in the second pass, which reports what fails
    }
}

const PageCensus& SalvageAhead::Census() {
    if (!census_) census_.emplace(file_);
    return *census_;
}

const SourceTables& SalvageAhead::Tables() {
    if (!tables_) tables_.emplace(ReadTablesForRepair(file_, Census()));
    return *tables_;
}

void SalvageAhead::OfferTo(Salvager& salvager) {
    if (!salvage_) return;
    salvager.Offer(salvage_->first, std::move(salvage_->second));
    salvage_.reset();
}

}  // namespace dorvane::jet::compact
