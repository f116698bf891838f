#include <cerrno>
#include <cstring>

#include "platform/system_error.h"

namespace dorvane::platform {

OsError LastOsError() { return static_cast<OsError>(errno); }

Cause CauseOf(OsError code) {
    switch (static_cast<int>(code)) {
        case ENOENT:
        case ENOTDIR:
            return Cause::kNotFound;
        case EEXIST:
            return Cause::kExists;
        case EACCES:
        case EPERM:
            return Cause::kDenied;
        case EROFS:
            return Cause::kReadOnly;
        case EISDIR:
            return Cause::kIsFolder;
        case ENOSPC:
        case EDQUOT:
            return Cause::kFull;
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case ETXTBSY:
            return Cause::kInUse;
        default:
            return Cause::kOther;
    }
}

std::string SystemDescription(OsError code) { return std::strerror(static_cast<int>(code)); }

}  // namespace dorvane::platform
