#pragma once
// Where the writer puts things on the pages it builds, for Jet 3 (2 KiB pages)
// and Jet 4 (4 KiB pages).

#include <cstddef>
#include <cstdint>

namespace dorvane::jet::compact {

struct PageLayout {
    bool jet3 = false;
    std::size_t pageSize = 4096;

    // Data pages (table rows, long values, usage-map records, page 1).
    std::size_t dataRowCount = 12;  // u16 slot count
    std::size_t dataRowTable = 14;  // first u16 slot offset

    // Index pages.
    std::size_t indexPrev = 12;
    std::size_t indexNext = 16;
    std::size_t indexTail = 20;
    std::size_t indexPrefix = 24;    // u8 (Jet 3) or u16 (Jet 4)
    std::size_t indexNodeFlag = 26;
    std::size_t indexMask = 0x1B;
    std::size_t indexEntries = 0x1E0;
    std::size_t indexDataLimit = 3616;

    // Usage-map records: the default length, and pages per type-0x05 bitmap page.
    std::size_t mapRecordLength = 69;

    // Rows of a long-value chain other than the last: link plus data.
    std::size_t longValueSegmentRow = 4076;

    static constexpr unsigned kMaxRowsPerPage = 255;

    std::size_t DataCapacity() const { return pageSize - dataRowTable; }
    std::size_t MapPagesBits() const { return (pageSize - 4) * 8; }
    std::size_t MapReferenceSlots() const { return (mapRecordLength - 1) / 4; }
    std::size_t MapInlineBits() const { return (mapRecordLength - 5) * 8; }

    static PageLayout Jet3() {
        PageLayout l;
        l.jet3 = true;
        l.pageSize = 2048;
        l.dataRowCount = 8;
        l.dataRowTable = 10;
        l.indexPrev = 8;
        l.indexNext = 12;
        l.indexTail = 16;
        l.indexPrefix = 20;
        l.indexNodeFlag = 21;
        l.indexMask = 0x16;
        l.indexEntries = 0xF8;
        l.indexDataLimit = 1800;
        l.mapRecordLength = 133;
        l.longValueSegmentRow = 2036;
        return l;
    }
    static PageLayout Jet4() { return PageLayout{}; }
};

}  // namespace dorvane::jet::compact
