#pragma once
// What the tables' usage maps say of the file's pages, read once for all
// tables: which table's map lists each data page, and which memo/OLE column's
// map lists each long-value page. A page another table or column claims is
// evidence that a row or a value pointing there is wrong.

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "engines/jet/format/page_numbers.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

class PageFile;

class SourceMaps {
public:
    // What is read: every map, or only the memo/OLE columns' (a check asks
    // nothing of the data pages, and each kind takes a byte or more a page).
    enum class Kinds { kAll, kLongValues };

    SourceMaps() = default;
    // Maps that cannot be read list nothing. Where two maps list a page, the
    // first table's claim is kept.
    SourceMaps(const PageFile& file, const std::vector<TableDef>& defs, Kinds kinds = Kinds::kAll);

    // The definition page of the table whose map lists data page `page`
    // (none where only long values were read).
    std::optional<std::uint32_t> DataPageTable(std::uint32_t page) const;
    // Whether the maps of two tables list data page `page`.
    bool DataPageListedTwice(std::uint32_t page) const { return listed_twice_.contains(page); }

    struct ColumnOf {
        std::uint32_t table = 0;   // definition page
        std::uint16_t column = 0;  // column number
        bool operator==(const ColumnOf&) const = default;
    };
    // The memo/OLE column whose map lists long-value page `page`.
    std::optional<ColumnOf> LongValueColumn(std::uint32_t page) const;

private:
    // The claimant of every page of the file, 1 + its place in tables_ or
    // columns_ (page_numbers.h).
    class Claims {
    public:
        Claims() = default;
        explicit Claims(std::uint32_t pages) : numbers_(pages) {}
        // The first claim of a page counts; false where another claimant was first.
        bool Claim(std::uint32_t page, std::uint32_t claimant) {
            const std::uint32_t held = numbers_.Get(page);
            if (held == 0) numbers_.Set(page, claimant + 1);
            return held == 0 || held == claimant + 1;
        }
        std::optional<std::uint32_t> Of(std::uint32_t page) const {
            const std::uint32_t held = numbers_.Get(page);
            if (held == 0) return std::nullopt;
            return held - 1;
        }

    private:
        PageNumbers numbers_;
    };

    Claims data_;
    std::set<std::uint32_t> listed_twice_;  // none in a sound file
    Claims long_values_;
    std::vector<std::uint32_t> tables_;
    std::vector<ColumnOf> columns_;
};

}  // namespace dorvane::jet
