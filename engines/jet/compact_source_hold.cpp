#include "engines/jet/compact_source_hold.h"

#include <cerrno>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "core/error.h"

namespace dorvane::jet::compact {

namespace {
std::string Cannot(const std::filesystem::path& source) { return "cannot compact \"" + source.string() + "\": "; }
}  // namespace

SourceHold::SourceHold(const std::filesystem::path& source) {
#ifdef _WIN32
    // Others may go on reading, nobody may write: a product that has the
    // file open for writing makes this fail with a sharing violation.
    HANDLE h = ::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            throw Error(errc::kFileNotFound, Cannot(source) + "the file does not exist");
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            throw Error(errc::kInUse, Cannot(source) + "the database is in use");
        throw Error(errc::kPermissionDenied, Cannot(source) + "the file cannot be opened");
    }
    handle_ = h;
#else
    fd_ = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        if (error == ENOENT) throw Error(errc::kFileNotFound, Cannot(source) + "the file does not exist");
        if (error == EACCES) throw Error(errc::kPermissionDenied, Cannot(source) + "permission denied");
        throw Error(errc::kIoError, Cannot(source) + std::strerror(error));
    }
    // A shared lock over the whole file: refused while anyone holds a write
    // lock on any part of it, and it keeps writers out until released.
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd_, F_OFD_SETLK, &lock) != 0) {
        ::close(fd_);
        fd_ = -1;
        throw Error(errc::kInUse, Cannot(source) + "the database is in use");
    }
#endif
}

SourceHold::~SourceHold() {
#ifdef _WIN32
    if (handle_) ::CloseHandle(handle_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
}

}  // namespace dorvane::jet::compact
