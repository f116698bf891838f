#include "engines/jet/compact/destination.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>

namespace dorvane::jet::compact {

namespace {
// Pages are gathered in a window of this many bytes, and the window's pages
// are written in runs of consecutive ones. Large enough that writing costs
// what copying does; small beside the bound on memory.
constexpr std::size_t kWindowBytes = std::size_t{1} << 20;
// A window starts this many pages before the page that opens it: a data page
// is often finished after the long-value pages its rows made, and still joins
// their run. Measured on files whose tables share stretches of pages: a
// compaction wrote 16 times fewer runs than with pages gathered in order only.
constexpr std::uint32_t kWindowLead = 16;
// Write-back is started after every so many bytes written, so that the
// storage works while the copy is made and the flush at the end, which the
// copy's verification cannot hide where storage is slow, finds little left.
constexpr std::uint64_t kWriteBackBytes = std::uint64_t{8} << 20;
// And flushed after every so many (early_flush.h).
constexpr std::uint64_t kEarlyFlushBytes = std::uint64_t{32} << 20;
}  // namespace

DestinationFile::DestinationFile(std::filesystem::path path, std::size_t pageSize)
    : path_(std::move(path)), page_size_(pageSize), file_(platform::File::CreateNew(path_)) {}

void DestinationFile::WriteBehind() {
    if (file_.is_open() && !behind_) behind_.emplace(file_, kWindowBytes);
}

// Gives back a buffer for reuse.
platform::IoBuffer DestinationFile::Write(platform::IoBuffer bytes, std::vector<compact::WriteBehind::Piece> pieces) {
    if (!file_.is_open()) throw std::logic_error("write to a discarded destination");
    DiscardingOnFailure([&] {
        std::uint64_t size = 0;
        for (const compact::WriteBehind::Piece& piece : pieces) size += piece.size;
        if (behind_) {
            bytes = behind_->Hand(std::move(bytes), std::move(pieces));
        } else {
            const ByteSpan all(bytes);
            for (const compact::WriteBehind::Piece& piece : pieces)
                file_.WriteAt(piece.offset, all.subspan(piece.at, piece.size));
        }
        unflushed_ += size;
        since_flush_ += size;
        if (unflushed_ >= kWriteBackBytes && writing_back_) {
            file_.StartWriteBack();
            unflushed_ = 0;
        }
        if (since_flush_ >= kEarlyFlushBytes && writing_back_) AskFlush();
    });
    return bytes;
}

void DestinationFile::FlushWritten() {
    if (file_.is_open()) DiscardingOnFailure([&] { AskFlush(); });
}

void DestinationFile::AskFlush() {
    if (!platform::File::kFlushesBesideWrites) return;
    if (!early_) early_.emplace(file_);
    early_->Ask();
    since_flush_ = 0;
}

DestinationFile::~DestinationFile() {
    if (!committed_) Discard();
}

void DestinationFile::Discard() noexcept {
    if (!file_.is_open()) return;
    behind_.reset();
    early_.reset();
    file_ = {};
    window_ = {};
    gathered_ = 0;
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

template <typename Step>
void DestinationFile::DiscardingOnFailure(Step step) {
    try {
        step();
    } catch (...) {
        Discard();
        throw;
    }
}

void DestinationFile::WriteWindow() {
    if (gathered_ == 0) return;
    std::vector<compact::WriteBehind::Piece> pieces;
    const std::size_t slots = filled_.size();
    for (std::size_t first = 0; first < slots;) {
        if (!filled_[first]) {
            ++first;
            continue;
        }
        std::size_t end = first + 1;
        while (end < slots && filled_[end]) ++end;
        pieces.push_back(
            {(std::uint64_t{window_start_} + first) * page_size_, first * page_size_, (end - first) * page_size_});
        first = end;
    }
    gathered_ = 0;
    window_ = Write(std::move(window_), std::move(pieces));
}

std::optional<std::size_t> DestinationFile::SlotOf(std::uint32_t page) const {
    if (gathered_ == 0 || page < window_start_ || page - window_start_ >= filled_.size()) return std::nullopt;
    return page - window_start_;
}

void DestinationFile::WritePage(std::uint32_t page, ByteSpan bytes) {
    if (bytes.size() != page_size_) throw std::logic_error("page of the wrong size");
    std::optional<std::size_t> slot = SlotOf(page);
    if (!slot) {
        WriteWindow();
        const std::size_t slots = kWindowBytes / page_size_;
        window_.resize(slots * page_size_);  // a buffer given back by the writer keeps its size
        filled_.assign(slots, false);
        window_start_ = page > kWindowLead ? page - kWindowLead : 0;
        slot = page - window_start_;
    }
    std::copy(bytes.begin(), bytes.end(), window_.begin() + static_cast<std::ptrdiff_t>(*slot * page_size_));
    if (!filled_[*slot]) {
        filled_[*slot] = true;
        ++gathered_;
    }
}

void DestinationFile::PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) {
    if (offset + bytes.size() > page_size_) throw std::logic_error("patch outside its page");
    const std::optional<std::size_t> slot = SlotOf(page);
    if (slot && filled_[*slot]) {
        std::copy(bytes.begin(), bytes.end(),
                  window_.begin() + static_cast<std::ptrdiff_t>(*slot * page_size_ + offset));
        return;
    }
    // After the pages handed over before it, which may hold the same page; a
    // whole page gathered later goes out after it.
    Write(platform::IoBuffer(bytes.begin(), bytes.end()),
          {{static_cast<std::uint64_t>(page) * page_size_ + offset, 0, bytes.size()}});
}

// The holes between fixed pages take real space too, so that a full disk
// shows here rather than later; the new name itself must be durable as well.
void DestinationFile::Finish(std::uint32_t pageCount) {
    if (!file_.is_open()) throw std::logic_error("finish of a discarded destination");
    WriteWindow();
    DiscardingOnFailure([&] {
        if (behind_) behind_->Drain();
        file_.SetLength(static_cast<std::uint64_t>(pageCount) * page_size_);
    });
}

void DestinationFile::Flush() {
    if (!file_.is_open()) throw std::logic_error("flush of a discarded destination");
    DiscardingOnFailure([&] {
        if (early_) early_->Stop();
        file_.Flush();
        platform::FlushFolder(path_.parent_path());
    });
}

void DestinationFile::Commit() {
    if (!file_.is_open()) throw std::logic_error("commit of a discarded destination");
    behind_.reset();  // written already: Finish waited for it
    early_.reset();   // stopped already by Flush, where there was one
    try {
        file_.Close();
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        throw;
    }
    committed_ = true;
}

}  // namespace dorvane::jet::compact
