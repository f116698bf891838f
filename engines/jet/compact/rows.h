#pragma once
// Live rows of a table, one at a time, in stored order: data pages ascending,
// slots in order, an overflowed row read through its header slot. Pull-style,
// so that the verifier can walk the source and the copy side by side.

#include <cstdint>
#include <optional>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {
class PageFile;
}

namespace dorvane::jet::compact {

struct LiveRow {
    jet::RowPointer header;  // the identity indexes point at
    jet::Bytes body;
};

class LiveRowCursor {
public:
    LiveRowCursor(const PageFile& file, const TableDef& def);
    // The next live row, or false at the end.
    bool Next(LiveRow& row);

private:
    const PageFile& file_;
    std::vector<std::uint32_t> pages_;
    std::size_t nextPage_ = 0;
    std::optional<DataPage> page_;
    std::size_t nextSlot_ = 0;
};

}  // namespace dorvane::jet::compact
