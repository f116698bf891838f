#include "engines/jet/compact_destination.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/error.h"

namespace dorvane::jet::compact {

namespace {

Error ErrorFor(int error, const std::filesystem::path& path, const char* doing) {
    const std::string where = " \"" + path.string() + "\"";
    switch (error) {
        case EEXIST:
            return Error(errc::kFileAlreadyExists, "cannot create" + where + ": a file of that name already exists");
        case ENOENT:
        case ENOTDIR:
            return Error(errc::kPathNotFound, "cannot create" + where + ": the folder does not exist");
        case EACCES:
        case EPERM:
            return Error(errc::kPermissionDenied, std::string("cannot ") + doing + where + ": permission denied");
        case EROFS:
            return Error(errc::kPermissionDenied, std::string("cannot ") + doing + where + ": the folder is read-only");
        case ENOSPC:
        case EDQUOT:
            return Error(errc::kDiskFull, std::string("cannot ") + doing + where + ": the disk is full");
        default:
            return Error(errc::kIoError, std::string("cannot ") + doing + where + ": " + std::strerror(error));
    }
}

}  // namespace

DestinationFile::DestinationFile(std::filesystem::path path, std::size_t pageSize)
    : path_(std::move(path)), pageSize_(pageSize) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) throw ErrorFor(errno, path_, "create");
}

DestinationFile::~DestinationFile() {
    if (!committed_) Discard();
}

void DestinationFile::Discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        ::unlink(path_.c_str());
    }
}

void DestinationFile::Fail(int error, const char* doing) {
    const Error e = ErrorFor(error, path_, doing);
    Discard();
    throw e;
}

void DestinationFile::WriteAt(std::uint64_t offset, ConstBytes bytes) {
    if (fd_ < 0) throw std::logic_error("write to a discarded destination");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno, "write");
        }
        if (n == 0) Fail(ENOSPC, "write");
        done += static_cast<std::size_t>(n);
    }
    bytesWritten_ += bytes.size();
}

void DestinationFile::WritePage(std::uint32_t page, ConstBytes bytes) {
    if (bytes.size() != pageSize_) throw std::logic_error("page of the wrong size");
    WriteAt(static_cast<std::uint64_t>(page) * pageSize_, bytes);
}

void DestinationFile::PatchPage(std::uint32_t page, std::size_t offset, ConstBytes bytes) {
    if (offset + bytes.size() > pageSize_) throw std::logic_error("patch outside its page");
    WriteAt(static_cast<std::uint64_t>(page) * pageSize_ + offset, bytes);
}

void DestinationFile::Finish(std::uint32_t pageCount) {
    if (fd_ < 0) throw std::logic_error("finish of a discarded destination");
    const auto length = static_cast<off_t>(static_cast<std::uint64_t>(pageCount) * pageSize_);
    // The holes between fixed pages must take real space too, or a later
    // write into them could fail: allocate, then set the exact length.
    int rc = ::posix_fallocate(fd_, 0, length);
    if (rc != 0 && rc != EOPNOTSUPP && rc != EINVAL) Fail(rc, "write");
    if (::ftruncate(fd_, length) != 0) Fail(errno, "write");
    if (::fsync(fd_) != 0) Fail(errno, "flush");
}

void DestinationFile::Commit() {
    if (fd_ < 0) throw std::logic_error("commit of a discarded destination");
    if (::close(fd_) != 0) {
        const int error = errno;
        fd_ = -1;
        ::unlink(path_.c_str());
        throw ErrorFor(error, path_, "close");
    }
    fd_ = -1;
    committed_ = true;
}

}  // namespace dorvane::jet::compact
