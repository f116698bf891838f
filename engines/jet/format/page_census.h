#pragma once
// A plain count of the file's pages, kept apart from every other reading: one
// pass records each data page's owner and how many live rows its slot table
// shows, and which pages the database-wide map marks free. What a repaired
// copy lacks, and which tables hold rows without a catalog row naming them,
// are read off it.

#include <cstdint>
#include <vector>

#include "engines/jet/format/page_numbers.h"

namespace dorvane::jet {

class PageFile;

class PageCensus {
public:
    explicit PageCensus(const PageFile& file);

    // Data pages whose owner field names the table defined at `table`, ascending.
    std::vector<std::uint32_t> PagesOwnedBy(std::uint32_t table) const;
    // Live rows the slot table of `page` shows (0 for what is not a data page).
    std::uint32_t LiveRows(std::uint32_t page) const { return page < live_.size() ? live_[page] : 0; }
    // Whether the database-wide map marks `page` free.
    bool IsFree(std::uint32_t page) const { return page < free_.size() && free_[page]; }

    struct Owner {
        std::uint32_t table;  // the definition page the pages name as their owner
        std::uint64_t rows;   // live rows on them
    };
    // Owners other than `known` (sorted) whose pages hold live rows and are in
    // use (not free in the database-wide map), where the owner is a page in
    // use too: pages a dropped table left behind are free with its
    // definition. The owner's page need not read as a definition: one whose
    // type byte was damaged still owns its rows.
    std::vector<Owner> OtherOwners(const std::vector<std::uint32_t>& known) const;

private:
    // The owner a data page names, 0 for other pages.
    std::uint32_t OwnerOf(std::uint32_t page) const {
        const std::uint32_t number = owner_number_.Get(page);
        return number == 0 ? 0 : owners_[number - 1];
    }

    // The owners data pages name, each once, and per page 1 + its owner's
    // place there (0: not a data page).
    std::vector<std::uint32_t> owners_;
    PageNumbers owner_number_;
    std::vector<std::uint8_t> live_;  // per page: live rows its slot table shows
    std::vector<bool> free_;          // per page: free in the database-wide map
};

}  // namespace dorvane::jet
