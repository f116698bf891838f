#include "engines/jet/format/table_scan.h"

#include "engines/jet/format/page_file.h"
#include "engines/jet/format/usage_map.h"

namespace dorvane::jet {

bool IsDataPageOf(const PageFile& file, std::uint32_t owner, ByteSpan page) {
    return U8(page, 0) == kPageData && Le32(page, file.format().page_owner) == owner;
}

std::vector<std::uint32_t> TableDataPages(const PageFile& file, const TableDef& def) {
    const UsageMap map = ReadUsageMap(file, RowPointer::FromU32(def.owned_map));
    std::vector<std::uint32_t> pages;
    Bytes buffer;
    for (std::uint32_t page : map.pages) {
        file.ReadPage(page, buffer);
        if (IsDataPageOf(file, def.page, buffer)) pages.push_back(page);
    }
    return pages;
}

// Each listed page is read once, as its rows are reached: reading them all
// first to sort out other owners' would read a large table twice.
RowCursor::RowCursor(const PageFile& file, const TableDef& def)
    : file_(file), owner_(def.page), pages_(ReadUsageMap(file, RowPointer::FromU32(def.owned_map)).pages) {}

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
            buffer_ = std::move(*page_).ReleaseBytes();
            page_.reset();
        }
        if (next_page_ >= pages_.size()) return false;
        const std::uint32_t number = pages_[next_page_++];
        file_.ReadPage(number, buffer_);
        if (!IsDataPageOf(file_, owner_, buffer_)) continue;
        data_pages_.push_back(number);
        page_ = DataPage::Parse(file_.format(), number, std::move(buffer_));
        next_slot_ = 0;
    }
}

}  // namespace dorvane::jet
