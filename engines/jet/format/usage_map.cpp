#include "engines/jet/format/usage_map.h"

#include "engines/jet/format/page_file.h"

namespace dorvane::jet {

namespace {

void AddBits(ByteSpan bitmap, std::uint64_t base, std::uint64_t limit, std::vector<std::uint32_t>& pages) {
    for (std::size_t i = 0; i < bitmap.size(); ++i) {
        const std::uint8_t byte = bitmap[i];
        if (byte == 0) continue;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((byte & (1u << bit)) == 0) continue;
            const std::uint64_t page = base + i * 8 + bit;
            if (page < limit) pages.push_back(static_cast<std::uint32_t>(page));
        }
    }
}
}  // namespace

UsageMap DecodeUsageMap(const PageFile& file, ByteSpan record) {
    UsageMap map;
    if (record.empty()) ThrowCorrupt("an empty usage map record");
    map.type = record[0];
    if (map.type == kUsageMapInline) {
        if (record.size() < kUsageMapInlineHeader) ThrowCorrupt("a usage map record is too short");
        map.start_page = Le32(record, kUsageMapStartPage);
        // Page numbers have 24 bits; anything larger cannot be a page.
        AddBits(record.subspan(kUsageMapInlineHeader), map.start_page, std::uint64_t{1} << 24, map.pages);
        return map;
    }
    if (map.type != kUsageMapReference) {
        ThrowCorrupt("a usage map has unknown type " + std::to_string(map.type));
    }
    const std::uint64_t perPage = PagesPerBitmapPage(file.format());
    const std::size_t slots = (record.size() - ReferenceSlotOffset(0)) / 4;
    Bytes bitmap;
    for (std::size_t j = 0; j < slots; ++j) {
        const std::uint32_t page = Le32(record, ReferenceSlotOffset(j));
        if (page == 0) continue;
        // Slots that cover no page of the file are empty whatever they hold:
        // Access leaves values there that are no page at all (0xFFFFFF80 in a
        // sound file). Within the file, a slot naming a page past its end
        // means lost pages and stays an error, as does one naming a page of
        // another type.
        if (page >= file.page_count() && j * perPage >= file.page_count()) continue;
        file.ReadPage(page, bitmap);
        if (bitmap[0] != kPageUsageBitmap) {
            ThrowCorrupt("page " + std::to_string(page) + " should be a usage bitmap but has type " +
                         std::to_string(bitmap[0]));
        }
        AddBits(ByteSpan(bitmap).subspan(kUsageBitmapPageHeader), j * perPage, file.page_count(), map.pages);
    }
    return map;
}

UsageMap ReadUsageMap(const PageFile& file, RowPointer record) {
    const StoredRow row = ReadStoredRow(file, record);
    if (row.kind != SlotKind::kLive) {
        ThrowCorrupt("the usage map at " + record.ToString() + " is deleted");
    }
    return DecodeUsageMap(file, row.bytes);
}

UsageMap ReadGlobalFreeMap(const PageFile& file) { return ReadUsageMap(file, RowPointer{kGlobalMapPage, 0}); }

}  // namespace dorvane::jet
