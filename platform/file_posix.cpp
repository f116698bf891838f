#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/file.h"
#include "platform/native_path.h"
#include "platform/system_error.h"

namespace dorvane::platform {

namespace {

#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
constexpr int kSetLockWaiting = F_OFD_SETLKW;
constexpr int kGetLock = F_OFD_GETLK;
#else
constexpr int kSetLock = F_SETLK;
constexpr int kSetLockWaiting = F_SETLKW;
constexpr int kGetLock = F_GETLK;
#endif

[[noreturn]] void Fail(const std::filesystem::path& path, std::string_view doing) {
    throw SystemError(LastOsError(), path, doing);
}

int OpenDescriptor(const std::filesystem::path& path, int flags, mode_t permissions = 0) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, permissions);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

struct flock Range(short type, ByteRange range) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(range.start);
    lock.l_len = static_cast<off_t>(range.length);
    lock.l_pid = 0;  // required for open-file-description locks
    return lock;
}

bool TryLock(int fd, short type, ByteRange range, const std::filesystem::path& path) {
    struct flock lock = Range(type, range);
    while (::fcntl(fd, kSetLock, &lock) != 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return false;
        Fail(path, "lock");
    }
    return true;
}

// Programs that share these files lock them either way: byte ranges with
// fcntl, or the whole file with flock, whose locks fcntl does not see. Each
// claim therefore takes both; a file system without flock has only ranges.
bool TryWholeFileLock(int fd, int operation, const std::filesystem::path& path, bool wait = false) {
    while (::flock(fd, operation | (wait ? 0 : LOCK_NB)) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return false;
        if (errno == EOPNOTSUPP || errno == ENOTSUP) return true;
        Fail(path, "lock");
    }
    return true;
}

// Whether anyone else holds a lock that conflicts with `type` over the range.
bool LockedByOthers(int fd, short type, ByteRange range, const std::filesystem::path& path) {
    struct flock lock = Range(type, range);
    if (::fcntl(fd, kGetLock, &lock) != 0) Fail(path, "test the locks of");
    return lock.l_type != F_UNLCK;
}

// Writes `size` bytes through `write_from` (a write(2) of what remains from an
// offset), again after a signal; a write that makes no progress means no room.
template <typename WriteFrom>
void WriteAll(const std::filesystem::path& path, std::size_t size, WriteFrom write_from) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write_from(done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(path, "write");
        }
        if (n == 0) throw SystemError(ENOSPC, path, "write");
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

File::File(Native handle, std::filesystem::path path) : handle_(handle), path_(std::move(path)) {}
File::~File() { CloseQuietly(); }
File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}
File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        CloseQuietly();
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

bool File::is_open() const { return handle_ >= 0; }

void File::CloseQuietly() noexcept {
    if (handle_ >= 0) ::close(handle_);
    handle_ = -1;
}

void File::Close() {
    if (handle_ < 0) return;
    // Closing can report a write-back failure; after EINTR the descriptor is gone all the same.
    if (::close(std::exchange(handle_, -1)) != 0 && errno != EINTR) Fail(path_, "write");
}

File File::Open(const std::filesystem::path& path, Access access) {
    const int fd = OpenDescriptor(path, access == Access::kRead ? O_RDONLY : O_RDWR);
    if (fd < 0) Fail(path, "open");
    File file(fd, path);
    struct stat info {};
    if (::fstat(fd, &info) != 0) Fail(path, "open");
    if (S_ISDIR(info.st_mode)) throw SystemError(EISDIR, path, "open");
    return file;
}

std::optional<File> File::OpenClaimed(const std::filesystem::path& path, Access access, Use use, ByteRange range) {
    if (std::optional<File> joined = JoinStanding(path)) return joined;
    File file = Open(path, access);
    if (!TryWholeFileLock(file.handle_, use == Use::kShared ? LOCK_SH : LOCK_EX, path)) return std::nullopt;
    if (use == Use::kShared) {
        if (!TryLock(file.handle_, F_RDLCK, range, path)) return std::nullopt;
    } else if (access == Access::kReadWrite) {
        if (!TryLock(file.handle_, F_WRLCK, range, path)) return std::nullopt;
    } else {
        // A write lock needs write access; a read lock taken where nobody
        // else holds any lock keeps writers and rewriters out all the same.
        if (LockedByOthers(file.handle_, F_WRLCK, range, path)) return std::nullopt;
        if (!TryLock(file.handle_, F_RDLCK, range, path)) return std::nullopt;
    }
    return file;
}

