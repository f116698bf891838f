#include "engines/jet/compact/salvage_ahead.h"

#include <exception>

#include "engines/jet/format/page_file.h"

namespace dorvane::jet::compact {

SalvageAhead::~SalvageAhead() {
    if (salvage_.valid()) salvage_.wait();
}

void SalvageAhead::Start(const std::string& table) noexcept {
    try {
        std::promise<void> read;
        read_ = read.get_future();
        if (file_.path().empty()) {
            std::promise<std::optional<TableSalvage>> made;
            made.set_value(Make(file_, table, std::move(read)));
            salvage_ = made.get_future();
            return;
        }
        salvage_ = std::async(std::launch::async, [this, table, read = std::move(read)]() mutable {
            std::optional<PageFile> own;
            try {
                own.emplace(PageFile::OpenCached(file_.path()));
            } catch (...) {
                read.set_exception(std::current_exception());
                return std::optional<TableSalvage>();
            }
            return Make(*own, table, std::move(read));
        });
    } catch (...) {
        // No thread to be had: the second pass makes everything itself.
        read_ = {};
        salvage_ = {};
    }
}

std::optional<TableSalvage> SalvageAhead::Make(const PageFile& file, const std::string& table,
                                               std::promise<void> read) {
    try {
        census_.emplace(file);
        tables_.emplace(ReadTablesForRepair(file, *census_));
        maps_.emplace(file, tables_->defs);
        for (std::size_t i = 0; i < tables_->entries.size(); ++i)
            if (tables_->entries[i].name == table) table_ = i;
    } catch (...) {
        census_.reset();
        tables_.reset();
        maps_.reset();
        table_.reset();
        read.set_exception(std::current_exception());
        return std::nullopt;
    }
    read.set_value();
    if (!table_) return std::nullopt;
    try {
        RepairReport unused;
        const Salvager salvager(file, *tables_, *census_, *maps_, std::nullopt, unused, spill_);
        return salvager.Salvage(*table_);
    } catch (...) {
        return std::nullopt;  // made again in the second pass, which reports what fails
    }
}

void SalvageAhead::WaitForRead() {
    if (!read_.valid()) return;
    try {
        read_.get();
    } catch (...) {
        // census_, tables_ and maps_ were left empty: made here instead
    }
}

const PageCensus& SalvageAhead::Census() {
    WaitForRead();
    if (!census_) census_.emplace(file_);
    return *census_;
}

const SourceTables& SalvageAhead::Tables() {
    WaitForRead();
    if (!tables_) tables_.emplace(ReadTablesForRepair(file_, Census()));
    return *tables_;
}

const SourceMaps& SalvageAhead::Maps() {
    WaitForRead();
    if (!maps_) maps_.emplace(file_, Tables().defs);
    return *maps_;
}

void SalvageAhead::OfferTo(Salvager& salvager) {
    WaitForRead();
    if (!table_ || !salvage_.valid()) return;
    salvager.Offer(*table_, std::move(salvage_));
}

}  // namespace dorvane::jet::compact
