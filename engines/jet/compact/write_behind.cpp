#include "engines/jet/compact/write_behind.h"

#include <span>
#include <system_error>
#include <utility>

namespace dorvane::jet::compact {

namespace {
// Runs handed over and not yet written, the one being written included. One
// is written while the next is filled, and the writer keeps up (a run takes
// less to write than to make); each more would add a run to the peak.
constexpr std::size_t kUnwritten = 1;
}  // namespace

WriteBehind::WriteBehind(platform::File& file, std::size_t reused_capacity)
    : file_(file), reused_capacity_(reused_capacity) {
    try {
        writer_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // no thread to be had: Hand writes itself
    }
}

WriteBehind::~WriteBehind() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        if (jobs_.size() > 1) jobs_.erase(jobs_.begin() + 1, jobs_.end());  // the front one is under way
    }
    work_.notify_one();
    if (writer_.joinable()) writer_.join();
}

void WriteBehind::ThrowIfFailed() {
    if (failure_) std::rethrow_exception(failure_);
}

void WriteBehind::Write(const Job& job) {
    const std::span<const std::uint8_t> bytes(job.bytes);
    for (const Piece& piece : job.pieces) file_.WriteAt(piece.offset, bytes.subspan(piece.at, piece.size));
}

platform::IoBuffer WriteBehind::Hand(platform::IoBuffer bytes, std::vector<Piece> pieces) {
    Job job{std::move(bytes), std::move(pieces)};
    if (!writer_.joinable()) {
        Write(job);
        return std::move(job.bytes);
    }
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return jobs_.size() < kUnwritten || failure_; });
    ThrowIfFailed();
    jobs_.push_back(std::move(job));
    platform::IoBuffer next;
    if (!spare_.empty()) {
        next = std::move(spare_.back());
        spare_.pop_back();
    }
    lock.unlock();
    work_.notify_one();
    return next;
}

void WriteBehind::Drain() {
    if (!writer_.joinable()) return;
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return jobs_.empty() || failure_; });
    ThrowIfFailed();
}

void WriteBehind::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
        if (jobs_.empty()) return;
        Job& job = jobs_.front();
        lock.unlock();
        std::exception_ptr failed;
        try {
            Write(job);
        } catch (...) {
            failed = std::current_exception();
        }
        lock.lock();
        if (job.bytes.capacity() >= reused_capacity_ && spare_.size() < kUnwritten)
            spare_.push_back(std::move(job.bytes));
        jobs_.pop_front();
        if (failed) {
            failure_ = failed;
            jobs_.clear();
        }
        done_.notify_one();
        if (failure_) return;  // nothing more is written; the hander learns why on its next call
    }
}

}  // namespace dorvane::jet::compact
