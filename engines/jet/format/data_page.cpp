#include "engines/jet/format/data_page.h"

#include "engines/jet/format/page_file.h"

namespace dorvane::jet {

namespace {
constexpr int kMaxOverflowHops = 8;

SlotKind KindOf(std::uint16_t word) {
    switch (word & kRowDeleted) {  // both flag bits
        case kRowDeleted:
            return SlotKind::kDeleted;
        case kRowOverflowTarget:
            return SlotKind::kOverflowTarget;
        case kRowOverflowPointer:
            return SlotKind::kOverflowPointer;
        default:
            return SlotKind::kLive;
    }
}
}  // namespace

std::string RowPointer::ToString() const { return "page " + std::to_string(page) + " row " + std::to_string(row); }

DataPage DataPage::Parse(const Format& format, std::uint32_t number, Bytes bytes) {
    return ParseChecked(format, number, std::move(bytes), nullptr);
}

DataPage DataPage::ParseSalvaging(const Format& format, std::uint32_t number, Bytes bytes,
                                  std::vector<std::size_t>& unreadable) {
    return ParseChecked(format, number, std::move(bytes), &unreadable);
}

DataPage DataPage::ParseChecked(const Format& format, std::uint32_t number, Bytes bytes,
                                std::vector<std::size_t>* unreadable) {
    DataPage page;
    page.format_ = &format;
    page.number_ = number;
    page.bytes_ = std::move(bytes);
    const ByteSpan b(page.bytes_);
    const auto where = [number] { return "data page " + std::to_string(number); };  // only for a message
    if (b.size() != format.page_size || b[0] != kPageData) {
        ThrowCorrupt("page " + std::to_string(number) + " should be a data page but has type " +
                     std::to_string(b.empty() ? 0 : b[0]));
    }
    const std::size_t count = Le16(b, format.data_row_count);
    const std::size_t tableEnd = format.data_row_offsets + 2 * count;
    if (count > kMaxRowsPerPage || tableEnd > b.size()) {
        ThrowCorrupt(where() + " claims " + std::to_string(count) + " rows");
    }
    page.slots_.reserve(count);
    std::uint32_t end = format.page_size;
    bool endKnown = true;  // false after an untrusted offset
    for (std::size_t i = 0; i < count; ++i) {
        Slot slot;
        slot.word = Le16(b, format.data_row_offsets + 2 * i);
        slot.kind = KindOf(slot.word);
        slot.start = slot.word & kRowOffsetMask;
        slot.end = end;
        // Rows are stacked down from the end of the page in slot order, so
        // starts never increase; a deleted slot keeps its place in that order
        // too. One offset out of line would give its neighbour the wrong
        // length, and so a row that exists nowhere.
        bool startValid = slot.start >= tableEnd && slot.start <= slot.end;
        // No row but a deleted one is empty: an empty row is a start moved
        // onto its own end, which hands the neighbour its bytes. A repair
        // trusts neither; plain reading finds such a row unreadable anyway.
        if (unreadable != nullptr && slot.start == slot.end && slot.kind != SlotKind::kDeleted) startValid = false;
        if (!startValid && unreadable == nullptr) {
            ThrowCorrupt(where() + " row " + std::to_string(i) + " has an invalid offset");
        }
        if (!startValid || !endKnown) {
            unreadable->push_back(i);
            endKnown = startValid;
            if (startValid) end = slot.start;
            page.slots_.push_back(Slot{slot.word, slot.end, slot.end, SlotKind::kDeleted});
            continue;
        }
        end = slot.start;  // the next slot ends where this one starts, whatever its flags
        page.slots_.push_back(slot);
    }
    return page;
}

std::uint32_t DataPage::owner() const { return Le32(bytes_, format_->page_owner); }

std::uint16_t DataPage::stored_free_space() const { return Le16(bytes_, format_->page_free_space); }

std::uint32_t DataPage::ComputedFreeSpace() const {
    std::uint64_t used = format_->data_row_offsets + 2 * slots_.size();
    for (const Slot& slot : slots_) used += slot.length();
    return used >= format_->page_size ? 0 : static_cast<std::uint32_t>(format_->page_size - used);
}

ByteSpan DataPage::SlotBytes(std::size_t index) const {
    if (index >= slots_.size()) {
        ThrowCorrupt("row " + std::to_string(index) + " does not exist on page " + std::to_string(number_));
    }
    const Slot& slot = slots_[index];
    return ByteSpan(bytes_).subspan(slot.start, slot.length());
}

StoredRow ReadStoredRow(const PageFile& file, RowPointer pointer) {
    const DataPage page = DataPage::Parse(file.format(), pointer.page, file.ReadPage(pointer.page));
    if (pointer.row >= page.slots().size()) {
        ThrowCorrupt(pointer.ToString() + " does not exist");
    }
    const ByteSpan bytes = page.SlotBytes(pointer.row);
    return {Bytes(bytes.begin(), bytes.end()), page.slots()[pointer.row].kind, page.owner()};
}

namespace {
Bytes FollowOverflow(const PageFile& file, ByteSpan pointerSlot, RowPointer from, std::uint32_t owner) {
    RowPointer target = RowPointer::FromU32(Le32(pointerSlot, 0));
    for (int hop = 0; hop < kMaxOverflowHops; ++hop) {
        StoredRow row = ReadStoredRow(file, target);
        if (row.owner != owner) {
            ThrowCorrupt("the overflow row of " + from.ToString() + " lies on a page of another owner");
        }
        switch (row.kind) {
            case SlotKind::kOverflowTarget:
                return std::move(row.bytes);
            case SlotKind::kOverflowPointer:
                target = RowPointer::FromU32(Le32(row.bytes, 0));
                continue;
            case SlotKind::kLive:
                ThrowCorrupt("the overflow row of " + from.ToString() + " is a live row of its own");
            case SlotKind::kDeleted:
                ThrowCorrupt("the overflow row of " + from.ToString() + " is deleted");
        }
    }
    ThrowCorrupt("the overflow chain of " + from.ToString() + " is too long or circular");
}
}  // namespace

Bytes ResolveRowBody(const PageFile& file, const DataPage& page, std::size_t slot) {
    const ByteSpan bytes = page.SlotBytes(slot);
    const RowPointer self{page.number(), static_cast<std::uint8_t>(slot)};
    switch (page.slots()[slot].kind) {
        case SlotKind::kLive:
            return Bytes(bytes.begin(), bytes.end());
        case SlotKind::kOverflowPointer:
            return FollowOverflow(file, bytes, self, page.owner());
        case SlotKind::kDeleted:
            ThrowCorrupt(self.ToString() + " is deleted");
        case SlotKind::kOverflowTarget:
            break;
    }
    ThrowCorrupt(self.ToString() + " is an overflow body, not a row");
}

}  // namespace dorvane::jet
