#include "engines/jet/compact/destination.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core/error.h"

namespace dorvane::jet::compact {

namespace {

enum class Cause { kExists, kNoFolder, kDenied, kReadOnly, kFull, kOther };

Cause CauseOf(unsigned long error) {
#ifdef _WIN32
    switch (error) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return Cause::kExists;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_INVALID_DRIVE: return Cause::kNoFolder;
        case ERROR_ACCESS_DENIED: return Cause::kDenied;
        case ERROR_WRITE_PROTECT: return Cause::kReadOnly;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return Cause::kFull;
        default: return Cause::kOther;
    }
#else
    switch (static_cast<int>(error)) {
        case EEXIST: return Cause::kExists;
        case ENOENT:
        case ENOTDIR: return Cause::kNoFolder;
        case EACCES:
        case EPERM: return Cause::kDenied;
        case EROFS: return Cause::kReadOnly;
        case ENOSPC:
        case EDQUOT: return Cause::kFull;
        default: return Cause::kOther;
    }
#endif
}

Error ErrorFor(unsigned long error, const std::filesystem::path& path, const char* doing) {
    const std::string what = std::string("cannot ") + doing + " \"" + path.string() + "\": ";
    switch (CauseOf(error)) {
        case Cause::kExists: return Error(errc::kFileAlreadyExists, what + "a file of that name already exists");
        case Cause::kNoFolder: return Error(errc::kPathNotFound, what + "the folder does not exist");
        case Cause::kDenied: return Error(errc::kPermissionDenied, what + "permission denied");
        case Cause::kReadOnly: return Error(errc::kPermissionDenied, what + "the folder is read-only");
        case Cause::kFull: return Error(errc::kDiskFull, what + "the disk is full");
        case Cause::kOther: break;
    }
#ifdef _WIN32
    return Error(errc::kIoError, what + "system error " + std::to_string(error));
#else
    return Error(errc::kIoError, what + std::strerror(static_cast<int>(error)));
#endif
}

unsigned long LastError() {
#ifdef _WIN32
    return ::GetLastError();
#else
    return static_cast<unsigned long>(errno);
#endif
}

}  // namespace

DestinationFile::DestinationFile(std::filesystem::path path, std::size_t page_size)
    : path_(std::move(path)), page_size_(page_size) {
#ifdef _WIN32
    HANDLE h = ::CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw ErrorFor(LastError(), path_, "create");
    handle_ = h;
#else
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) throw ErrorFor(LastError(), path_, "create");
#endif
}

DestinationFile::~DestinationFile() {
    if (!committed_) Discard();
}

bool DestinationFile::open() const {
#ifdef _WIN32
    return handle_ != nullptr;
#else
    return fd_ >= 0;
#endif
}

void DestinationFile::CloseFile() noexcept {
#ifdef _WIN32
    if (handle_) ::CloseHandle(handle_);
    handle_ = nullptr;
#else
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
#endif
}

void DestinationFile::Discard() noexcept {
    if (!open()) return;
    CloseFile();
    std::error_code ec;
    std::filesystem::remove(path_, ec);
}

void DestinationFile::Fail(unsigned long error, const char* doing) {
    const Error e = ErrorFor(error, path_, doing);
    Discard();
    throw e;
}

void DestinationFile::WriteAt(std::uint64_t offset, ByteSpan bytes) {
    if (!open()) throw std::logic_error("write to a discarded destination");
    std::size_t done = 0;
    while (done < bytes.size()) {
#ifdef _WIN32
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>((offset + done) & 0xFFFFFFFFU);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        DWORD n = 0;
        if (!::WriteFile(handle_, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, &at))
            Fail(LastError(), "write");
        if (n == 0) Fail(ERROR_DISK_FULL, "write");
#else
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(LastError(), "write");
        }
        if (n == 0) Fail(ENOSPC, "write");
#endif
        done += static_cast<std::size_t>(n);
    }
}

void DestinationFile::WritePage(std::uint32_t page, ByteSpan bytes) {
    if (bytes.size() != page_size_) throw std::logic_error("page of the wrong size");
    WriteAt(static_cast<std::uint64_t>(page) * page_size_, bytes);
}

void DestinationFile::PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) {
    if (offset + bytes.size() > page_size_) throw std::logic_error("patch outside its page");
    WriteAt(static_cast<std::uint64_t>(page) * page_size_ + offset, bytes);
}

void DestinationFile::Finish(std::uint32_t page_count) {
    if (!open()) throw std::logic_error("finish of a discarded destination");
    const std::uint64_t length = static_cast<std::uint64_t>(page_count) * page_size_;
#ifdef _WIN32
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(length);
    if (!::SetFilePointerEx(handle_, end, nullptr, FILE_BEGIN) || !::SetEndOfFile(handle_)) Fail(LastError(), "write");
    if (!::FlushFileBuffers(handle_)) Fail(LastError(), "flush");
#else
    // The holes between fixed pages must take real space too, so that a full
    // disk shows here rather than later: allocate, then set the exact length.
    const int rc = ::posix_fallocate(fd_, 0, static_cast<off_t>(length));
    if (rc != 0 && rc != EOPNOTSUPP && rc != EINVAL) Fail(static_cast<unsigned long>(rc), "write");
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) Fail(LastError(), "write");
    if (::fsync(fd_) != 0) Fail(LastError(), "flush");
    // The new name itself must be durable too.
    const int dir = ::open(path_.parent_path().empty() ? "." : path_.parent_path().c_str(), O_RDONLY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
#endif
}

void DestinationFile::Commit() {
    if (!open()) throw std::logic_error("commit of a discarded destination");
#ifdef _WIN32
    const bool closed = ::CloseHandle(handle_) != 0;
    handle_ = nullptr;
#else
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
#endif
    if (!closed) {
        const unsigned long error = LastError();
        std::error_code ec;
        std::filesystem::remove(path_, ec);
        throw ErrorFor(error, path_, "close");
    }
    committed_ = true;
}

}  // namespace dorvane::jet::compact
