#include "engines/jet/format/long_value.h"

#include <algorithm>
#include <set>

#include "engines/jet/format/page_file.h"

namespace dorvane::jet {

std::uint32_t LongValueFieldHead(LongValueKind kind, std::uint32_t length) {
    const std::uint32_t bits = kind == LongValueKind::kInline ? 2 : kind == LongValueKind::kSingle ? 1 : 0;
    return (length & kLongValueLengthMask) | bits << 30;
}

LongValueField ParseLongValueField(ByteSpan field) {
    if (field.size() < kLongValueFieldHeader) ThrowCorrupt("a memo or OLE field is shorter than 12 bytes");
    LongValueField out;
    const std::uint32_t head = Le32(field, 0);
    out.length = head & kLongValueLengthMask;
    out.first = RowPointer::FromU32(Le32(field, kLongValueFieldPointer));
    out.extra = Le32(field, kLongValueFieldExtra);
    switch (head >> 30) {
        case 2:
            out.kind = LongValueKind::kInline;
            if (field.size() - kLongValueFieldHeader != out.length) {
                ThrowCorrupt("an inline memo or OLE value's length does not match its field");
            }
            break;
        case 1:
            out.kind = LongValueKind::kSingle;
            break;
        case 0:
            out.kind = LongValueKind::kChain;
            break;
        default:
            ThrowCorrupt("a memo or OLE field has an unknown storage kind");
    }
    return out;
}

LongValueReader::Slot LongValueReader::SlotAt(RowPointer at) {
    if (!page_ || page_->number() != at.page) {
        Bytes buffer = page_ ? std::move(*page_).ReleaseBytes() : Bytes{};
        page_.reset();
        file_.ReadPage(at.page, buffer);
        page_ = DataPage::Parse(file_.format(), at.page, std::move(buffer));
        // Writers keep a page's free space exact; where it is not, a slot
        // offset has moved and the values read from the page are not whole.
        if (page_->stored_free_space() != page_->ComputedFreeSpace()) {
            page_.reset();
            ThrowCorrupt("the memo or OLE page " + std::to_string(at.page) + "'s free space does not match its rows");
        }
    }
    if (at.row >= page_->slots().size()) ThrowCorrupt(at.ToString() + " does not exist");
    return {page_->SlotBytes(at.row), page_->slots()[at.row].kind};
}

void LongValueReader::Walk(ByteSpan field, bool wantData, bool wantRows) {
    data_.clear();
    rows_.clear();
    const LongValueField lv = ParseLongValueField(field);
    if (lv.kind == LongValueKind::kInline) {
        if (wantData)
            data_.assign(field.begin() + kLongValueFieldHeader, field.begin() + kLongValueFieldHeader + lv.length);
        return;
    }
    const std::uint64_t fileBytes = static_cast<std::uint64_t>(file_.page_count()) * file_.page_size();
    if (lv.length > fileBytes) ThrowCorrupt("a memo or OLE value is longer than the file");
    if (wantData) data_.reserve(lv.length);
    if (lv.kind == LongValueKind::kSingle) {
        const Slot row = SlotAt(lv.first);
        if (row.kind != SlotKind::kLive)
            ThrowCorrupt("the memo or OLE value at " + lv.first.ToString() + " is deleted");
        if (row.bytes.size() != lv.length)
            ThrowCorrupt("the memo or OLE value at " + lv.first.ToString() + " is not as long as its field says");
        if (wantRows) rows_.push_back(lv.first);
        if (wantData) data_.assign(row.bytes.begin(), row.bytes.begin() + lv.length);
        return;
    }
    std::set<std::uint32_t> seen;
    std::uint64_t total = 0;
    RowPointer at = lv.first;
    while (true) {
        if (!seen.insert(at.ToU32()).second) ThrowCorrupt("a memo or OLE chain runs in a circle at " + at.ToString());
        const Slot row = SlotAt(at);
        if (row.kind != SlotKind::kLive) ThrowCorrupt("a memo or OLE segment at " + at.ToString() + " is deleted");
        if (row.bytes.size() < kLongValueSegmentLink) {
            ThrowCorrupt("a memo or OLE segment at " + at.ToString() + " is too short");
        }
        const std::uint32_t next = Le32(row.bytes, 0);
        const std::size_t segment = row.bytes.size() - kLongValueSegmentLink;
        if (segment == 0 && next != 0) ThrowCorrupt("an empty memo or OLE segment at " + at.ToString());
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(segment, lv.length - total));
        if (wantRows) rows_.push_back(at);
        if (wantData) {
            const auto from = row.bytes.begin() + kLongValueSegmentLink;
            data_.insert(data_.end(), from, from + static_cast<std::ptrdiff_t>(take));
        }
        total += take;
        if (next == 0 && take != segment) ThrowCorrupt("a memo or OLE chain is longer than its value");
        if (next == 0) break;
        if (total >= lv.length) ThrowCorrupt("a memo or OLE chain is longer than its value");
        at = RowPointer::FromU32(next);
    }
    if (total != lv.length) ThrowCorrupt("a memo or OLE chain ends before its value does");
}

ByteSpan LongValueReader::Read(ByteSpan field) {
    Walk(field, true, false);
    return data_;
}

const std::vector<RowPointer>& LongValueReader::Rows(ByteSpan field) {
    Walk(field, false, true);
    return rows_;
}

ByteSpan LongValueReader::ReadListingRows(ByteSpan field) {
    Walk(field, true, true);
    return data_;
}

Bytes ReadLongValue(const PageFile& file, ByteSpan field) {
    LongValueReader reader(file);
    const ByteSpan value = reader.Read(field);
    return Bytes(value.begin(), value.end());
}

std::vector<RowPointer> LongValueRows(const PageFile& file, ByteSpan field) {
    LongValueReader reader(file);
    return reader.Rows(field);
}

}  // namespace dorvane::jet
