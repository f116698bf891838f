#include "engines/jet/format/unlisted_tables.h"

#include <algorithm>

#include "core/error.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/text.h"

namespace dorvane::jet {

namespace {

// A catalog row's own fields, read leniently from any slot, deleted or live.
struct CatalogSlot {
    RowPointer row;
    bool deleted = false;
    Bytes body;
    CatalogEntry entry;
    std::size_t type_offset = 0;  // of the Type value in the body
};

std::vector<CatalogSlot> CatalogSlots(const PageFile& file, const PageCensus& census) {
    const TableDef def = ReadTableDef(file, kCatalogPage);
    const auto column = [&](const char* name) {
        const auto at = def.ColumnIndex(name);
        if (!at) ThrowCorrupt(std::string("the catalog has no column ") + name);
        return *at;
    };
    const std::size_t id = column("Id"), parent = column("ParentId"), name = column("Name"), type = column("Type"),
                      flags = column("Flags");
    std::vector<CatalogSlot> slots;
    for (std::uint32_t number : census.PagesOwnedBy(kCatalogPage)) {
        std::vector<std::size_t> unreadable;
        std::optional<DataPage> page;
        try {
            page = DataPage::ParseSalvaging(file.format(), number, file.ReadPage(number), unreadable);
        } catch (const Error& e) {
            if (e.number() != errc::kCorrupt) throw;
            continue;
        }
        for (std::size_t s = 0; s < page->slots().size(); ++s) {
            const SlotKind kind = page->slots()[s].kind;
            if (kind == SlotKind::kOverflowTarget || std::ranges::find(unreadable, s) != unreadable.end()) continue;
            try {
                CatalogSlot slot{{number, static_cast<std::uint8_t>(s)}, kind == SlotKind::kDeleted, {}, {}, 0};
                slot.body = kind == SlotKind::kDeleted ? Bytes(page->SlotBytes(s).begin(), page->SlotBytes(s).end())
                                                       : ResolveRowBody(file, *page, s);
                const RowFields fields = LocateFields(file.format(), def, slot.body);
                const auto number32 = [&](std::size_t c) -> std::int32_t {
                    const FieldSpan& f = fields.spans[c];
                    if (!f.present) return 0;
                    if (f.length == 4) return static_cast<std::int32_t>(Le32(slot.body, f.offset));
                    if (f.length == 2) return static_cast<std::int16_t>(Le16(slot.body, f.offset));
                    ThrowCorrupt("a catalog number of another size");
                };
                slot.entry.id = number32(id);
                slot.entry.parent_id = number32(parent);
                slot.entry.flags = static_cast<std::uint32_t>(number32(flags));
                if (!fields.spans[type].present || fields.spans[type].length != 2) continue;
                slot.entry.type = static_cast<std::int16_t>(number32(type));
                slot.type_offset = fields.spans[type].offset;
                const FieldSpan& n = fields.spans[name];
                if (n.present)
                    slot.entry.name = file.version() == Version::kJet3
                                          ? CodePageToUtf8(FieldBytes(slot.body, n), file.code_page())
                                          : Jet4TextToUtf8(FieldBytes(slot.body, n));
                slots.push_back(std::move(slot));
            } catch (const Error& e) {
                if (e.number() != errc::kCorrupt) throw;
            }
        }
    }
    return slots;
}

}  // namespace

UnlistedTables FindUnlistedTables(const PageFile& file, const PageCensus& census,
                                  const std::vector<std::uint32_t>& known) {
    UnlistedTables out;
    std::vector<PageCensus::Owner> owners = census.OtherOwners(known);
    // A live catalog row whose Id is a page in use but whose Type is not a
    // table's names a table, rows or none: no other object's Id is a page
    // number. Its definition page may itself be damaged; reading it tells.
    for (const CatalogEntry& entry : ReadCatalog(file)) {
        const auto id = static_cast<std::uint32_t>(entry.id);
        if (entry.IsTable() || id <= kCatalogPage || id >= file.page_count() || census.IsFree(id) ||
            std::binary_search(known.begin(), known.end(), id) ||
            std::ranges::any_of(owners, [id](const PageCensus::Owner& o) { return o.table == id; }))
            continue;
        owners.push_back({id, 0});
    }
    if (owners.empty()) return out;
    const std::vector<CatalogSlot> slots = CatalogSlots(file, census);
    for (const PageCensus::Owner& owner : owners) {
        const CatalogSlot* found = nullptr;
        for (const CatalogSlot& slot : slots) {
            if (static_cast<std::uint32_t>(slot.entry.id) != owner.table || slot.entry.name.empty()) continue;
            if (found == nullptr || (found->deleted && !slot.deleted)) found = &slot;  // a live row first
        }
        if (found == nullptr) {
            out.unnamed.push_back(owner);
            continue;
        }
        RestoredTable restored{found->entry, found->row, found->body, {}};
        restored.why = found->deleted ? "its catalog row was flagged deleted"
                                      : "its catalog row's type was " + std::to_string(found->entry.type);
        restored.entry.type = kObjectTypeTable;
        PutLe16(restored.body, found->type_offset, static_cast<std::uint16_t>(kObjectTypeTable));
        out.restored.push_back(std::move(restored));
    }
    return out;
}

}  // namespace dorvane::jet