// The duplicate shares the open file description, and with it the locks.
File File::Duplicate() const {
    const int fd = ::fcntl(handle_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) Fail(path_, "open");
    return File(fd, path_);
}

File File::CreateNew(const std::filesystem::path& path, unsigned permissions) {
    const int fd = OpenDescriptor(path, O_WRONLY | O_CREAT | O_EXCL, static_cast<mode_t>(permissions));
    if (fd < 0) Fail(path, "create");
    return File(fd, path);
}

File File::OpenForAppend(const std::filesystem::path& path) {
    const int fd = OpenDescriptor(path, O_WRONLY | O_APPEND | O_CREAT, 0666);
    if (fd < 0) Fail(path, "open");
    return File(fd, path);
}

File File::OpenLockedWaiting(const std::filesystem::path& path) {
    const int fd = OpenDescriptor(path, O_RDWR | O_CREAT, 0600);
    if (fd < 0) Fail(path, "open");
    File file(fd, path);
    struct flock lock = Range(F_WRLCK, kWholeFile);
    while (::fcntl(fd, kSetLockWaiting, &lock) != 0) {
        if (errno != EINTR) Fail(path, "lock");
    }
    TryWholeFileLock(fd, LOCK_EX, path, true);
    return file;
}

std::uint64_t File::Size() const {
    struct stat info {};
    if (::fstat(handle_, &info) != 0) Fail(path_, "read");
    return static_cast<std::uint64_t>(info.st_size);
}

void File::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got = ::pread(handle_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            Fail(path_, "read");
        }
        if (got == 0)
            throw PathError(errc::kIoError, path_, "read", "the file ended early (was it shortened while open?)");
        done += static_cast<std::size_t>(got);
    }
}

std::size_t File::Read(std::span<std::uint8_t> out) {
    for (;;) {
        const ssize_t got = ::read(handle_, out.data(), out.size());
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) Fail(path_, "read");
    }
}

void File::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    WriteAll(path_, bytes.size(), [&](std::size_t done) {
        return ::pwrite(handle_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    });
}

void File::Write(std::string_view bytes) {
    WriteAll(path_, bytes.size(),
             [&](std::size_t done) { return ::write(handle_, bytes.data() + done, bytes.size() - done); });
}

void File::SetLength(std::uint64_t length) {
    // Allocated first, holes included; file systems that cannot allocate
    // ahead (EOPNOTSUPP, EINVAL) are taken as they are.
    const int rc = ::posix_fallocate(handle_, 0, static_cast<off_t>(length));
    if (rc != 0 && rc != EOPNOTSUPP && rc != EINVAL) throw SystemError(static_cast<OsError>(rc), path_, "write");
    if (::ftruncate(handle_, static_cast<off_t>(length)) != 0) Fail(path_, "write");
}

void File::Flush() {
    if (::fsync(handle_) != 0) Fail(path_, "flush");
}

void File::StartWriteBack() noexcept {
    // Offset 0 and length 0: the whole file. Failures (file systems without
    // it) are left to Flush, which reports its own.
    (void)::sync_file_range(handle_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void FlushFolder(const std::filesystem::path& folder) {
    const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
    const int fd = OpenDescriptor(where, O_RDONLY | O_DIRECTORY);
    if (fd < 0) Fail(where, "flush the folder");
    File held(fd, where);
    if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP) Fail(where, "flush the folder");
}

void RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) Fail(to, "rename \"" + PathText(from.filename()) + "\" to");
    FlushFolder(to.parent_path());
}

bool RemoveFile(const std::filesystem::path& path) {
    if (::unlink(path.c_str()) != 0) {
        if (errno == ENOENT) return false;
        Fail(path, "delete");
    }
    FlushFolder(path.parent_path());
    return true;
}

void Replacement::Commit() {
    if (claim_) {
        struct stat info {};
        if (::fstat(claim_->handle_, &info) == 0) {
            // Only root may give a file to another owner; anyone else keeps
            // the file as theirs, with the target's mode.
            (void)::fchown(staging_.handle_, info.st_uid, info.st_gid);
            (void)::fchmod(staging_.handle_, info.st_mode & 07777);
        }
    }
    staging_.Flush();
    staging_.Close();
    if (::rename(stagingPath_.c_str(), target_.c_str()) != 0) Fail(target_, "replace");
    committed_ = true;
    StandingClaim::End(target_);  // it held the earlier version
    claim_.reset();  // held until the new version is in place
    FlushFolder(target_.parent_path());
}

}  // namespace dorvane::platform
