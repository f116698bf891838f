#pragma once
// A 128-bit fingerprint of a sequence of byte strings, for telling whether a
// copy holds what was read without reading the source a second time. Two
// independent lanes of multiply-and-fold over 8-byte words; each string is
// closed by its length, so ("ab", "c") and ("a", "bc") differ. It guards
// against faults, not against someone crafting a collision.

#include <cstdint>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"

namespace dorvane::jet::compact {

class Digest {
public:
    void Add(ByteSpan bytes);
    void AddU32(std::uint32_t value);
    bool operator==(const Digest&) const = default;

private:
    void Word(std::uint64_t word);

    std::uint64_t a_ = 0x243F6A8885A308D3;
    std::uint64_t b_ = 0x13198A2E03707344;
};

// What compaction wrote of one table, told to the verification: each row as
// its long values (in column order) and then its bytes and where it went, and
// each index's entries in the order of the tree.
class TableDigest {
public:
    explicit TableDigest(std::size_t indexes = 0) : indexes_(indexes) {}
    void AddLongValue(ByteSpan value) { rows_.Add(value); }
    void AddRow(ByteSpan body, RowPointer where) {
        rows_.Add(body);
        rows_.AddU32(where.ToU32());
    }
    void AddIndexEntry(std::size_t index, ByteSpan entry) { indexes_.at(index).Add(entry); }

    bool SameRows(const TableDigest& other) const { return rows_ == other.rows_; }
    bool SameIndex(const TableDigest& other, std::size_t index) const {
        return indexes_.at(index) == other.indexes_.at(index);
    }

private:
    Digest rows_;
    std::vector<Digest> indexes_;
};

}  // namespace dorvane::jet::compact
