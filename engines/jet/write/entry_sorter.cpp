#include "engines/jet/write/entry_sorter.h"

#include <algorithm>
#include <numeric>
#include <queue>

#include "core/error.h"
#include "engines/jet/format/index_walk.h"

namespace dorvane::jet::write {

namespace {

// A run read back in chunks: each entry is stored as a two-byte length, then its bytes.
class RunReader {
public:
    static constexpr std::size_t kChunk = 64 * 1024;

    RunReader(const platform::File& file, std::uint64_t begin, std::uint64_t end)
        : file_(file), next_(begin), end_(end) {}
    // The next entry, valid until the next call; empty at the end.
    std::optional<ByteSpan> Next() {
        if (!Have(2)) return std::nullopt;
        const std::size_t length = chunk_[at_] | std::size_t{chunk_[at_ + 1]} << 8;
        at_ += 2;
        if (!Have(length)) return std::nullopt;
        const ByteSpan entry = ByteSpan(chunk_).subspan(at_, length);
        at_ += length;
        return entry;
    }

private:
    // Whether `bytes` more are in the chunk, reading on when they are not.
    bool Have(std::size_t bytes) {
        if (chunk_.size() - at_ >= bytes) return true;
        chunk_.erase(chunk_.begin(), chunk_.begin() + static_cast<std::ptrdiff_t>(at_));
        at_ = 0;
        const std::uint64_t more = std::min<std::uint64_t>(end_ - next_, std::max(kChunk, bytes));
        const std::size_t held = chunk_.size();
        chunk_.resize(held + more);
        file_.ReadAt(next_, std::span(chunk_).subspan(held));
        next_ += more;
        return chunk_.size() >= bytes;
    }

    const platform::File& file_;
    std::uint64_t next_, end_;
    Bytes chunk_;
    std::size_t at_ = 0;
};

bool Less(ByteSpan a, ByteSpan b) { return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end()); }

void Hand(ByteSpan entry, const std::function<void(ByteSpan key, RowPointer row)>& visit) {
    visit(entry.first(entry.size() - kIndexRowRefSize), ReadIndexRowRef(entry, entry.size() - kIndexRowRefSize));
}

}  // namespace

EntrySorter::EntrySorter(std::filesystem::path spill, std::size_t buffer_bytes)
    : spill_path_(std::move(spill)), buffer_bytes_(buffer_bytes) {}

EntrySorter::~EntrySorter() {
    if (!spill_) return;
    spill_.reset();
    try {
        platform::RemoveFile(spill_path_);
    } catch (const Error&) {  // a spill file left behind costs space, not content
    }
}

void EntrySorter::Add(ByteSpan key, RowPointer row) {
    // Spilled before the buffer would grow past its size: growing doubles
    // what it holds, and for a moment holds both.
    if (!spill_path_.empty() && !buffer_.empty() && buffer_.RoomAfterAdding(key.size()) > buffer_bytes_) Spill();
    buffer_.Add(key, row);
    ++count_;
}

void EntrySorter::Spill() {
    if (!spill_) {
        try {
            spill_ = platform::File::CreateNew(spill_path_, 0600);
        } catch (const Error& e) {
            if (e.number() != errc::kFileAlreadyExists) throw;
            spill_path_.clear();  // not ours to overwrite: the entries stay in memory
            return;
        }
    }
    // Written in the sorted order from where the entries lie, a chunk at a
    // time: a sorted copy of the buffer would double what a run holds.
    std::vector<std::uint32_t> order(buffer_.size());
    std::iota(order.begin(), order.end(), 0U);
    std::stable_sort(order.begin(), order.end(),
                     [this](std::uint32_t a, std::uint32_t b) { return Less(buffer_.Entry(a), buffer_.Entry(b)); });
    constexpr std::size_t kChunk = 256 * 1024;
    Bytes out;
    out.reserve(kChunk);
    std::uint64_t end = spilled_bytes_;
    const auto write = [&] {
        spill_->WriteAt(end, out);
        end += out.size();
        out.clear();
    };
    for (const std::uint32_t e : order) {
        const ByteSpan entry = buffer_.Entry(e);
        out.push_back(static_cast<std::uint8_t>(entry.size() & 0xFF));
        out.push_back(static_cast<std::uint8_t>(entry.size() >> 8));
        out.insert(out.end(), entry.begin(), entry.end());
        if (out.size() >= kChunk) write();
    }
    if (!out.empty()) write();
    runs_.push_back({spilled_bytes_, end});
    spilled_bytes_ = end;
    buffer_.Clear();
}

void EntrySorter::Visit(const std::function<void(ByteSpan key, RowPointer row)>& visit) {
    buffer_.Sort();
    if (runs_.empty()) {
        for (std::size_t e = 0; e < buffer_.size(); ++e) Hand(buffer_.Entry(e), visit);
        return;
    }
    // Each run's next entry, least first; the buffer counts as the last run.
    const platform::File runs = platform::File::Open(spill_path_, platform::Access::kRead);  // written write-only
    std::vector<RunReader> readers;
    readers.reserve(runs_.size());
    for (const Run& run : runs_) readers.emplace_back(runs, run.begin, run.end);
    std::vector<std::optional<ByteSpan>> heads(runs_.size() + 1);
    std::size_t buffered = 0;
    const auto advance = [&](std::size_t source) {
        if (source < readers.size())
            heads[source] = readers[source].Next();
        else
            heads[source] = buffered < buffer_.size() ? std::optional(buffer_.Entry(buffered++)) : std::nullopt;
    };
    const auto later = [&heads](std::size_t a, std::size_t b) {
        return Less(*heads[b], *heads[a]) || (!Less(*heads[a], *heads[b]) && a > b);
    };
    std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> next(later);
    for (std::size_t source = 0; source < heads.size(); ++source) {
        advance(source);
        if (heads[source]) next.push(source);
    }
    while (!next.empty()) {
        const std::size_t source = next.top();
        next.pop();
        Hand(*heads[source], visit);
        advance(source);
        if (heads[source]) next.push(source);
    }
}

}  // namespace dorvane::jet::write
