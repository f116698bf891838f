#include "engines/jet/lock.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "core/error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace dorvane::jet {

std::filesystem::path LockFilePath(const std::filesystem::path& database) {
    std::filesystem::path lock = database;
    lock.replace_extension(".ldb");
    return lock;
}

namespace {

std::string Quoted(const std::filesystem::path& path) { return std::string("'").append(path.string()).append("'"); }

[[noreturn]] void ThrowInUse(const std::filesystem::path& database, const std::string& how) {
    throw Error(errc::kInUse, "The database " + Quoted(database) + " is in use: " + how + ".");
}

[[noreturn]] void ThrowOpenError(const std::filesystem::path& path, int code) {
    if (code == ENOENT || code == ENOTDIR) {
        throw Error(errc::kFileNotFound, "Could not find file " + Quoted(path) + ".");
    }
    if (code == EACCES || code == EPERM) {
        throw Error(errc::kPermissionDenied, "Permission denied: " + Quoted(path) + ".");
    }
    throw Error(errc::kIoError, "Cannot open " + Quoted(path) + ": " + std::strerror(code) + ".");
}

}  // namespace

#ifndef _WIN32

namespace {

#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
constexpr int kGetLock = F_OFD_GETLK;
#else
constexpr int kSetLock = F_SETLK;
constexpr int kGetLock = F_GETLK;
#endif

struct flock Range(short type, off_t start, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;  // 0: to the end of any file size
    lock.l_pid = 0;       // required for open-file-description locks
    return lock;
}

constexpr off_t kJetLockRegion = 0x10000000;

bool TryLock(int fd, short type, off_t start, off_t length) {
    struct flock lock = Range(type, start, length);
    while (::fcntl(fd, kSetLock, &lock) != 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return false;
        throw Error(errc::kIoError, std::string("cannot lock the database: ") + std::strerror(errno));
    }
    return true;
}

// Whether anyone else holds a lock that conflicts with `type` over the range.
bool Conflicts(int fd, short type, off_t start, off_t length) {
    struct flock lock = Range(type, start, length);
    if (::fcntl(fd, kGetLock, &lock) != 0) {
        throw Error(errc::kIoError, std::string("cannot test the database's locks: ") + std::strerror(errno));
    }
    return lock.l_type != F_UNLCK;
}

// O_RDWR where permitted (write locks need it), else read-only.
int OpenForLocking(const std::filesystem::path& path, bool& writable) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    writable = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ThrowOpenError(path, errno);
    return fd;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

ReadHold ReadHold::Acquire(const std::filesystem::path& database) {
    ReadHold hold;
    hold.fd_ = ::open(database.c_str(), O_RDONLY | O_CLOEXEC);
    if (hold.fd_ < 0) ThrowOpenError(database, errno);
    // Only the bytes below Jet's own lock region: a product's user and page
    // locks (0x10000000 and up) must not keep a reader out, an exclusive
    // holder (whole file) must.
    if (!TryLock(hold.fd_, F_RDLCK, 0, kJetLockRegion)) ThrowInUse(database, "another program holds it exclusively");
    return hold;
}

void ReadHold::Release() { CloseFd(fd_); }

ReadHold::ReadHold(ReadHold&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
ReadHold& ReadHold::operator=(ReadHold&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}
ReadHold::~ReadHold() { Release(); }

ExclusiveHold ExclusiveHold::Acquire(const std::filesystem::path& database) {
    ExclusiveHold hold;
    bool writable = false;
    hold.database_ = OpenForLocking(database, writable);
    if (writable) {
        if (!TryLock(hold.database_, F_WRLCK, 0, 0)) ThrowInUse(database, "another program has it open");
    } else {
        // Without write access a read lock still keeps writers and rewriters out.
        if (Conflicts(hold.database_, F_WRLCK, 0, 0)) ThrowInUse(database, "another program has it open");
        if (!TryLock(hold.database_, F_RDLCK, 0, 0)) ThrowInUse(database, "another program has it open");
    }

    const std::filesystem::path ldb = LockFilePath(database);
    std::error_code ignored;
    if (!std::filesystem::exists(ldb, ignored)) return hold;
    bool ldbWritable = false;
    hold.lock_file_ = OpenForLocking(ldb, ldbWritable);
    if (Conflicts(hold.lock_file_, F_WRLCK, 0, 0)) {
        ThrowInUse(database, "a user holds its lock file " + Quoted(ldb));
    }
    if (ldbWritable && !TryLock(hold.lock_file_, F_WRLCK, kUserLockFirst, kUserLockCount)) {
        ThrowInUse(database, "a user holds its lock file " + Quoted(ldb));
    }
    return hold;
}

void ExclusiveHold::Release() {
    CloseFd(lock_file_);
    CloseFd(database_);
}

ExclusiveHold::ExclusiveHold(ExclusiveHold&& other) noexcept
    : database_(std::exchange(other.database_, -1)), lock_file_(std::exchange(other.lock_file_, -1)) {}
ExclusiveHold& ExclusiveHold::operator=(ExclusiveHold&& other) noexcept {
    if (this != &other) {
        Release();
        database_ = std::exchange(other.database_, -1);
        lock_file_ = std::exchange(other.lock_file_, -1);
    }
    return *this;
}
ExclusiveHold::~ExclusiveHold() { Release(); }

#else  // _WIN32

namespace {

// share: FILE_SHARE_READ for readers, 0 for exclusive holds.
void* OpenShared(const std::filesystem::path& path, DWORD access, DWORD share, bool& sharingViolation) {
    HANDLE handle = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    sharingViolation = false;
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
            sharingViolation = true;
            return nullptr;
        }
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) ThrowOpenError(path, ENOENT);
        if (code == ERROR_ACCESS_DENIED) ThrowOpenError(path, EACCES);
        throw Error(errc::kIoError, "Cannot open " + Quoted(path) + ".");
    }
    return handle;
}

