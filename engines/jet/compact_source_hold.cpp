#include "engines/jet/compact_source_hold.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "core/error.h"

namespace dorvane::jet::compact {

SourceHold::SourceHold(const std::filesystem::path& source) {
    fd_ = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        if (error == ENOENT) throw Error(errc::kFileNotFound, "cannot compact \"" + source.string() + "\": the file does not exist");
        if (error == EACCES) throw Error(errc::kPermissionDenied, "cannot compact \"" + source.string() + "\": permission denied");
        throw Error(errc::kIoError, "cannot open \"" + source.string() + "\": " + std::strerror(error));
    }
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd_, F_OFD_SETLK, &lock) != 0) {
        ::close(fd_);
        fd_ = -1;
        throw Error(errc::kInUse, "cannot compact \"" + source.string() + "\": the database is in use");
    }
}

SourceHold::~SourceHold() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace dorvane::jet::compact
