#pragma once
// A child process that holds a byte-range lock on a file, as a product that
// has a database open does, until the holder is destroyed.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace dorvane::testing {

class LockHolder {
public:
    // Locks [start, start+length) (length 0: to the end and beyond).
    LockHolder(const std::filesystem::path& file, short type, off_t start = 0, off_t length = 0) {
        int ready[2];
        if (::pipe(ready) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            ::close(ready[0]);
            const int fd = ::open(file.c_str(), type == F_RDLCK ? O_RDONLY : O_RDWR);
            struct flock lock {.l_type = type, .l_whence = SEEK_SET, .l_start = start, .l_len = length, .l_pid = 0};
            const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? 'y' : 'n';
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
    ~LockHolder() { Stop(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
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
