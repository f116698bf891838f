#pragma once
// A child process that holds a lock on a file, as a product that has a
// database open does, until the holder is destroyed: a byte-range lock
// (fcntl) or a whole-file lock (flock), the two kinds Linux programs use.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <stdexcept>

namespace dorvane::testing {

class LockHolder {
public:
    enum class WholeFile { kShared, kExclusive };

    // Locks [start, start+length) (length 0: to the end and beyond).
    LockHolder(const std::filesystem::path& file, short type, off_t start = 0, off_t length = 0) {
        Start(file, type == F_RDLCK ? O_RDONLY : O_RDWR, [=](int fd) {
            struct flock lock {
                .l_type = type, .l_whence = SEEK_SET, .l_start = start, .l_len = length, .l_pid = 0
            };
            return ::fcntl(fd, F_SETLK, &lock) == 0;
        });
    }
    // Locks the whole file with flock.
    LockHolder(const std::filesystem::path& file, WholeFile kind) {
        Start(file, O_RDONLY,
              [=](int fd) { return ::flock(fd, (kind == WholeFile::kShared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0; });
    }
    ~LockHolder() { Stop(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    void Start(const std::filesystem::path& file, int openFlags, const std::function<bool(int)>& lock) {
        int ready[2];
        if (::pipe(ready) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            ::close(ready[0]);
            const int fd = ::open(file.c_str(), openFlags);
            const char ok = (fd >= 0 && lock(fd)) ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char ok = 'n';
        (void)!::read(ready[0], &ok, 1);
        ::close(ready[0]);
        if (ok != 'y') {
            Stop();
            throw std::runtime_error("the lock holder could not lock " + file.string());
        }
    }
    void Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    pid_t pid_ = -1;
};

}  // namespace dorvane::testing
