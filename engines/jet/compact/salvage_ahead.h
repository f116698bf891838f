#pragma once
// A repair's first pass puts off the first table it cannot read and goes
// on with the others until the full check has finished. Meanwhile, on a core
// of their own and through a reader of their own, the census of the source,
// its tables as a repair reads them, their maps and a salvage of that table
// are made ahead. The second pass takes the census, the tables and the maps
// as soon as the check is done, keeps or writes the other tables first and
// that table last, by when its salvage has had the others' writing to finish
// in. The salvage is made with every index in question (nothing from the
// check is known yet), as the second pass makes it where the check questions
// them all, as it does for a table that lost rows; elsewhere the second pass
// salvages the table again and this one is dropped unused.

#include <cstddef>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <utility>

#include "engines/jet/compact/salvage.h"
#include "engines/jet/compact/salvager.h"
#include "engines/jet/compact/source_tables.h"
#include "engines/jet/format/page_census.h"
#include "engines/jet/format/source_maps.h"

namespace dorvane::jet::compact {

class SalvageAhead {
public:
    // `spill`: where the salvage's rebuilt indexes may spill, apart from the
    // second pass's own.
    SalvageAhead(const PageFile& file, std::filesystem::path spill) : file_(file), spill_(std::move(spill)) {}
    SalvageAhead(const SalvageAhead&) = delete;
    SalvageAhead& operator=(const SalvageAhead&) = delete;
    // Waits for the work started, which reads the held source.
    ~SalvageAhead();

    // Never throws: whatever fails here fails again, and is reported, in the
    // second pass. A file read from memory has no second reader: the work is
    // then done before this returns.
    void Start(const std::string& table) noexcept;

    // What the second pass reads: the work's once it has made them, made now
    // where it did not.
    const PageCensus& Census();
    const SourceTables& Tables();
    const SourceMaps& Maps();
    // The salvage being made ahead, for the second pass to use if it would
    // make the same.
    void OfferTo(Salvager& salvager);

private:
    // Census, tables, maps, then the salvage of `table`, through `file`.
    // `read` is told once census_, tables_ and maps_ are made (they are all
    // left empty if one fails); nothing here changes them after that.
    std::optional<TableSalvage> Make(const PageFile& file, const std::string& table, std::promise<void> read);
    void WaitForRead();

    const PageFile& file_;
    std::filesystem::path spill_;
    std::optional<PageCensus> census_;
    std::optional<SourceTables> tables_;
    std::optional<SourceMaps> maps_;
    std::future<void> read_;
    std::optional<std::size_t> table_;  // set by the work before `read`
    std::future<std::optional<TableSalvage>> salvage_;
};

}  // namespace dorvane::jet::compact
