#pragma once
// A copy's writes, done in the order they were handed over by a thread of
// its own. The system's copy of each written page into its cache is a quarter
// to a third of the writing thread's time; here it runs on the other core
// while the next pages are made. Buffers are handed over whole and come back
// for reuse, so nothing is copied on the way and at most two buffers are
// held at once: the one being written and the one being filled.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "platform/io_buffer.h"

namespace dorvane::jet::compact {

class WriteBehind {
public:
    // Bytes of a handed buffer that go to one place in the file.
    struct Piece {
        std::uint64_t offset;  // in the file
        std::size_t at;        // in the buffer
        std::size_t size;
    };

    // Writes to `file`, which must outlive this. Buffers of at least
    // `reused_capacity` bytes come back for reuse. Where no thread can be had,
    // each write is done as it is handed over.
    WriteBehind(platform::File& file, std::size_t reused_capacity);
    // Abandons what is not yet written.
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Takes `bytes`, whose `pieces` are written in turn after everything
    // handed before them, and gives back a buffer to fill next: one handed
    // before, its content left as it was, or an empty one. Waits while the
    // buffer handed before is still being written. Throws the failure of an
    // earlier write (the file's content is then unknown, and nothing more is
    // written).
    platform::IoBuffer Hand(platform::IoBuffer bytes, std::vector<Piece> pieces);
    // Returns once everything handed over is written; throws as Hand does.
    void Drain();

private:
    struct Job {
        platform::IoBuffer bytes;
        std::vector<Piece> pieces;
    };
    void Write(const Job& job);
    void Run();
    void ThrowIfFailed();

    platform::File& file_;
    std::size_t reused_capacity_;
    std::mutex mutex_;
    std::condition_variable work_;  // to the writer: a job or the end
    std::condition_variable done_;  // to the hander: a job written
    std::deque<Job> jobs_;          // the front one is being written
    std::vector<platform::IoBuffer> spare_;
    std::exception_ptr failure_;
    bool stopping_ = false;
    std::thread writer_;
};

}  // namespace dorvane::jet::compact
