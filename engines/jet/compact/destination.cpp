#include "engines/jet/compact/destination.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>

namespace dorvane::jet::compact {

namespace {
// Large enough that writing costs what copying does; small beside the bound
// on memory.
constexpr std::size_t kRunBytes = std::size_t{1} << 20;
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
    if (file_.is_open() && !behind_) behind_.emplace(file_, kRunBytes);
}

// Gives back an empty buffer for the next run.
platform::IoBuffer DestinationFile::WriteAt(std::uint64_t offset, platform::IoBuffer bytes) {
    if (!file_.is_open()) throw std::logic_error("write to a discarded destination");
    DiscardingOnFailure([&] {
        const std::size_t size = bytes.size();
        if (behind_) {
            bytes = behind_->Hand(offset, std::move(bytes));
        } else {
            file_.WriteAt(offset, bytes);
            bytes.clear();
        }
        unflushed_ += size;
        since_flush_ += size;
        if (unflushed_ >= kWriteBackBytes && writing_back_) {
            file_.StartWriteBack();
            unflushed_ = 0;
        }
        if (since_flush_ >= kEarlyFlushBytes && writing_back_ && platform::File::kFlushesBesideWrites) {
            if (!early_) early_.emplace(file_);
            early_->Ask();
            since_flush_ = 0;
        }
    });
    return bytes;
}

DestinationFile::~DestinationFile() {
    if (!committed_) Discard();
}

void DestinationFile::Discard() noexcept {
    if (!file_.is_open()) return;
    behind_.reset();
    early_.reset();
    file_ = {};
    run_.clear();
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

void DestinationFile::WriteRun() {
    if (run_.empty()) return;
    run_ = WriteAt(static_cast<std::uint64_t>(run_start_) * page_size_, std::move(run_));
}

void DestinationFile::WritePage(std::uint32_t page, ByteSpan bytes) {
    if (bytes.size() != page_size_) throw std::logic_error("page of the wrong size");
    const std::size_t pages = run_.size() / page_size_;
    if (page >= run_start_ && page < run_start_ + pages) {  // written again before the run went out
        const std::size_t at = (page - run_start_) * page_size_;
        std::copy(bytes.begin(), bytes.end(), run_.begin() + static_cast<std::ptrdiff_t>(at));
        return;
    }
    if (run_.empty() || page != run_start_ + pages || run_.size() + page_size_ > kRunBytes) {
        WriteRun();
        if (run_.capacity() < kRunBytes) run_.reserve(kRunBytes);
        run_start_ = page;
    }
    run_.insert(run_.end(), bytes.begin(), bytes.end());
}

void DestinationFile::PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) {
    if (offset + bytes.size() > page_size_) throw std::logic_error("patch outside its page");
    if (page >= run_start_ && page < run_start_ + run_.size() / page_size_) {
        const std::size_t at = (page - run_start_) * page_size_ + offset;
        std::copy(bytes.begin(), bytes.end(), run_.begin() + static_cast<std::ptrdiff_t>(at));
        return;
    }
    // After the runs handed over before it, which may hold the same page.
    WriteAt(static_cast<std::uint64_t>(page) * page_size_ + offset, platform::IoBuffer(bytes.begin(), bytes.end()));
}

// The holes between fixed pages take real space too, so that a full disk
// shows here rather than later; the new name itself must be durable as well.
void DestinationFile::Finish(std::uint32_t pageCount) {
    if (!file_.is_open()) throw std::logic_error("finish of a discarded destination");
    WriteRun();
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
