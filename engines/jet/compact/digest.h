#pragma once
// Fingerprints that let the verification tell whether a copy holds what was
// read, without reading the source a second time.

#include <cstdint>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/data_page.h"

namespace dorvane::jet::compact {

// A 256-bit fingerprint of a sequence of byte strings: each string as 8-byte
// words, the last padded with zeros, and then its length; the words go in turn
// to four independent lanes. Each step is a bijection of its lane for a given
// word and of the word for a given lane, so one word that differs always
// shows. It guards against faults, not against someone crafting a collision.
class Digest {
public:
    static constexpr std::size_t kLanes = 4;
    void Add(ByteSpan bytes);
    void AddU32(std::uint32_t value);
    bool operator==(const Digest& other) const;

private:
    void Word(std::uint64_t word);

    std::uint64_t lanes_[kLanes] = {0x243F6A8885A308D3, 0x13198A2E03707344, 0x299F31D0082EFA98, 0xEC4E6C89452821E6};
    std::size_t next_lane_ = 0;
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
