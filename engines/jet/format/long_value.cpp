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
            if (field.size() - kLongValueFieldHeader < out.length) {
                ThrowCorrupt("an inline memo or OLE value is longer than its field");
            }
            break;
        case 1: out.kind = LongValueKind::kSingle; break;
        case 0: out.kind = LongValueKind::kChain; break;
        default: ThrowCorrupt("a memo or OLE field has an unknown storage kind");
    }
    return out;
}

namespace {

// Walks the value, appending data to `data` (when given) and rows to `rows`.
void Walk(const PageFile& file, ByteSpan field, Bytes* data, std::vector<RowPointer>* rows) {
    const LongValueField lv = ParseLongValueField(field);
    if (lv.kind == LongValueKind::kInline) {
        if (data != nullptr) data->assign(field.begin() + kLongValueFieldHeader,
                                          field.begin() + kLongValueFieldHeader + lv.length);
        return;
    }
    const std::uint64_t fileBytes = static_cast<std::uint64_t>(file.page_count()) * file.page_size();
    if (lv.length > fileBytes) ThrowCorrupt("a memo or OLE value is longer than the file");
    if (data != nullptr) data->reserve(lv.length);
    if (lv.kind == LongValueKind::kSingle) {
        const StoredRow row = ReadStoredRow(file, lv.first);
        if (row.kind != SlotKind::kLive) ThrowCorrupt("the memo or OLE value at " + lv.first.ToString() + " is deleted");
        if (row.bytes.size() < lv.length) ThrowCorrupt("the memo or OLE value at " + lv.first.ToString() + " is short");
        if (rows != nullptr) rows->push_back(lv.first);
        if (data != nullptr) data->assign(row.bytes.begin(), row.bytes.begin() + lv.length);
        return;
    }
    std::set<std::uint32_t> seen;
    std::uint64_t total = 0;
    RowPointer at = lv.first;
    while (true) {
        if (!seen.insert(at.ToU32()).second) ThrowCorrupt("a memo or OLE chain runs in a circle at " + at.ToString());
        const StoredRow row = ReadStoredRow(file, at);
        if (row.kind != SlotKind::kLive) ThrowCorrupt("a memo or OLE segment at " + at.ToString() + " is deleted");
        if (row.bytes.size() < kLongValueSegmentLink) {
            ThrowCorrupt("a memo or OLE segment at " + at.ToString() + " is too short");
        }
        const std::uint32_t next = Le32(row.bytes, 0);
        const std::size_t segment = row.bytes.size() - kLongValueSegmentLink;
        if (segment == 0 && next != 0) ThrowCorrupt("an empty memo or OLE segment at " + at.ToString());
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(segment, lv.length - total));
        if (rows != nullptr) rows->push_back(at);
        if (data != nullptr) {
            const auto from = row.bytes.begin() + kLongValueSegmentLink;
            data->insert(data->end(), from, from + static_cast<std::ptrdiff_t>(take));
        }
        total += take;
        if (next == 0) break;
        if (total >= lv.length) ThrowCorrupt("a memo or OLE chain is longer than its value");
        at = RowPointer::FromU32(next);
    }
    if (total != lv.length) ThrowCorrupt("a memo or OLE chain ends before its value does");
}

}  // namespace

Bytes ReadLongValue(const PageFile& file, ByteSpan field) {
    Bytes data;
    Walk(file, field, &data, nullptr);
    return data;
}

std::vector<RowPointer> LongValueRows(const PageFile& file, ByteSpan field) {
    std::vector<RowPointer> rows;
    Walk(file, field, nullptr, &rows);
    return rows;
}

}  // namespace dorvane::jet