void CloseHandleIfOpen(void*& handle) {
    if (handle != nullptr) CloseHandle(static_cast<HANDLE>(handle));
    handle = nullptr;
}

}  // namespace

ReadHold ReadHold::Acquire(const std::filesystem::path& database) {
    ReadHold hold;
    bool violation = false;
    // Products that have the database open keep writing to it; only an
    // exclusive holder (share mode 0) keeps a reader out, and the reader's
    // handle keeps exclusive holders out in turn.
    hold.handle_ = OpenShared(database, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, violation);
    if (violation) ThrowInUse(database, "another program holds it exclusively");
    return hold;
}

void ReadHold::Release() { CloseHandleIfOpen(handle_); }
ReadHold::ReadHold(ReadHold&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
ReadHold& ReadHold::operator=(ReadHold&& other) noexcept {
    if (this != &other) {
        Release();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}
ReadHold::~ReadHold() { Release(); }

ExclusiveHold ExclusiveHold::Acquire(const std::filesystem::path& database) {
    ExclusiveHold hold;
    bool violation = false;
    hold.database_ = OpenShared(database, GENERIC_READ, 0, violation);
    if (violation) ThrowInUse(database, "another program has it open");
    const std::filesystem::path ldb = LockFilePath(database);
    std::error_code ignored;
    if (std::filesystem::exists(ldb, ignored)) {
        hold.lock_file_ = OpenShared(ldb, GENERIC_READ | GENERIC_WRITE, 0, violation);
        if (violation) ThrowInUse(database, "a user holds its lock file " + Quoted(ldb));
    }
    return hold;
}

void ExclusiveHold::Release() {
    CloseHandleIfOpen(lock_file_);
    CloseHandleIfOpen(database_);
}
ExclusiveHold::ExclusiveHold(ExclusiveHold&& other) noexcept
    : database_(std::exchange(other.database_, nullptr)), lock_file_(std::exchange(other.lock_file_, nullptr)) {}
ExclusiveHold& ExclusiveHold::operator=(ExclusiveHold&& other) noexcept {
    if (this != &other) {
        Release();
        database_ = std::exchange(other.database_, nullptr);
        lock_file_ = std::exchange(other.lock_file_, nullptr);
    }
    return *this;
}
ExclusiveHold::~ExclusiveHold() { Release(); }

#endif

}  // namespace dorvane::jet
