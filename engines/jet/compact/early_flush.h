#pragma once
// Flushes of a copy while it is still being written, each on a thread of its
// own. Where storage sits behind a write cache (a virtual disk), a flush
// costs time in proportion to what was written since the last one, however
// long ago it was written: 0.45 ms a MiB here, so 0.1 s at the end of a
// 238 MiB copy. Flushed along the way, that end finds little left.

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/file.h"

namespace dorvane::jet::compact {

class EarlyFlush {
public:
    // Flushes `file`, which must outlive this. Where no thread can be had,
    // nothing is flushed early.
    explicit EarlyFlush(platform::File& file);
    // Waits for a flush under way; a failure is then no longer told.
    ~EarlyFlush();
    EarlyFlush(const EarlyFlush&) = delete;
    EarlyFlush& operator=(const EarlyFlush&) = delete;

    // Asks for a flush of everything written so far; returns at once. Asked
    // while one runs, one more follows it. Throws the failure of an earlier
    // flush: there is no use writing on.
    void Ask();
    // Waits for a flush under way and ends. Throws the failure of any early
    // flush: once a flush failed, a later one may succeed although written
    // pages were lost.
    void Stop();

private:
    void Run();

    platform::File& file_;
    std::mutex mutex_;
    std::condition_variable work_;
    bool asked_ = false;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread flusher_;
};

}  // namespace dorvane::jet::compact
