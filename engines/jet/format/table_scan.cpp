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
        if (buffer[0] == kPageData && Le32(buffer, file.format().data_owner) == def.page) pages.push_back(page);
    }
    return pages;
}

void ScanRows(const PageFile& file, const TableDef& def,
              const std::function<bool(RowPointer, ByteSpan)>& visit) {
    for (std::uint32_t number : TableDataPages(file, def)) {
        const DataPage page = DataPage::Parse(file.format(), number, file.ReadPage(number));
        for (std::size_t slot = 0; slot < page.slots().size(); ++slot) {
            const SlotKind kind = page.slots()[slot].kind;
            if (kind == SlotKind::kDeleted || kind == SlotKind::kOverflowTarget) continue;
            const RowPointer id{number, static_cast<std::uint8_t>(slot)};
            bool more = true;
            if (kind == SlotKind::kLive) {
                more = visit(id, page.SlotBytes(slot));
            } else {
                const Bytes body = ResolveRowBody(file, page, slot);
                more = visit(id, body);
            }
            if (!more) return;
        }
    }
}

}  // namespace dorvane::jet
