#include "engines/jet/compact/early_flush.h"

#include <system_error>

namespace dorvane::jet::compact {

EarlyFlush::EarlyFlush(platform::File& file) : file_(file) {
    try {
        flusher_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // no thread to be had: the flush at the end does it all
    }
}

EarlyFlush::~EarlyFlush() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_one();
    if (flusher_.joinable()) flusher_.join();
}

void EarlyFlush::Ask() {
    {
        const std::lock_guard lock(mutex_);
        if (failure_) std::rethrow_exception(failure_);
        asked_ = true;
    }
    work_.notify_one();
}

void EarlyFlush::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_one();
    if (flusher_.joinable()) flusher_.join();
    if (failure_) std::rethrow_exception(failure_);
}

void EarlyFlush::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return asked_ || stopping_; });
        if (stopping_) return;
        asked_ = false;
        lock.unlock();
        std::exception_ptr failed;
        try {
            file_.Flush();
        } catch (...) {
            failed = std::current_exception();
        }
        lock.lock();
        if (failed) {
            failure_ = failed;
            return;  // told by the next Ask and by Stop
        }
    }
}

}  // namespace dorvane::jet::compact
