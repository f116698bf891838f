#include "engines/jet/format/page_census.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "core/error.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/usage_map.h"
#include "platform/io_buffer.h"

namespace dorvane::jet {

namespace {

// Live rows a data page's slot table shows: slots that are neither deleted
// nor relocated bodies (those are counted through their pointers). A slot
// table that cannot be whole shows none.
std::uint8_t LiveRowsOf(const Format& format, ByteSpan page) {
    const std::size_t slots = Le16(page, format.data_row_count);
    if (format.data_row_offsets + 2 * slots > page.size()) return 0;
    std::size_t live = 0;
    for (std::size_t s = 0; s < slots; ++s) {
        const std::uint16_t flags = Le16(page, format.data_row_offsets + 2 * s) & kRowDeleted;
        if (flags == 0 || flags == kRowOverflowPointer) ++live;
    }
    return static_cast<std::uint8_t>(std::min<std::size_t>(live, 255));
}

}  // namespace

PageCensus::PageCensus(const PageFile& file)
    : owner_number_(file.page_count()), live_(file.page_count(), 0), free_(file.page_count(), false) {
    const Format& format = file.format();
    std::unordered_map<std::uint32_t, std::uint32_t> numbered;  // owner to its place in owners_, + 1
    std::uint32_t lastOwner = 0, lastNumber = 0;                // pages of one owner mostly come together
    // Read in runs of pages: every page is read, and only once.
    constexpr std::uint32_t kRunPages = 64;
    platform::IoBuffer run(std::size_t{kRunPages} * format.page_size);
    for (std::uint32_t first = 1; first < file.page_count(); first += kRunPages) {
        const std::uint32_t count = std::min(kRunPages, file.page_count() - first);
        file.ReadPages(first, count, std::span<std::uint8_t>(run).first(std::size_t{count} * format.page_size));
        for (std::uint32_t i = 0; i < count; ++i) {
            const ByteSpan page = ByteSpan(run).subspan(std::size_t{i} * format.page_size, format.page_size);
            if (page[0] != kPageData) continue;
            const std::uint32_t owner = Le32(page, format.page_owner);
            if (owner != lastOwner || lastNumber == 0) {
                const auto [at, added] = numbered.try_emplace(owner, static_cast<std::uint32_t>(owners_.size() + 1));
                if (added) owners_.push_back(owner);
                lastOwner = owner;
                lastNumber = at->second;
            }
            owner_number_.Set(first + i, lastNumber);
            live_[first + i] = LiveRowsOf(format, page);
        }
    }
    try {
        for (std::uint32_t number : ReadGlobalFreeMap(file).pages)
            if (number < free_.size()) free_[number] = true;
    } catch (const Error& e) {
        if (e.number() != errc::kCorrupt) throw;  // then no page counts as free
    }
}

std::vector<std::uint32_t> PageCensus::PagesOwnedBy(std::uint32_t table) const {
    std::vector<std::uint32_t> pages;
    const auto known = std::find(owners_.begin(), owners_.end(), table);
    if (table == 0 || known == owners_.end()) return pages;
    const auto wanted = static_cast<std::uint32_t>(known - owners_.begin() + 1);
    for (std::uint32_t number = 1; number < owner_number_.size(); ++number)
        if (owner_number_.Get(number) == wanted) pages.push_back(number);
    return pages;
}

std::vector<PageCensus::Owner> PageCensus::OtherOwners(const std::vector<std::uint32_t>& known) const {
    std::map<std::uint32_t, std::uint64_t> rows;
    for (std::uint32_t number = 1; number < owner_number_.size(); ++number) {
        const std::uint32_t owner = OwnerOf(number);
        if (live_[number] == 0 || free_[number] || owner <= kGlobalMapPage || owner >= live_.size() || free_[owner])
            continue;
        if (std::binary_search(known.begin(), known.end(), owner)) continue;
        rows[owner] += live_[number];
    }
    std::vector<Owner> out;
    for (const auto& [owner, count] : rows) out.push_back({owner, count});
    return out;
}

}  // namespace dorvane::jet
