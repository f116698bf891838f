#pragma once
// Index entries sorted in bounded memory. Entries gather in a buffer; a full
// buffer is sorted and written as a run to a spill file, and the runs are
// merged as the entries are handed out. Without a spill file (or while they
// fit in one buffer) everything stays in memory.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "engines/jet/write/index_tree.h"
#include "platform/file.h"

namespace dorvane::jet::write {

class EntrySorter {
public:
    static constexpr std::size_t kBufferBytes = std::size_t{4} << 20;

    // `spill`: where runs go once the buffer fills, created then and removed
    // with the sorter; empty, or taken by a file already there: never spill.
    explicit EntrySorter(std::filesystem::path spill = {}, std::size_t buffer_bytes = kBufferBytes);
    ~EntrySorter();
    EntrySorter(const EntrySorter&) = delete;  // one owner of the spill file
    EntrySorter& operator=(const EntrySorter&) = delete;

    void Add(ByteSpan key, RowPointer row);
    std::size_t size() const { return count_; }
    // Every entry once, key bytes and row, in the file's order; may be called again.
    void Visit(const std::function<void(ByteSpan key, RowPointer row)>& visit);

private:
    struct Run {
        std::uint64_t begin = 0, end = 0;  // bytes in the spill file
    };
    void Spill();

    std::filesystem::path spill_path_;
    std::size_t buffer_bytes_;
    IndexEntryList buffer_;
    std::optional<platform::File> spill_;
    std::uint64_t spilled_bytes_ = 0;
    std::vector<Run> runs_;
    std::size_t count_ = 0;
};

}  // namespace dorvane::jet::write
