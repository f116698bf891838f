#include "engines/jet/compact/rows.h"

#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_scan.h"

namespace dorvane::jet::compact {

LiveRowCursor::LiveRowCursor(const PageFile& file, const TableDef& def)
    : file_(file), pages_(TableDataPages(file, def)) {}

bool LiveRowCursor::Next(LiveRow& row) {
    for (;;) {
        if (page_) {
            while (nextSlot_ < page_->slots().size()) {
                const std::size_t slot = nextSlot_++;
                const SlotKind kind = page_->slots()[slot].kind;
                if (kind != SlotKind::kLive && kind != SlotKind::kOverflowPointer) continue;
                row.header = {page_->number(), static_cast<std::uint8_t>(slot)};
                row.body = ResolveRowBody(file_, *page_, slot);
                return true;
            }
            page_.reset();
        }
        if (nextPage_ >= pages_.size()) return false;
        const std::uint32_t number = pages_[nextPage_++];
        page_ = DataPage::Parse(file_.format(), number, file_.ReadPage(number));
        nextSlot_ = 0;
    }
}

}  // namespace dorvane::jet::compact
