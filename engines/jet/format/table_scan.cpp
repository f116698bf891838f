#include "engines/jet/format/table_scan.h"

#include "engines/jet/format/page_file.h"
#include "engines/jet/format/usage_map.h"

namespace dorvane::jet {

std::vector<std::uint32_t> TableDataPages(const PageFile& file, const TableDef& def) {
    const UsageMap map = ReadUsageMap(file, RowPointer::FromU32(def.owned_map));
    std::vector<std::uint32_t> pages;
    Bytes buffer;
    for (std::uint32_t page : map.pages) {
        file.ReadPage(page, buffer);
        if (buffer[0] == kPageData && Le32(buffer, file.format().page_owner) == def.page) pages.push_back(page);
    }
    return pages;
}

RowCursor::RowCursor(const PageFile& file, const TableDef& def) : file_(file), pages_(TableDataPages(file, def)) {}

bool RowCursor::Next(TableRow& row) {
    for (;;) {
        if (page_) {
            while (next_slot_ < page_->slots().size()) {
                const std::size_t slot = next_slot_++;
                const SlotKind kind = page_->slots()[slot].kind;
                if (kind == SlotKind::kDeleted || kind == SlotKind::kOverflowTarget) continue;
                row.header = {page_->number(), static_cast<std::uint8_t>(slot)};
                if (kind == SlotKind::kLive) {
                    row.body = page_->SlotBytes(slot);
                } else {
                    relocated_ = ResolveRowBody(file_, *page_, slot);
                    row.body = relocated_;
                }
                return true;
            }
            page_.reset();
        }
        if (next_page_ >= pages_.size()) return false;
        const std::uint32_t number = pages_[next_page_++];
        page_ = DataPage::Parse(file_.format(), number, file_.ReadPage(number));
        next_slot_ = 0;
    }
}

}  // namespace dorvane::jet
